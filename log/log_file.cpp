// The process-wide log: callers queue stamped lines, one writer thread puts
// them into the day's file.
#include "log/log_file.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "log/log_clock.h"
#include "log/log_day_file.h"
#include "log/log_line_text.h"
#include "log/log_state.h"
#include "util/critical_section.h"
#include "util/fault_point.h"

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kLogFolder[] = "log\\";
constexpr char kLogFolderSuffix[] = "_log\\";
constexpr char kDayFileExtension[] = ".txt";

struct Logger {
  // Logging is on exactly while this is not null. Read without a lock by
  // every WriteLog; swapped only under file_lock.
  std::atomic<HANDLE> file{nullptr};
  std::atomic<bool> stopping{false};
  // Created by the first OpenLog and never closed: the writer may be waiting
  // on it until the process ends.
  std::atomic<HANDLE> wake_up{nullptr};

  // Guards the queue (one append or one removal per hold) and the directory
  // text, which the clean-up thread reads.
  CriticalSection queue_lock;
  std::deque<std::string> queue;

  // Serialises opening, writing and closing the file, so a reopen never
  // closes the handle under a write in progress.
  std::mutex file_lock;
  HANDLE writer = nullptr;
  std::string app_name;
  std::string directory;
  uint32_t log_date = 0;
};

// Built on first use and never destroyed: threads may still log while static
// destructors run at exit.
Logger& TheLogger() {
  static Logger* logger = [] {
    Logger* created = new Logger;
    created->queue_lock.Init();
    return created;
  }();
  return *logger;
}

// Touches the logger while the program loads, before any thread exists.
[[maybe_unused]] const bool kLoggerBuiltAtLoad = (TheLogger(), true);

bool LoggingAccepts(const Logger& logger) {
  return logger.file.load() != nullptr && !logger.stopping.load();
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

void CloseFileLocked(Logger& logger) { CloseDayFile(logger.file.exchange(nullptr)); }

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

DWORD WINAPI WriterMain(void*);

// OpenLog with file_lock held; also the writer's reopen on a new day.
bool OpenLocked(Logger& logger, const std::string& app_name, const std::string& base_folder) {
  if (logger.stopping.load()) return false;
  if (!EnsureWakeUpEvent(logger)) {
    CloseFileLocked(logger);
    return false;
  }
  bool names_set_here = false;
  if (logger.app_name.empty()) {
    // Without both there is no folder to put the file in.
    if (app_name.empty() || base_folder.empty()) {
      CloseFileLocked(logger);
      return false;
    }
    logger.app_name = app_name;
    CriticalSectionLock hold(logger.queue_lock);
    logger.directory =
        WithTrailingBackslash(base_folder) + kLogFolder + app_name + kLogFolderSuffix;
    names_set_here = true;
  }
  MakeDirectoryPath(logger.directory);
  SYSTEMTIME today;
  ReadLogClock(&today);
  logger.log_date = DateKey(today);
  // The new file is opened before the old one is closed, so no line finds
  // logging off during a change of day.
  HANDLE opened =
      OpenDayFile(logger.directory + TimeText(today, TimeForm::kDate) + kDayFileExtension);
  CloseDayFile(logger.file.exchange(opened));
  if (opened && !logger.writer && !StartThread(WriterMain, nullptr, &logger.writer)) {
    logger.writer = nullptr;
    CloseFileLocked(logger);
    opened = nullptr;
  }
  // A first open that failed leaves no names behind, so the next OpenLog
  // with a usable folder works the directory out again.
  if (!opened && names_set_here) logger.app_name.clear();
  return opened != nullptr;
}

// With file_lock held.
void WriteOneLine(Logger& logger, const std::string& line) {
  SYSTEMTIME now;
  ReadLogClock(&now);
  // Checked before every line: one queued before midnight goes into the
  // new day's file.
  if (DateKey(now) != logger.log_date) OpenLocked(logger, "", "");
  HANDLE file = logger.file.load();
  if (file) AppendToDayFile(file, line);
}

// Each line is taken and written under file_lock, so whoever holds that lock
// knows the writer is not between taking a line and writing it (a process
// about to end at once flushes that way without losing the writer's line).
void DrainQueue(Logger& logger) {
  std::string line;
  for (;;) {
    std::lock_guard<std::mutex> hold(logger.file_lock);
    if (!TakeLine(logger, &line)) return;
    WriteOneLine(logger, line);
  }
}

DWORD WINAPI WriterMain(void*) {
  Logger& logger = TheLogger();
  for (;;) {
    ::WaitForSingleObject(logger.wake_up.load(), INFINITE);
    DrainQueue(logger);
    FaultPoint(FaultSite::kLogWriter);
    if (logger.stopping.load()) {
      // A line may have been queued between the last empty look and the
      // stop; WriteLog refuses new ones from here on.
      DrainQueue(logger);
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
  std::lock_guard<std::mutex> hold(logger.file_lock);
  return OpenLocked(logger, app_name, base_folder);
}

namespace {

// The file lock, taken within the time given. A writer that ended in a fatal
// error may have been parked while holding it; it never runs again, so past
// the time the lines are written without it rather than lost.
std::unique_lock<std::mutex> FileLockWithin(Logger& logger, DWORD wait_ms) {
  std::unique_lock<std::mutex> hold(logger.file_lock, std::defer_lock);
  if (wait_ms == INFINITE) {
    hold.lock();
    return hold;
  }
  DWORD start = ::GetTickCount();
  while (!hold.try_lock() && ::GetTickCount() - start < wait_ms) ::Sleep(1);
  return hold;
}

// Writes what the writer left in the queue, on the calling thread.
void DrainWithoutWriter(Logger& logger, DWORD wait_ms) {
  std::string line;
  for (;;) {
    std::unique_lock<std::mutex> hold = FileLockWithin(logger, wait_ms);
    if (!TakeLine(logger, &line)) return;
    HANDLE file = logger.file.load();
    if (file) AppendToDayFile(file, line);
  }
}

}  // namespace

void FlushLogNow(DWORD wait_ms) {
  Logger& logger = TheLogger();
  if (logger.file.load()) DrainWithoutWriter(logger, wait_ms);
}

bool StopLog(DWORD wait_ms) {
  Logger& logger = TheLogger();
  if (!logger.file.load()) return false;
  bool was_stopping = false;
  if (!logger.stopping.compare_exchange_strong(was_stopping, true)) return false;
  ::SetEvent(logger.wake_up.load());
  HANDLE writer = nullptr;
  {
    std::unique_lock<std::mutex> hold = FileLockWithin(logger, wait_ms);
    writer = std::exchange(logger.writer, nullptr);
  }
  if (writer) {
    // A writer that does not end in time is stuck (it may be the thread whose
    // fatal error is being handled): its lines are written from here.
    if (::WaitForSingleObject(writer, wait_ms) != WAIT_OBJECT_0)
      DrainWithoutWriter(logger, wait_ms);
    ::CloseHandle(writer);
  }
  {
    std::unique_lock<std::mutex> hold = FileLockWithin(logger, wait_ms);
    CloseFileLocked(logger);
    logger.app_name.clear();
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

bool LogIsOn() { return TheLogger().file.load() != nullptr; }
