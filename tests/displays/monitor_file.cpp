// The display-test build's monitors: while "monitors.txt" exists in the
// program folder, each of its lines "left top right bottom" is one monitor,
// in the order the platform would report them, read again at every
// enumeration; without the file the real monitors are listed. Tests change
// the file and then send the display-change message, as Windows would.
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "app/screen_dialog.h"
#include "app/system_utils.h"

namespace {

void MonitorsFromFile() {
  std::ifstream file(ProcessDirectory() + "monitors.txt");
  if (!file) {
    ::EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, 0);
    return;
  }
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    RECT rect = {};
    if (fields >> rect.left >> rect.top >> rect.right >> rect.bottom) {
      CollectMonitor(nullptr, nullptr, &rect, 0);
    }
  }
}

// Installed before WinMain runs, so the first screen dialog already uses it.
const bool g_installed = (SetMonitorSourceForTest(MonitorsFromFile), true);

}  // namespace
