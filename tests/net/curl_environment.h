#pragma once
// libcurl is initialised once for the whole test program, as start-up does
// for the product, before any test sends a request.
#include "ext/curl_api.h"

// A table with every function missing, as when libcurl.dll is absent.
const CurlApi& MissingCurl();
