// status.json: its times, the verdict lumocheck gives on it, and the writer
// with its hooks, in a folder of its own.
#include "app/status_file.h"

#include <gtest/gtest.h>

#include <ctime>

#include "app/event_report.h"
#include "tests/app/test_folder.h"

namespace {

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

TEST(StatusTime, ParsesUtcAndOffsets) {
  int64_t t = -1;
  ASSERT_TRUE(ParseStatusTime("1970-01-01T00:00:00Z", &t));
  EXPECT_EQ(t, 0);
  ASSERT_TRUE(ParseStatusTime("2026-12-09T17:46:27+08:00", &t));
  EXPECT_EQ(t, 1796809587);
  ASSERT_TRUE(ParseStatusTime("2024-02-29T18:29:59-05:30", &t));
  EXPECT_EQ(t, 1709251199);  // 2024-02-29T23:59:59Z
}

TEST(StatusTime, RefusesAnythingElse) {
  int64_t t = 0;
  for (const char* text :
       {"", "2026-12-09 17:46:27+08:00", "2026-12-09T17:46:27", "2026-12-09T17:46:27+08",
        "2026-13-09T17:46:27Z", "2026-12-09T17:46:27Zx", "2026-12-09T24:00:00Z"})
    EXPECT_FALSE(ParseStatusTime(text, &t)) << text;
}

TEST(StatusTime, WrittenTimesReadBackToTheSameSecond) {
  for (int64_t t : {int64_t{1}, int64_t{1709270999}, int64_t{1796809587}, Now()}) {
    int64_t back = 0;
    ASSERT_TRUE(ParseStatusTime(StatusTimeText(t), &back)) << StatusTimeText(t);
    EXPECT_EQ(back, t);
  }
  EXPECT_EQ(StatusTimeText(0), "");
}

JsonDocument Status(const std::string& state, const std::string& link, int64_t written) {
  JsonDocument status;
  status.SetText("state", state);
  status.SetText("link", link);
  status.SetText("link_since", StatusTimeText(written - 50));
  status.SetText("written", StatusTimeText(written));
  return status;
}

TEST(StatusVerdict, GoodOnlyWhenFreshLoadedAndLinked) {
  const int64_t now = 1796809587;
  std::string reason;
  EXPECT_TRUE(StatusIsGood(Status("page_loaded", "up", now - kStatusFreshSeconds), now, &reason))
      << reason;

  EXPECT_FALSE(
      StatusIsGood(Status("page_loaded", "up", now - kStatusFreshSeconds - 1), now, &reason));
  EXPECT_EQ(reason.rfind("stale: written 121 s ago", 0), 0u) << reason;

  EXPECT_FALSE(StatusIsGood(Status("waiting_for_server", "none", now), now, &reason));
  EXPECT_NE(reason.find("not loaded: state waiting_for_server"), std::string::npos) << reason;

  EXPECT_FALSE(StatusIsGood(Status("page_loaded", "down", now), now, &reason));
  EXPECT_NE(reason.find("is down since " + StatusTimeText(now - 50)), std::string::npos) << reason;

  JsonDocument unwritten = Status("page_loaded", "up", now);
  unwritten.SetText("written", "");
  EXPECT_FALSE(StatusIsGood(unwritten, now, &reason));
}

TEST(StatusWriter, HooksReachTheFileAndTheLastStateStays) {
  TestFolder folder("status");
  std::string path = folder.File(kStatusFileName);
  // What a copy that ended in a fatal error left behind.
  WriteWholeFile(path, "{\"state\":\"shutting_down\",\"fatal_error\":\"code:5 msg:boom\"}");
  RestartHistory history;
  history.previous_process = 1234;
  history.times = {Now() - 30, Now() - kRestartWindowSeconds - 100};
  StartStatusFile(nullptr, folder.path(), "9.8.7.6", history);

  StatusState(RunState::kWaitingForServer);
  JsonDocument status;
  ASSERT_TRUE(WaitUntil([&] {
    return ReadStatusFile(path, &status) && status.GetText("state") == "waiting_for_server";
  }));
  EXPECT_EQ(status.GetText("version"), "9.8.7.6");
  EXPECT_EQ(status.GetInt64("pid"), static_cast<int64_t>(::GetCurrentProcessId()));
  EXPECT_EQ(status.GetInt64("restarts_10min"), 1);
  EXPECT_EQ(status.GetText("last_restart_reason"), "code:5 msg:boom");
  EXPECT_EQ(status.GetText("fatal_error"), "");
  EXPECT_EQ(status.GetText("link"), "none");

  StatusState(RunState::kPageLoaded);
  StatusLinkUp();
  StatusPush();
  StatusPush();
  StatusScreen(2);
  StatusLinkDown();
  int64_t down_at = Now();
  StatusLinkDown();  // a failed reconnection keeps the time it went down
  StatusFatalError("code:1 msg:first");
  StatusFatalError("code:2 msg:second");
  StatusState(RunState::kShuttingDown);
  StatusState(RunState::kPageLoaded);
  StopStatusFile(5000);

  ASSERT_TRUE(ReadStatusFile(path, &status));
  EXPECT_EQ(status.GetText("state"), "shutting_down");
  EXPECT_EQ(status.GetText("link"), "down");
  int64_t since = 0;
  ASSERT_TRUE(ParseStatusTime(status.GetText("link_since"), &since));
  EXPECT_LE(since, down_at);
  EXPECT_GE(since, down_at - 2);
  EXPECT_EQ(status.GetInt64("pushes_today"), 2);
  EXPECT_NE(status.GetText("last_push"), "");
  EXPECT_EQ(status.GetInt64("screen"), 2);
  EXPECT_EQ(status.GetText("fatal_error"), "code:1 msg:first");
  EXPECT_FALSE(status.GetBool("window_visible"));
  EXPECT_FALSE(FileExists(path + ".tmp"));
}

TEST(StatusWriter, ANormalStartHasNoRestartReason) {
  TestFolder folder("status-normal");
  std::string path = folder.File(kStatusFileName);
  WriteWholeFile(path, "{\"fatal_error\":\"code:5 msg:an old run\"}");
  StartStatusFile(nullptr, folder.path(), "1.0.0.0", RestartHistory());
  StopStatusFile(5000);
  JsonDocument status;
  ASSERT_TRUE(ReadStatusFile(path, &status));
  EXPECT_EQ(status.GetText("state"), "starting");
  EXPECT_EQ(status.GetText("last_restart_reason"), "");
  EXPECT_EQ(status.GetInt64("restarts_10min"), 0);
}

TEST(EventTypes, FollowTheMessagesSeverity) {
  EXPECT_EQ(EventTypeOf(EventId::kFatalError), EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(EventTypeOf(EventId::kRestart), EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(EventTypeOf(EventId::kRestartCapReached), EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(EventTypeOf(EventId::kLibraryLoad), EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(EventTypeOf(EventId::kMonitorMissing), EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(EventTypeOf(EventId::kMonitorBack), EVENTLOG_INFORMATION_TYPE);
}

}  // namespace
