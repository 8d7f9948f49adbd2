#pragma once
// The libcurl functions the program uses, as one table of typed pointers.
//
// On Windows the table is filled at run time from libcurl.dll in the program
// folder (the import library is never linked); in the native tree it points at
// the linked libcurl. A missing library or function leaves its pointer null and
// every caller treats null as failure, so requests fail instead of crashing.
#include <curl/curl.h>

#define CURL_FUNCTIONS(X)                                  \
  X(curl_global_init, decltype(&::curl_global_init))       \
  X(curl_global_cleanup, decltype(&::curl_global_cleanup)) \
  X(curl_easy_init, decltype(&::curl_easy_init))           \
  X(curl_easy_setopt, decltype(&::curl_easy_setopt))       \
  X(curl_easy_perform, decltype(&::curl_easy_perform))     \
  X(curl_easy_getinfo, decltype(&::curl_easy_getinfo))     \
  X(curl_easy_cleanup, decltype(&::curl_easy_cleanup))     \
  X(curl_slist_append, decltype(&::curl_slist_append))     \
  X(curl_slist_free_all, decltype(&::curl_slist_free_all))

#define LUMO_CURL_POINTER(name, type) type name = nullptr;

struct CurlApi {
  CURL_FUNCTIONS(LUMO_CURL_POINTER)
};

// The process's libcurl functions, looked up on first use.
const CurlApi& Curl();

// Seam for tests: makes Curl() return `api` (null restores the real table).
// The table must outlive its use.
void SetCurlApiForTest(const CurlApi* api);
