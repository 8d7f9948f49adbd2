#include "engine_under_test.h"

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

const Engine* LoadEngine() {
  static Engine engine;
  static bool loaded = [] {
    std::string path = ProgramFolder() + "chromium\\node.dll";
    HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return false;
#define ENGINE_FIND(name, type)                                                                   \
  engine.name = reinterpret_cast<type>(reinterpret_cast<void*>(::GetProcAddress(module, #name))); \
  if (!engine.name) return false;
    ENGINE_FUNCTIONS(ENGINE_FIND)
#undef ENGINE_FIND
    return true;
  }();
  return loaded ? &engine : nullptr;
}

std::string UnixPathOf(const std::wstring& windows_path) {
  using Converter = char*(__cdecl*)(const wchar_t*);
  auto convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return std::string();
  char* unix_path = convert(windows_path.c_str());
  if (!unix_path) return std::string();
  std::string result(unix_path);
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  return result;
}
