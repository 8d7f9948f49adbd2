#include "app/shutdown.h"

#include <gtest/gtest.h>

#include "ext/curl_api.h"
#include "net/http_global.h"

namespace {

int g_cleanups = 0;

CURLcode Initialise(long) { return CURLE_OK; }
void CountCleanUp() { ++g_cleanups; }

// The fatal path's shutdown may have timed out waiting for threads that are
// still inside libcurl or Winsock (the failing one among them): their global
// clean-up must not run under them. A normal exit waited for every thread.
TEST(ShutdownTest, OnlyAnUnboundedShutdownCleansLibcurlUp) {
  CurlApi counting;
  counting.curl_global_init = &Initialise;
  counting.curl_global_cleanup = &CountCleanUp;
  SetCurlApiForTest(&counting);
  ReleaseHttpGlobal();
  g_cleanups = 0;
  ASSERT_TRUE(InitHttpGlobal());
  ShutdownWithin(2000);
  EXPECT_EQ(g_cleanups, 0);
  Shutdown();
  EXPECT_EQ(g_cleanups, 1);
  SetCurlApiForTest(nullptr);
}

}  // namespace
