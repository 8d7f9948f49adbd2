#pragma once
// What the clean-up reads of the logger's state. Inside the log folder only.
#include <string>

// The folder of the day files (ends in a backslash); empty before the first
// OpenLog has worked it out.
std::string CurrentLogDirectory();
// True while StopLog runs.
bool LogIsStopping();
// True while a day file is open (logging is on).
bool LogIsOn();
