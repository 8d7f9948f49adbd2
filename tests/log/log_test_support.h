#pragma once
// Shared pieces of the log tests: a private folder, whole-file reads, a clock
// the test sets, and bounded waiting.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// A fresh folder under the temporary folder (ends in a backslash), deleted
// with everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The whole file as bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// Splits at CR LF; the text after the last CR LF must be empty.
std::vector<std::string> SplitLines(const std::string& bytes);

// The clock every log test runs on: a local date-time the test moves.
void SetTestClock(int year, int month, int day, int hour, int minute, int second);
// Makes the log read the test clock.
void UseTestClock();
SYSTEMTIME MakeTime(int year, int month, int day, int hour, int minute, int second);

// Polls condition every few milliseconds for up to timeout_ms.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms = 5000);
