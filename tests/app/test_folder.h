#pragma once
// A fresh folder on the Wine C: drive for one test, removed at the end. Shell
// calls behave best on C: under Wine.
#include <string>

class TestFolder {
 public:
  explicit TestFolder(const std::string& name);
  ~TestFolder();
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  // The folder path with a trailing backslash.
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// ReadWholeFile, FileExists and the other file helpers are the log tests'.
#include "tests/log/log_test_support.h"
