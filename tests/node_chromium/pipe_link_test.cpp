// The browser's debugging pipe as the engine sees it: two real FIFOs, the test
// standing in for the browser at their far ends. Messages end with NUL and may
// arrive split or several to a read; Close() ends a read that waits; the far
// end closing is noticed.
#include "pipe_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "browser_process.h"

namespace {

constexpr int kWaitMs = 5000;

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class PipeLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!BrowserProcess::UnderWine()) GTEST_SKIP() << "FIFOs need Wine's Unix side";
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"lumo-pipe-test-" + std::to_wstring(::GetCurrentProcessId()) +
              L"-" + std::to_wstring(::GetTickCount());
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
    from_ = folder_ + L"\\from";
    to_ = folder_ + L"\\to";
    std::string unix_folder = WineUnixPath(folder_);
    ASSERT_FALSE(unix_folder.empty());
    // Wine does not report a FIFO's attributes, so a plain file marks them made.
    std::wstring unix_wide(unix_folder.begin(), unix_folder.end());
    unix_folder_ = unix_wide;
    ASSERT_TRUE(RunUnix(L"cd '" + unix_wide + L"' && mkfifo -m 600 from to && : >ready"));
    std::wstring ready = folder_ + L"\\ready";
    DWORD started = ::GetTickCount();
    while (!Exists(ready) && ::GetTickCount() - started < kWaitMs) ::Sleep(20);
    ASSERT_TRUE(Exists(ready));
    // The far ends, opened both ways as the keeper holds them, so no open waits.
    browser_out_ = OpenBothWays(from_);
    browser_in_ = OpenBothWays(to_);
    ASSERT_NE(browser_out_, INVALID_HANDLE_VALUE);
    ASSERT_NE(browser_in_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    link_.Close();
    if (browser_out_ != INVALID_HANDLE_VALUE) ::CloseHandle(browser_out_);
    if (browser_in_ != INVALID_HANDLE_VALUE) ::CloseHandle(browser_in_);
    // Nor can Wine delete a FIFO.
    if (!unix_folder_.empty()) RunUnix(L"rm -rf '" + unix_folder_ + L"'");
  }
  // Starts a shell command on the Unix side (Wine gives no handle to wait on).
  static bool RunUnix(const std::wstring& script) {
    std::wstring command = L"/bin/sh -c \"" + script + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
      return false;
    if (info.hThread) ::CloseHandle(info.hThread);
    if (info.hProcess) ::CloseHandle(info.hProcess);
    return true;
  }
  static HANDLE OpenBothWays(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  }
  bool Open() {
    return link_.Open(
        from_, to_,
        [this](std::string&& message) {
          std::lock_guard<std::mutex> lock(lock_);
          messages_.push_back(std::move(message));
          changed_.notify_all();
        },
        [this] {
          std::lock_guard<std::mutex> lock(lock_);
          closed_ = true;
          changed_.notify_all();
        },
        [] { return MessageLink::kNoTick; });
  }
  void BrowserWrites(const std::string& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(browser_out_, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr));
    ASSERT_EQ(written, bytes.size());
  }
  template <class Condition>
  bool WaitFor(Condition condition) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), condition);
  }

  std::wstring folder_, from_, to_;
  std::wstring unix_folder_;
  HANDLE browser_out_ = INVALID_HANDLE_VALUE;
  HANDLE browser_in_ = INVALID_HANDLE_VALUE;
  PipeLink link_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> messages_;
  bool closed_ = false;
};

TEST_F(PipeLinkTest, SentMessagesEndWithNul) {
  ASSERT_TRUE(Open());
  ASSERT_TRUE(link_.Send("{\"id\":1}"));
  char buffer[64] = {};
  DWORD read = 0;
  ASSERT_TRUE(::ReadFile(browser_in_, buffer, sizeof(buffer), &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), std::string("{\"id\":1}\0", 9));
}

TEST_F(PipeLinkTest, MessagesAreSplitAtNulWhateverTheReads) {
  ASSERT_TRUE(Open());
  BrowserWrites(std::string("one\0two\0thr", 11));
  ASSERT_TRUE(WaitFor([this] { return messages_.size() == 2; }));
  BrowserWrites(std::string("ee\0", 3));
  ASSERT_TRUE(WaitFor([this] { return messages_.size() == 3; }));
  std::lock_guard<std::mutex> lock(lock_);
  EXPECT_EQ(messages_, (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_FALSE(closed_);
}

TEST_F(PipeLinkTest, CloseEndsAWaitingReadWithoutTheClosedSink) {
  ASSERT_TRUE(Open());
  ::Sleep(200);  // the reader is inside its read by now, or gets there after Close's wake
  auto before = std::chrono::steady_clock::now();
  link_.Close();
  auto took = std::chrono::steady_clock::now() - before;
  EXPECT_LT(took, std::chrono::seconds(3));
  EXPECT_FALSE(link_.IsOpen());
  EXPECT_FALSE(closed_);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(PipeLinkTest, TheFarEndClosingIsNoticed) {
  ASSERT_TRUE(Open());
  BrowserWrites(std::string("last\0", 5));
  ::CloseHandle(browser_out_);  // the only other writer: the pipe ends
  browser_out_ = INVALID_HANDLE_VALUE;
  ASSERT_TRUE(WaitFor([this] { return closed_; }));
  std::lock_guard<std::mutex> lock(lock_);
  EXPECT_EQ(messages_, std::vector<std::string>{"last"});
  EXPECT_FALSE(link_.IsOpen());
}

}  // namespace
