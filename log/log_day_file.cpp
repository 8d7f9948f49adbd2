#include "log/log_day_file.h"

HANDLE OpenDayFile(const std::string& path) {
  // Append access makes every write land at the current end of the file even
  // when another process (a viewer, a second tool) writes to it too; the
  // shares let them open it while we hold it all day.
  HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  ::SetFilePointer(file, 0, nullptr, FILE_END);
  return file;
}

bool AppendToDayFile(HANDLE file, const std::string& text) {
  const char* next = text.data();
  size_t left = text.size();
  while (left > 0) {
    DWORD written = 0;
    if (!::WriteFile(file, next, static_cast<DWORD>(left), &written, nullptr) || written == 0) {
      return false;
    }
    next += written;
    left -= written;
  }
  return true;
}

void CloseDayFile(HANDLE file) {
  if (file) ::CloseHandle(file);
}
