#include "tests/net/curl_environment.h"

#include <gtest/gtest.h>

#include "net/http_global.h"

namespace {

class CurlEnvironment : public testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(InitHttpGlobal()); }
  void TearDown() override { ReleaseHttpGlobal(); }
};

const testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new CurlEnvironment);

}  // namespace

const CurlApi& MissingCurl() {
  static const CurlApi none;
  return none;
}
