#pragma once
// Reads back the lines of one category from the day's log in a test folder.
#include <windows.h>

#include <string>
#include <vector>

#include "log/log_file.h"
#include "tests/app/test_folder.h"

inline std::vector<std::string> LogMessages(const std::string& folder,
                                            const std::string& category) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  std::string text =
      ReadWholeFile(folder + "log\\lumo_log\\" + TimeText(now, TimeForm::kDate) + ".txt");
  std::string tag = "->[" + category + "] ";
  std::vector<std::string> messages;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    std::string line = text.substr(start, end - start);
    size_t at = line.find(tag);
    if (at != std::string::npos) messages.push_back(line.substr(at + tag.size()));
  }
  return messages;
}
