#pragma once
// Named places on each kind of thread the program runs. The program passes
// through them and nothing happens; the fault-test build of Tarnlumo.exe
// (tests/faults/) links its own FaultPoint, which raises a real fatal error (or
// stops the thread for good) at the place a test asks for, so the fatal-error
// path is exercised on every kind of thread of the real program.
enum class FaultSite {
  kStartUp,          // GUI thread, start-up, after the version line, before the watcher
  kPageLoaded,       // GUI thread, the first successful page load (link just started)
  kWatchdog,         // the server link's watchdog thread, each round
  kSocketWorker,     // a socket worker, after the login was sent
  kLogWriter,        // the log writer, after writing lines
  kLogWriterLocked,  // the log writer, holding the file lock, after each line
  kUpdateHandOff,    // the detached update hand-off thread
  kShutdown,         // the GUI thread, inside the shutdown steps
  kWatcherStart,     // the watcher process, before it looks at the program
};

void FaultPoint(FaultSite site);
