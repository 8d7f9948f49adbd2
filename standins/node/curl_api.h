#pragma once
// libcurl, loaded at run time from this DLL's own folder (the program ships
// libcurl.dll beside node.dll). One table of typed function pointers, filled
// once; a missing library or function leaves the table unusable and every
// request then fails with a reason instead of crashing.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

namespace node_standin {

struct CurlApi {
  decltype(&::curl_global_init) global_init = nullptr;
  decltype(&::curl_easy_init) easy_init = nullptr;
  decltype(&::curl_easy_setopt) easy_setopt = nullptr;
  decltype(&::curl_easy_perform) easy_perform = nullptr;
  decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
  decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
  decltype(&::curl_easy_strerror) easy_strerror = nullptr;
  decltype(&::curl_slist_append) slist_append = nullptr;
  decltype(&::curl_slist_free_all) slist_free_all = nullptr;

  bool complete() const;
};

// The table, or null when libcurl.dll could not be loaded completely. The
// first call loads the library and initialises it; it is kept until the
// process ends (the host owns the process-wide clean-up).
const CurlApi* Curl();

}  // namespace node_standin
