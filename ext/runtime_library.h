#pragma once
// An outside library loaded by file name from the program folder on the first
// look-up of one of its functions, and kept until the process ends: nothing
// frees it, not even at exit, because a detached thread (an update hand-off
// inside common.dll, a socket worker) may still run its code while static
// objects are destroyed.
//
// A library or function that cannot be found gives a null pointer; every
// caller checks the pointer and treats null as the operation's failure, so a
// missing library never crashes the program.
#include <windows.h>

#include <mutex>

class RuntimeLibrary {
 public:
  explicit RuntimeLibrary(const char* file_name) : file_name_(file_name) {}
  RuntimeLibrary(const RuntimeLibrary&) = delete;
  RuntimeLibrary& operator=(const RuntimeLibrary&) = delete;

  // The function's address, or null when the library or the function is missing.
  FARPROC Find(const char* function_name);
  // True when the library file was found and loaded.
  bool IsLoaded();

 private:
  void Load();

  const char* file_name_;
  std::once_flag once_;
  HMODULE module_ = nullptr;  // never freed (see above)
};

// Fills a table of typed function pointers from one library, once. Each table
// lists its functions in a macro list, so a pointer's type comes from the
// function's own declaration (see ext/common_api.h).
#define LUMO_DECLARE_FUNCTION_POINTER(name, type) \
  using name##_type = type;                       \
  name##_type name = nullptr;
#define LUMO_FIND_FUNCTION(name, type) \
  table.name = reinterpret_cast<decltype(table.name)>(reinterpret_cast<void*>(library.Find(#name)));
