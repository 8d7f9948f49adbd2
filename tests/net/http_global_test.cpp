#include "net/http_global.h"

#include <gtest/gtest.h>

#include "tests/net/curl_environment.h"

namespace {

int g_init_calls = 0;
int g_cleanup_calls = 0;
long g_init_flags = -1;
CURLcode g_init_result = CURLE_OK;

CURLcode CountingInit(long flags) {
  ++g_init_calls;
  g_init_flags = flags;
  return g_init_result;
}

void CountingCleanup() { ++g_cleanup_calls; }

// Swaps the real libcurl for a counting one, and hands the real one back
// initialised afterwards so the other tests keep working.
class HttpGlobalTest : public testing::Test {
 protected:
  void SetUp() override {
    ReleaseHttpGlobal();
    g_init_calls = g_cleanup_calls = 0;
    g_init_flags = -1;
    g_init_result = CURLE_OK;
    counting_.curl_global_init = &CountingInit;
    counting_.curl_global_cleanup = &CountingCleanup;
    SetCurlApiForTest(&counting_);
  }
  void TearDown() override {
    ReleaseHttpGlobal();
    SetCurlApiForTest(nullptr);
    ASSERT_TRUE(InitHttpGlobal());
  }

  CurlApi counting_;
};

TEST_F(HttpGlobalTest, InitialisesOnceWithSslAndWin32Parts) {
  EXPECT_TRUE(InitHttpGlobal());
  EXPECT_TRUE(InitHttpGlobal());
  EXPECT_EQ(g_init_calls, 1);
  EXPECT_EQ(g_init_flags, 3);
}

TEST_F(HttpGlobalTest, ReleaseCleansUpExactlyOnce) {
  ASSERT_TRUE(InitHttpGlobal());
  ReleaseHttpGlobal();
  ReleaseHttpGlobal();
  EXPECT_EQ(g_cleanup_calls, 1);
}

TEST_F(HttpGlobalTest, InitialisesAgainAfterARelease) {
  ASSERT_TRUE(InitHttpGlobal());
  ReleaseHttpGlobal();
  EXPECT_TRUE(InitHttpGlobal());
  EXPECT_EQ(g_init_calls, 2);
}

TEST_F(HttpGlobalTest, AFailedInitIsRememberedAndNeverCleanedUp) {
  g_init_result = CURLE_FAILED_INIT;
  EXPECT_FALSE(InitHttpGlobal());
  EXPECT_FALSE(InitHttpGlobal());
  EXPECT_EQ(g_init_calls, 1);
  ReleaseHttpGlobal();
  EXPECT_EQ(g_cleanup_calls, 0);
}

TEST_F(HttpGlobalTest, MissingLibraryFailsWithoutCrashing) {
  SetCurlApiForTest(&MissingCurl());
  EXPECT_FALSE(InitHttpGlobal());
  ReleaseHttpGlobal();
  EXPECT_EQ(g_cleanup_calls, 0);
}

}  // namespace
