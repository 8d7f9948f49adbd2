#include "curl_functions.h"

#include <windows.h>

#include <mutex>
#include <string>

namespace {

// The address of any function of ours identifies the module we live in.
std::string FolderOfThisModule() {
  HMODULE self = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&FolderOfThisModule), &self);
  char path[MAX_PATH] = {};
  DWORD length = ::GetModuleFileNameA(self, path, MAX_PATH);
  std::string folder(path, length);
  size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

bool LoadTable(CurlFunctions* table) {
  std::string path = std::string(OwnModuleFolder()) + "libcurl.dll";
  // The altered search path makes libcurl's own imports (the MinGW runtime
  // DLLs) resolve from the same folder.
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return false;
#define NODE_CURL_FIND(name)                                     \
  table->name = reinterpret_cast<decltype(table->name)>(         \
      reinterpret_cast<void*>(::GetProcAddress(module, #name))); \
  if (!table->name) return false;
  NODE_CURL_FUNCTIONS(NODE_CURL_FIND)
#undef NODE_CURL_FIND
  return table->curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
}

}  // namespace

const char* OwnModuleFolder() {
  static const std::string folder = FolderOfThisModule();
  return folder.c_str();
}

const CurlFunctions* Curl() {
  static CurlFunctions table;
  static bool loaded = false;
  static std::once_flag once;
  std::call_once(once, [] { loaded = LoadTable(&table); });
  return loaded ? &table : nullptr;
}
