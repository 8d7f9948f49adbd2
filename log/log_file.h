#pragma once
// The process-wide daily log: <program folder>log\<app>_log\YYYYMMDD.txt.
// Any thread calls WriteLog; one writer thread owns the file.
#include <windows.h>

#include <string>

// Queues one line "HH:MM:SS->[category] message" + CR LF, in the caller's bytes
// (code page 936). Never waits for the disk. Dropped while logging is off.
void WriteLog(const std::string& category, const std::string& message = "");
// Opens (or, with no arguments, reopens for today) the day's file and starts the
// writer thread. Start-up passes "lumo" and the program folder.
bool OpenLog(const std::string& app_name = "", const std::string& base_folder = "");
// Writes every queued line, stops the writer and closes the file. False when
// logging was off or a stop is already running. With a time limit (the
// fatal-error path), the limit covers the whole stop: a writer that has not
// ended by then is left behind with its file handle open, and the queued
// lines are written by the caller, through a handle of its own when the
// writer holds the file lock.
bool StopLog(DWORD wait_ms = INFINITE);
// Writes the queued lines on the calling thread, for a process about to end
// at once: returns within about wait_ms even when the writer is stuck holding
// the file lock (at most half of it goes to waiting for that lock); lines
// still queued when the time is up are not written.
void FlushLogNow(DWORD wait_ms);
// Deletes log files of months other than this one and the one before; does its
// work at most once per run.
void CleanOldLogs();
// Makes sure the folder (path ending in a backslash) exists, parents first.
bool MakeDirectoryPath(const std::string& path);
// CreateThread with defaults; keeps the handle in *handle when given, else closes it.
bool StartThread(LPTHREAD_START_ROUTINE function, void* argument, HANDLE* handle = nullptr);

enum class TimeForm { kTime, kDate };
// "08:30:05" (kTime) or "20260306" (kDate).
std::string TimeText(const SYSTEMTIME& time, TimeForm form);

// Seam for tests: the local clock the log reads (null restores the real one).
using LocalClock = void (*)(SYSTEMTIME* now);
void SetLogClockForTest(LocalClock clock);
// Seam for tests: lets the next CleanOldLogs do its work again.
void ResetLogCleanUpForTest();
