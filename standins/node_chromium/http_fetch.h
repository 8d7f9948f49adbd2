#pragma once
// Small HTTP requests to the browser's loopback debugging endpoint.
#include <string>

// Performs `method` (GET or PUT) on url; true with the body when the server
// answered 2xx within timeout_ms.
bool FetchHttp(const std::string& method, const std::string& url, int timeout_ms,
               std::string* body);
