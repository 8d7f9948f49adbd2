// Folder creation and thread start, the two system helpers the log needs and
// other modules share.
#include <string>

#include "log/log_file.h"

namespace {

bool FolderExists(const std::string& folder) {
  DWORD attributes = ::GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool MakeDirectoryPath(const std::string& path) {
  if (path.empty()) return false;
  std::string folder = path;
  if (folder.back() == '\\') folder.pop_back();
  // Nothing but backslashes left (the start of "\\server\share\"): a root.
  if (folder.empty() || folder.back() == '\\') return true;
  // "C:" alone would name the drive's current folder; ask for its root.
  if (folder.size() == 2 && folder[1] == ':') return FolderExists(folder + "\\");
  if (FolderExists(folder)) return true;
  size_t cut = folder.rfind('\\');
  if (cut == std::string::npos) return false;  // a missing drive or a relative name
  if (!MakeDirectoryPath(folder.substr(0, cut + 1))) return false;
  // Another thread may create it between our check and this call; what
  // matters is that the folder is there afterwards.
  return ::CreateDirectoryA(folder.c_str(), nullptr) || FolderExists(folder);
}

bool StartThread(LPTHREAD_START_ROUTINE function, void* argument, HANDLE* handle) {
  HANDLE thread = ::CreateThread(nullptr, 0, function, argument, 0, nullptr);
  if (!thread) return false;
  if (handle) {
    *handle = thread;
  } else {
    ::CloseHandle(thread);
  }
  return true;
}
