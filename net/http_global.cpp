#include "net/http_global.h"

#include <mutex>

#include "ext/curl_api.h"

namespace {

std::mutex g_mutex;
bool g_attempted = false;
bool g_initialised = false;

}  // namespace

bool InitHttpGlobal() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_attempted) return g_initialised;
  g_attempted = true;
  const CurlApi& curl = Curl();
  g_initialised = curl.curl_global_init != nullptr && curl.curl_global_init(CURL_GLOBAL_ALL) == 0;
  return g_initialised;
}

void ReleaseHttpGlobal() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_attempted = false;
  if (!g_initialised) return;
  g_initialised = false;
  if (Curl().curl_global_cleanup) Curl().curl_global_cleanup();
}
