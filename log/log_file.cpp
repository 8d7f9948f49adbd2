// The process-wide log: callers queue stamped lines, one writer thread puts
// them into the day's file.
#include "log/log_file.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <new>
#include <string>
#include <utility>

#include "log/log_clock.h"
#include "log/log_day_file.h"
#include "log/log_file_lock.h"
#include "log/log_line_text.h"
#include "log/log_state.h"
#include "util/critical_section.h"
#include "util/deadline.h"
#include "util/fault_point.h"

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kLogFolder[] = "log\\";
constexpr char kLogFolderSuffix[] = "_log\\";
constexpr char kDayFileExtension[] = ".txt";

// What one writer thread works with, from an open to its stop. A stop that
// has to leave its writer behind (stuck, perhaps holding the lock) abandons
// the session for good: the next open starts a fresh one, so nothing the
// left-behind thread may still touch is reused or closed under it.
struct Session {
  // Serialises opening, writing and closing file, so a reopen never closes
  // the handle under a write in progress.
  LogFileLock file_lock;
  // Logging is on exactly while this is not null (and the session is not
  // abandoned). Read without a lock by every WriteLog; swapped only under
  // file_lock.
  std::atomic<HANDLE> file{nullptr};
  // Set, never cleared, by a stop that gave up on the writer. The writer
  // looks at it under file_lock before each line and leaves once it is set.
  std::atomic<bool> abandoned{false};
  std::atomic<HANDLE> writer{nullptr};
  // Under file_lock.
  std::string app_name;
  uint32_t log_date = 0;
  // The path of the open file, under the logger's queue_lock: a stop or a
  // flush that cannot get file_lock appends to it through a handle of its own.
  std::string day_path;
};

struct Logger {
  // Never null; a session is never freed, so a WriteLog that read the
  // pointer just before a fresh session replaced it reads a live object.
  std::atomic<Session*> session{nullptr};
  std::atomic<bool> stopping{false};
  // Created by the first OpenLog and never closed: the writer may be waiting
  // on it until the process ends.
  std::atomic<HANDLE> wake_up{nullptr};

  // Guards the queue (one append or one removal per hold), the directory
  // text, which the clean-up thread reads, and each session's day_path.
  CriticalSection queue_lock;
  std::deque<std::string> queue;
  std::string directory;
};

// Built on first use and never destroyed: threads may still log while static
// destructors run at exit.
Logger& TheLogger() {
  static Logger* logger = [] {
    Logger* created = new Logger;
    created->queue_lock.Init();
    created->session.store(new Session);
    return created;
  }();
  return *logger;
}

// Touches the logger while the program loads, before any thread exists.
[[maybe_unused]] const bool kLoggerBuiltAtLoad = (TheLogger(), true);

bool SessionIsOn(const Session& session) {
  return session.file.load() != nullptr && !session.abandoned.load();
}

bool LoggingAccepts(const Logger& logger) {
  return SessionIsOn(*logger.session.load()) && !logger.stopping.load();
}

std::string StampedLine(const std::string& category, const std::string& message) {
  SYSTEMTIME now;
  ReadLogClock(&now);
  return TimeText(now, TimeForm::kTime) + "->[" + OneLineText(category) + "] " +
         OneLineText(message) + kLineEnd;
}

bool TakeLine(Logger& logger, std::string* line) {
  CriticalSectionLock hold(logger.queue_lock);
  if (logger.queue.empty()) return false;
  *line = std::move(logger.queue.front());
  logger.queue.pop_front();
  return true;
}

bool QueueIsEmpty(Logger& logger) {
  CriticalSectionLock hold(logger.queue_lock);
  return logger.queue.empty();
}

void SetDayPath(Logger& logger, Session& session, std::string path) {
  CriticalSectionLock hold(logger.queue_lock);
  session.day_path = std::move(path);
}

std::string DayPath(Logger& logger, const Session& session) {
  CriticalSectionLock hold(logger.queue_lock);
  return session.day_path;
}

void CloseFileLocked(Session& session) { CloseDayFile(session.file.exchange(nullptr)); }

bool EnsureWakeUpEvent(Logger& logger) {
  if (logger.wake_up.load()) return true;
  HANDLE event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  logger.wake_up.store(event);
  return event != nullptr;
}

std::string WithTrailingBackslash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

DWORD WINAPI WriterMain(void* session);

// OpenLog with the session's file_lock held; also the writer's reopen on a
// new day.
bool OpenLocked(Logger& logger, Session& session, const std::string& app_name,
                const std::string& base_folder) {
  if (logger.stopping.load()) return false;
  if (!EnsureWakeUpEvent(logger)) {
    CloseFileLocked(session);
    return false;
  }
  bool names_set_here = false;
  if (session.app_name.empty()) {
    // Without both there is no folder to put the file in.
    if (app_name.empty() || base_folder.empty()) {
      CloseFileLocked(session);
      return false;
    }
    session.app_name = app_name;
    CriticalSectionLock hold(logger.queue_lock);
    logger.directory =
        WithTrailingBackslash(base_folder) + kLogFolder + app_name + kLogFolderSuffix;
    names_set_here = true;
  }
  std::string directory = CurrentLogDirectory();
  MakeDirectoryPath(directory);
  SYSTEMTIME today;
  ReadLogClock(&today);
  session.log_date = DateKey(today);
  std::string path = directory + TimeText(today, TimeForm::kDate) + kDayFileExtension;
  // The new file is opened before the old one is closed, so no line finds
  // logging off during a change of day.
  HANDLE opened = OpenDayFile(path);
  CloseDayFile(session.file.exchange(opened));
  if (opened) SetDayPath(logger, session, path);
  if (opened && !session.writer.load()) {
    HANDLE writer = nullptr;
    if (StartThread(WriterMain, &session, &writer)) {
      session.writer.store(writer);
    } else {
      CloseFileLocked(session);
      opened = nullptr;
    }
  }
  // A first open that failed leaves no names behind, so the next OpenLog
  // with a usable folder works the directory out again.
  if (!opened && names_set_here) session.app_name.clear();
  return opened != nullptr;
}

// With the session's file_lock held.
void WriteOneLine(Logger& logger, Session& session, const std::string& line) {
  SYSTEMTIME now;
  ReadLogClock(&now);
  // Checked before every line: one queued before midnight goes into the
  // new day's file.
  if (DateKey(now) != session.log_date) OpenLocked(logger, session, "", "");
  HANDLE file = session.file.load();
  if (file) AppendToDayFile(file, line);
}

// Each line is taken and written under file_lock, so whoever holds that lock
// knows the writer is not between taking a line and writing it. False when
// the session was abandoned: the writer must leave without another line.
bool DrainQueue(Logger& logger, Session& session) {
  std::string line;
  for (;;) {
    LogFileLockHold hold(session.file_lock);
    if (session.abandoned.load()) return false;
    if (!TakeLine(logger, &line)) return true;
    WriteOneLine(logger, session, line);
    FaultPoint(FaultSite::kLogWriterLocked);
  }
}

// A writer whose stop gave up on it and that came back after all: the file
// it wrote to is its own to close now (nothing else uses an abandoned
// session's handle), and a wake-up it may have taken belongs to the writer
// of the next session.
DWORD LeaveAbandoned(Logger& logger, Session& session) {
  {
    LogFileLockHold hold(session.file_lock);
    CloseFileLocked(session);
  }
  ::SetEvent(logger.wake_up.load());
  return 0;
}

DWORD WINAPI WriterMain(void* argument) {
  Logger& logger = TheLogger();
  Session& session = *static_cast<Session*>(argument);
  for (;;) {
    ::WaitForSingleObject(logger.wake_up.load(), INFINITE);
    if (!DrainQueue(logger, session)) return LeaveAbandoned(logger, session);
    FaultPoint(FaultSite::kLogWriter);
    if (session.abandoned.load()) return LeaveAbandoned(logger, session);
    if (logger.stopping.load()) {
      // A line may have been queued between the last empty look and the
      // stop; WriteLog refuses new ones from here on.
      if (!DrainQueue(logger, session)) return LeaveAbandoned(logger, session);
      return 0;
    }
  }
}

}  // namespace

void WriteLog(const std::string& category, const std::string& message) {
  Logger& logger = TheLogger();
  if (!LoggingAccepts(logger)) return;
  std::string line = StampedLine(category, message);
  bool was_empty;
  {
    CriticalSectionLock hold(logger.queue_lock);
    // Checked again under the lock: once a stop has begun, nothing enters
    // the queue that the writer's last drain could miss.
    if (!LoggingAccepts(logger)) return;
    was_empty = logger.queue.empty();
    logger.queue.push_back(std::move(line));
  }
  // The writer drains until it finds the queue empty, so only a line queued
  // into an empty queue needs to wake it; under Wine each SetEvent is a round
  // trip to the server, the most expensive part of a call.
  if (was_empty) ::SetEvent(logger.wake_up.load());
}

bool OpenLog(const std::string& app_name, const std::string& base_folder) {
  Logger& logger = TheLogger();
  Session* session = logger.session.load();
  if (session->abandoned.load()) {
    // The old session's lock may be held for good by its stuck writer.
    Session* fresh = new (std::nothrow) Session;
    if (!fresh) return false;
    logger.session.store(fresh);
    session = fresh;
  }
  LogFileLockHold hold(session->file_lock);
  return OpenLocked(logger, *session, app_name, base_folder);
}

namespace {

// Writes queued lines to the session's file; with its file_lock held. With a
// deadline, stops at the first line found after it has passed.
void WriteQueueLocked(Logger& logger, Session& session, const Deadline& deadline) {
  HANDLE file = session.file.load();
  std::string line;
  while (!deadline.Passed() && TakeLine(logger, &line)) {
    if (file) AppendToDayFile(file, line);
  }
}

// Writes queued lines to the session's day file through a handle of this
// call's own, for when the writer holds file_lock and does not give it up:
// nothing the writer uses is touched, and the file's append access puts each
// line after whatever the writer may still write.
void WriteQueueThroughOwnHandle(Logger& logger, Session& session, const Deadline& deadline) {
  if (QueueIsEmpty(logger)) return;
  std::string path = DayPath(logger, session);
  if (path.empty()) return;
  HANDLE own = OpenDayFile(path);
  std::string line;
  while (!deadline.Passed() && TakeLine(logger, &line)) {
    if (own) AppendToDayFile(own, line);
  }
  CloseDayFile(own);
}

}  // namespace

void FlushLogNow(DWORD wait_ms) {
  Logger& logger = TheLogger();
  Deadline write_until(wait_ms);
  // Half the time at most goes to waiting for the writer, so a stuck one
  // still leaves time for the lines themselves.
  Deadline lock_within(wait_ms == INFINITE ? INFINITE : wait_ms / 2);
  Session& session = *logger.session.load();
  // The process ends right after this: lines still queued when the time is
  // up are left, so the end is never later than asked.
  LogFileLockHold hold(session.file_lock, lock_within.Remaining());
  if (hold.held() && !session.abandoned.load()) {
    WriteQueueLocked(logger, session, write_until);
  } else {
    WriteQueueThroughOwnHandle(logger, session, write_until);
  }
}

bool StopLog(DWORD wait_ms) {
  Logger& logger = TheLogger();
  Session& session = *logger.session.load();
  if (!SessionIsOn(session)) return false;
  bool was_stopping = false;
  if (!logger.stopping.compare_exchange_strong(was_stopping, true)) return false;
  // One limit for every wait below: a stuck writer costs it once, not once
  // per line.
  Deadline deadline(wait_ms);
  ::SetEvent(logger.wake_up.load());
  bool writer_ended = true;
  HANDLE writer = session.writer.exchange(nullptr);
  if (writer) {
    // A writer that does not end in time is stuck or slow (it may be the
    // thread whose fatal error is being handled); it is left behind.
    writer_ended = ::WaitForSingleObject(writer, deadline.Remaining()) == WAIT_OBJECT_0;
    ::CloseHandle(writer);
  }
  if (!writer_ended) session.abandoned.store(true);
  {
    LogFileLockHold hold(session.file_lock, deadline.Remaining());
    // The last lines (the shutdown's own among them) are written even once
    // the time is up: only waiting is bounded, not writing.
    const Deadline no_limit(INFINITE);
    if (hold.held()) {
      // The writer is not inside a line: what it left is written here, and
      // the file can be closed.
      WriteQueueLocked(logger, session, no_limit);
      CloseFileLocked(session);
      session.app_name.clear();
    } else {
      // The writer holds the lock and did not give it up: its file handle
      // stays open under it, and the lines go in through another.
      session.abandoned.store(true);
      WriteQueueThroughOwnHandle(logger, session, no_limit);
    }
  }
  {
    CriticalSectionLock hold(logger.queue_lock);
    logger.queue.clear();
  }
  logger.stopping.store(false);
  return true;
}

std::string CurrentLogDirectory() {
  Logger& logger = TheLogger();
  CriticalSectionLock hold(logger.queue_lock);
  return logger.directory;
}

bool LogIsStopping() { return TheLogger().stopping.load(); }

bool LogIsOn() { return SessionIsOn(*TheLogger().session.load()); }
