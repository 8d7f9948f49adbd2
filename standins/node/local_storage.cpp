#include "standins/node/local_storage.h"

#include <windows.h>

#include <cctype>

#include "util/scoped_handle.h"

namespace node_standin {
namespace {

constexpr wchar_t kFileSuffix[] = L".localstorage";
constexpr DWORD kMaxFileBytes = 64u * 1024 * 1024;

}  // namespace

std::wstring LocalStorageFile(const std::wstring& folder, const std::string& origin) {
  if (folder.empty() || origin.empty()) return L"";
  std::wstring name;
  for (char c : origin) {
    bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-';
    name.push_back(plain ? static_cast<wchar_t>(c) : L'_');
  }
  std::wstring path = folder;
  if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
  return path + name + kFileSuffix;
}

std::string ReadLocalStorage(const std::wstring& folder, const std::string& origin) {
  std::wstring path = LocalStorageFile(folder, origin);
  if (path.empty()) return "";
  ScopedKernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return "";
  DWORD size = ::GetFileSize(file.Get(), nullptr);
  if (size == INVALID_FILE_SIZE || size > kMaxFileBytes) return "";
  std::string text(size, '\0');
  DWORD read = 0;
  if (size > 0 && !::ReadFile(file.Get(), &text[0], size, &read, nullptr)) return "";
  text.resize(read);
  return text;
}

bool WriteLocalStorage(const std::wstring& folder, const std::string& origin,
                       const std::string& json) {
  std::wstring path = LocalStorageFile(folder, origin);
  if (path.empty()) return false;
  ::CreateDirectoryW(folder.c_str(), nullptr);  // fails harmlessly when it exists
  std::wstring temporary = path + L".tmp";
  {
    ScopedKernelHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    DWORD written = 0;
    if (!::WriteFile(file.Get(), json.data(), static_cast<DWORD>(json.size()), &written, nullptr) ||
        written != json.size()) {
      return false;
    }
  }
  return ::MoveFileExW(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace node_standin
