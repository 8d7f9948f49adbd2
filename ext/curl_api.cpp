#include "ext/curl_api.h"

#include <atomic>

#include "ext/runtime_library.h"

namespace {

std::atomic<const CurlApi*> g_test_api{nullptr};

const CurlApi& LoadedCurl() {
  static const CurlApi api = [] {
    static RuntimeLibrary library("libcurl.dll");
    CurlApi table;
    CURL_FUNCTIONS(LUMO_FIND_FUNCTION)
    return table;
  }();
  return api;
}

}  // namespace

const CurlApi& Curl() {
  const CurlApi* test_api = g_test_api.load();
  return test_api ? *test_api : LoadedCurl();
}

void SetCurlApiForTest(const CurlApi* api) { g_test_api.store(api); }
