#pragma once
// The day's log file on disk: opened for appending, shared with every other
// reader and writer, written as raw bytes.
#include <windows.h>

#include <string>

// Opens or creates the file at path (code page 936 bytes) for appending.
// Returns null on failure, never INVALID_HANDLE_VALUE.
HANDLE OpenDayFile(const std::string& path);
// Writes all of text at the end of the file; false if the disk refused part.
bool AppendToDayFile(HANDLE file, const std::string& text);
// Closes a handle from OpenDayFile; null is ignored.
void CloseDayFile(HANDLE file);
