#pragma once
// The process's hooks that turn crashes into fatal errors: unhandled
// exceptions, hardware faults in the program's own code, stack overflows
// anywhere, and std::terminate all reach the fatal-error handler.

// Starts the fatal path's own threads and installs the hooks for the rest of
// the run. Start-up calls it before any outside library is loaded.
void InstallFatalErrorHandler();
