// ReadProcessStats on two child processes that differ by a known number of
// handles, threads and committed private bytes: each figure must follow what
// the child holds, whichever call Wine lets it be read with.
#include "tools/lumoctl/process_stats.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "util/scoped_handle.h"

namespace {

constexpr int kExtraEvents = 200;
constexpr int kExtraThreads = 6;
constexpr long long kExtraBytes = 64ll << 20;
constexpr DWORD kReadyTimeoutMs = 30000;

DWORD WINAPI SleepForever(void*) {
  ::Sleep(INFINITE);
  return 0;
}

// The child: takes what it is told to hold, says so, and waits to be ended.
int Hold(const char* ready_name, int events, int threads, long long bytes) {
  for (int i = 0; i < events; ++i) ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (int i = 0; i < threads; ++i) ::CreateThread(nullptr, 0, SleepForever, nullptr, 0, nullptr);
  if (bytes > 0) {
    auto* memory = static_cast<char*>(::VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes),
                                                     MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!memory) return 1;
    for (long long at = 0; at < bytes; at += 4096) memory[at] = 1;
  }
  HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, ready_name);
  if (!ready) return 1;
  ::SetEvent(ready);
  ::Sleep(INFINITE);
  return 0;
}

class Child {
 public:
  Child(int events, int threads, long long bytes) {
    static int count = 0;
    std::string ready_name = "lumo_stats_ready_" + std::to_string(::GetCurrentProcessId()) + "_" +
                             std::to_string(++count);
    ready_.Set(::CreateEventA(nullptr, TRUE, FALSE, ready_name.c_str()));
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" --hold " + ready_name + " " +
                          std::to_string(events) + " " + std::to_string(threads) + " " +
                          std::to_string(bytes);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &info)) {
      ::CloseHandle(info.hThread);
      process_.Set(info.hProcess);
      id_ = info.dwProcessId;
    }
  }
  ~Child() {
    if (process_.IsValid()) ::TerminateProcess(process_.Get(), 0);
  }
  bool Ready() const {
    return process_.IsValid() &&
           ::WaitForSingleObject(ready_.Get(), kReadyTimeoutMs) == WAIT_OBJECT_0;
  }
  DWORD id() const { return id_; }

 private:
  ScopedKernelHandle ready_;
  ScopedKernelHandle process_;
  DWORD id_ = 0;
};

TEST(ProcessStats, EachFigureFollowsWhatTheProcessHolds) {
  Child plain(0, 0, 0);
  Child loaded(kExtraEvents, kExtraThreads, kExtraBytes);
  ASSERT_TRUE(plain.Ready());
  ASSERT_TRUE(loaded.Ready());
  ProcessStats a, b;
  ASSERT_TRUE(ReadProcessStats(plain.id(), &a));
  ASSERT_TRUE(ReadProcessStats(loaded.id(), &b));
  for (const char* from : {a.handles_from, a.threads_from, a.private_bytes_from}) {
    EXPECT_STRNE(from, "none");
  }
  EXPECT_GT(a.handles, 0);
  EXPECT_GT(a.private_bytes, 0);
  EXPECT_EQ(b.threads - a.threads, kExtraThreads);
  // Each extra thread is a handle too; the runtime may open a few of its own.
  EXPECT_GE(b.handles - a.handles, kExtraEvents + kExtraThreads);
  EXPECT_LE(b.handles - a.handles, kExtraEvents + kExtraThreads + 20);
  // The threads' stacks are private memory as well.
  EXPECT_GE(b.private_bytes - a.private_bytes, kExtraBytes);
  EXPECT_LE(b.private_bytes - a.private_bytes, kExtraBytes + (32ll << 20));
}

TEST(ProcessStats, AProcessThatIsNotThereIsNotRead) {
  ProcessStats stats;
  EXPECT_FALSE(ReadProcessStats(0x7ffffff0, &stats));
  EXPECT_EQ(stats.handles, -1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "--hold") == 0) {
    return Hold(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoll(argv[5]));
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
