#pragma once
// Events in the Windows event log (Application log, source "Tarnlumo"): the
// few things of a run worth an alert in the tools that already watch that
// log. The daily log file stays the full record; an event carries the same
// text as its log line. Nothing waits on the event log: a failure to write an
// event is ignored.
#include <windows.h>

#include <string>

#include "lumo_events.h"  // generated from resources/lumo_events.mc

// One line per event; its message (and with it its type: error, warning or
// information) is a block in resources/lumo_events.mc.
enum class EventId : DWORD {
  kFatalError = LUMO_EVENT_FATAL_ERROR,
  kRestart = LUMO_EVENT_RESTART,
  kRestartCapReached = LUMO_EVENT_RESTART_CAP,
  kRestartFailed = LUMO_EVENT_RESTART_FAILED,
  kLibraryLoad = LUMO_EVENT_LIBRARY_LOAD,
  kMonitorMissing = LUMO_EVENT_MONITOR_MISSING,
  kMonitorBack = LUMO_EVENT_MONITOR_BACK,
  kRefused = LUMO_EVENT_REFUSED,
  kAbruptEnd = LUMO_EVENT_ABRUPT_END,
};

inline constexpr char kEventSourceName[] = "Tarnlumo";

// The event log type that goes with the id's severity bits.
WORD EventTypeOf(EventId id);
// Writes the event with `text` (code page 936) as its one insert; any thread.
void ReportToEventLog(EventId id, const std::string& text);
