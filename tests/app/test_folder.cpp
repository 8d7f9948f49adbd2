#include "tests/app/test_folder.h"

#include <shellapi.h>
#include <windows.h>

namespace {
void RemoveTree(const std::string& folder) {
  std::string from = folder;
  from.push_back('\0');  // SHFileOperation wants a double-NUL-terminated list
  SHFILEOPSTRUCTA operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
  ::SHFileOperationA(&operation);
}
}  // namespace

TestFolder::TestFolder(const std::string& name) {
  path_ = "C:\\lumo_tests\\" + name + "_" + std::to_string(::GetCurrentProcessId());
  RemoveTree(path_);
  ::CreateDirectoryA("C:\\lumo_tests", nullptr);
  ::CreateDirectoryA(path_.c_str(), nullptr);
  path_ += "\\";
}

TestFolder::~TestFolder() { RemoveTree(path_.substr(0, path_.size() - 1)); }
