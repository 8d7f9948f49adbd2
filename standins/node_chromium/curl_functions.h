#pragma once
// libcurl, loaded at run time from the folder of this DLL (not the program's),
// so the browser engine carries its own transport.
#include <curl/curl.h>
#include <curl/websockets.h>

#define NODE_CURL_FUNCTIONS(X) \
  X(curl_global_init)          \
  X(curl_easy_init)            \
  X(curl_easy_cleanup)         \
  X(curl_easy_setopt)          \
  X(curl_easy_perform)         \
  X(curl_easy_getinfo)         \
  X(curl_easy_strerror)

struct CurlFunctions {
#define NODE_CURL_POINTER(name) decltype(&::name) name = nullptr;
  NODE_CURL_FUNCTIONS(NODE_CURL_POINTER)
#undef NODE_CURL_POINTER
};

// The loaded functions, or null when libcurl.dll (or one of its functions) is
// missing. Loads once and initialises libcurl globally once per process; the
// library stays loaded until the process ends, because worker threads may
// still be returning from it while the DLL detaches.
const CurlFunctions* Curl();

// The folder of this DLL, with a trailing backslash.
const char* OwnModuleFolder();
