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
