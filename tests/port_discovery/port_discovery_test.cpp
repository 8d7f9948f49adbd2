#include "link/port_discovery.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "app/config_file.h"
#include "net/http_request.h"
#include "tests/net/loopback_http_server.h"

namespace {

constexpr char kPortPath[] = "/api100.php?fun=port&name=tcp";
constexpr int64_t kStart = 5000000;

int64_t g_now = kStart;
std::vector<unsigned> g_sleeps;
std::function<void()> g_on_sleep;

int64_t FakeUptime() { return g_now; }

void FakeSleep(unsigned milliseconds) {
  g_sleeps.push_back(milliseconds);
  if (g_on_sleep) g_on_sleep();
}

std::string TestConfigPath() {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  std::string folder = std::string(temp) + "lumo_port_discovery_test\\";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder + "config.ini";
}

// Points the loaded settings at 127.0.0.1 with the given web port text.
void LoadWebPort(const std::string& web_port) {
  std::string path = TestConfigPath();
  ::DeleteFileA(path.c_str());
  ASSERT_TRUE(WriteIniFile(path, "server", "ip", "127.0.0.1"));
  ASSERT_TRUE(WriteIniFile(path, "server", "webport", web_port));
  LoadConfig(path);
}

// A back-office server whose port answers come from a queue; the last one
// repeats.
class PortDiscoveryTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    LoadWebPort(std::to_string(server_.port()));
    g_now = kStart;
    g_sleeps.clear();
    g_on_sleep = nullptr;
    SetPortDiscoveryClockForTest(&FakeUptime, &FakeSleep);
    ResetPortCacheForTest();
  }
  void TearDown() override {
    SetPortDiscoveryClockForTest(nullptr, nullptr);
    ResetPortCacheForTest();
    g_on_sleep = nullptr;
  }

  void AnswerPort(std::deque<std::string> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    port_answers_ = std::move(answers);
  }

  size_t PortRequests() const {
    size_t count = 0;
    for (const auto& request : server_.Requests()) count += request.target == kPortPath;
    return count;
  }

  CannedResponse Answer(const RecordedRequest& request) {
    CannedResponse response;
    if (request.target == kPortPath) {
      std::lock_guard<std::mutex> lock(mutex_);
      response.body = port_answers_.empty() ? "" : port_answers_.front();
      if (port_answers_.size() > 1) port_answers_.pop_front();
    } else if (request.target == "/") {
      response.status = root_status_;
      if (root_status_ == 302) response.headers = {"Location: /home"};
    } else if (request.target != "/home") {
      response.status = 404;
    }
    return response;
  }

  std::mutex mutex_;
  std::deque<std::string> port_answers_;
  int root_status_ = 200;
  LoopbackHttpServer server_{[this](const RecordedRequest& r) { return Answer(r); }};
};

TEST_F(PortDiscoveryTest, ConfiguredPortNeedsNoRequest) {
  EXPECT_EQ(GetPort(kConfiguredWebPort), server_.port());
  EXPECT_EQ(GetPort(7), 0);
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(PortDiscoveryTest, BaseUrlIsSchemeHostAndConfiguredPort) {
  EXPECT_EQ(ConfigBaseUrl(), "http://127.0.0.1:" + std::to_string(server_.port()));
}

TEST_F(PortDiscoveryTest, BaseUrlIsEmptyWithoutAUsablePort) {
  LoadWebPort("0");
  EXPECT_EQ(ConfigBaseUrl(), "");
  LoadWebPort("abc");
  EXPECT_EQ(ConfigBaseUrl(), "");
  EXPECT_FALSE(ServerAnswers());
}

TEST_F(PortDiscoveryTest, AsksTheServerForTheTcpPort) {
  AnswerPort({"8100\r\n"});
  EXPECT_EQ(GetPort(kServerTcpPort), 8100);
  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, kPortPath);
  EXPECT_EQ(requests[0].Header("User-Agent"), kHttpUserAgent);
  EXPECT_TRUE(g_sleeps.empty());
}

TEST_F(PortDiscoveryTest, AFoundPortIsUsedForTenMinutesWithoutAsking) {
  AnswerPort({"8100"});
  ASSERT_EQ(GetPort(kServerTcpPort), 8100);
  AnswerPort({"8200"});
  g_now += 599999;
  EXPECT_EQ(GetPort(kServerTcpPort), 8100);
  EXPECT_EQ(PortRequests(), 1u);
  g_now = kStart + 600000;
  EXPECT_EQ(GetPort(kServerTcpPort), 8200);
  EXPECT_EQ(PortRequests(), 2u);
}

TEST_F(PortDiscoveryTest, ZeroIsRetriedThreeTimes3000MsApart) {
  AnswerPort({"0"});
  EXPECT_EQ(GetPort(kServerTcpPort), 0);
  EXPECT_EQ(PortRequests(), 3u);
  EXPECT_EQ(g_sleeps, (std::vector<unsigned>{3000, 3000, 3000}));
}

TEST_F(PortDiscoveryTest, LettersCountAsFailureAndAreAskedAgainNextTime) {
  AnswerPort({"tcp"});
  EXPECT_EQ(GetPort(kServerTcpPort), 0);
  EXPECT_EQ(PortRequests(), 3u);
  // Never had a port, so the next call asks again at once.
  g_now += 1;
  AnswerPort({"8100"});
  EXPECT_EQ(GetPort(kServerTcpPort), 8100);
  EXPECT_EQ(PortRequests(), 4u);
}

TEST_F(PortDiscoveryTest, ALaterTryCanSucceed) {
  AnswerPort({"", "x", "8101"});
  EXPECT_EQ(GetPort(kServerTcpPort), 8101);
  EXPECT_EQ(PortRequests(), 3u);
  EXPECT_EQ(g_sleeps, (std::vector<unsigned>{3000, 3000}));
}

TEST_F(PortDiscoveryTest, ANumberAboveTheHighestPortCountsAsFailure) {
  AnswerPort({"70000"});
  EXPECT_EQ(GetPort(kServerTcpPort), 0);
  EXPECT_EQ(PortRequests(), 3u);
}

TEST_F(PortDiscoveryTest, KeepsTheOlderPortAfterAFailureForTenMoreMinutes) {
  AnswerPort({"8100"});
  ASSERT_EQ(GetPort(kServerTcpPort), 8100);
  g_now = kStart + 700000;
  AnswerPort({"down"});
  EXPECT_EQ(GetPort(kServerTcpPort), 8100);
  EXPECT_EQ(PortRequests(), 4u);
  g_now += 599999;
  EXPECT_EQ(GetPort(kServerTcpPort), 8100);
  EXPECT_EQ(PortRequests(), 4u);
}

TEST_F(PortDiscoveryTest, AnUnreachableServerGivesZeroAfterThreeTries) {
  LoadWebPort(std::to_string(LoopbackHttpServer::UnusedPort()));
  EXPECT_EQ(GetPort(kServerTcpPort), 0);
  EXPECT_EQ(g_sleeps.size(), 3u);
}

TEST_F(PortDiscoveryTest, ServerAnswersOnSuccessOnly) {
  EXPECT_TRUE(ServerAnswers());
  root_status_ = 404;
  EXPECT_FALSE(ServerAnswers());
}

TEST_F(PortDiscoveryTest, ServerAnswersFollowsRedirects) {
  root_status_ = 302;
  EXPECT_TRUE(ServerAnswers());
  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].target, "/home");
}

TEST_F(PortDiscoveryTest, WaitForServerReturnsAtOnceWhenTheServerAnswers) {
  WaitForServer();
  EXPECT_TRUE(g_sleeps.empty());
}

TEST_F(PortDiscoveryTest, WaitForServerWaitsUntilTheServerComesUp) {
  int port = LoopbackHttpServer::UnusedPort();
  LoadWebPort(std::to_string(port));
  LoopbackHttpServer late([](const RecordedRequest&) { return CannedResponse(); });
  g_on_sleep = [&] {
    if (g_sleeps.size() == 3) {
      ASSERT_TRUE(late.Start(port));
    }
  };
  WaitForServer();
  EXPECT_EQ(g_sleeps, (std::vector<unsigned>{3000, 3000, 3000}));
  ASSERT_EQ(late.Requests().size(), 1u);
  EXPECT_EQ(late.Requests()[0].target, "/");
}

}  // namespace
