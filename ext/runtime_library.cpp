#include "ext/runtime_library.h"

#include <string>

#include "app/system_utils.h"

void RuntimeLibrary::Load() {
  // The full path of the program folder, so a library of the same name
  // elsewhere on the search path is never picked up instead.
  std::string path = ProcessDirectory() + file_name_;
  module_ = ::LoadLibraryA(path.c_str());
}

FARPROC RuntimeLibrary::Find(const char* function_name) {
  std::call_once(once_, [this] { Load(); });
  if (module_ == nullptr) return nullptr;
  return ::GetProcAddress(module_, function_name);
}

bool RuntimeLibrary::IsLoaded() {
  std::call_once(once_, [this] { Load(); });
  return module_ != nullptr;
}
