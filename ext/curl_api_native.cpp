// The native tree links Debian's libcurl, so the table points straight at it.
#include <atomic>

#include "ext/curl_api.h"

namespace {

std::atomic<const CurlApi*> g_test_api{nullptr};

#define LUMO_CURL_LINKED(name, type) table.name = &::name;

const CurlApi& LinkedCurl() {
  static const CurlApi api = [] {
    CurlApi table;
    CURL_FUNCTIONS(LUMO_CURL_LINKED)
    return table;
  }();
  return api;
}

}  // namespace

const CurlApi& Curl() {
  const CurlApi* test_api = g_test_api.load();
  return test_api ? *test_api : LinkedCurl();
}

void SetCurlApiForTest(const CurlApi* api) { g_test_api.store(api); }
