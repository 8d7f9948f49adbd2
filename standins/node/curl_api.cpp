#include "standins/node/curl_api.h"

#include <windows.h>

#include <mutex>
#include <string>

#include "standins/node/module_path.h"

namespace node_standin {
namespace {

constexpr wchar_t kCurlFileName[] = L"libcurl.dll";

template <typename T>
void Find(HMODULE module, const char* name, T* pointer) {
  *pointer = reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

CurlApi LoadApi() {
  CurlApi api;
  std::wstring path = ModuleFolder() + kCurlFileName;
  // Altered search path: libcurl's own dependencies come from the same folder.
  HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) return api;
  Find(module, "curl_global_init", &api.global_init);
  Find(module, "curl_easy_init", &api.easy_init);
  Find(module, "curl_easy_setopt", &api.easy_setopt);
  Find(module, "curl_easy_perform", &api.easy_perform);
  Find(module, "curl_easy_getinfo", &api.easy_getinfo);
  Find(module, "curl_easy_cleanup", &api.easy_cleanup);
  Find(module, "curl_easy_strerror", &api.easy_strerror);
  Find(module, "curl_slist_append", &api.slist_append);
  Find(module, "curl_slist_free_all", &api.slist_free_all);
  if (api.complete()) api.global_init(CURL_GLOBAL_ALL);
  return api;
}

}  // namespace

bool CurlApi::complete() const {
  return global_init && easy_init && easy_setopt && easy_perform && easy_getinfo && easy_cleanup &&
         easy_strerror && slist_append && slist_free_all;
}

const CurlApi* Curl() {
  static std::once_flag once;
  static CurlApi api;
  std::call_once(once, [] { api = LoadApi(); });
  return api.complete() ? &api : nullptr;
}

}  // namespace node_standin
