#include "app/event_report.h"

namespace {

// The source is registered once, on the first event, and kept: registering
// costs a call to the event log service, and one that failed is not retried.
HANDLE Source() {
  static const HANDLE source = ::RegisterEventSourceA(nullptr, kEventSourceName);
  return source;
}

}  // namespace

WORD EventTypeOf(EventId id) {
  switch (static_cast<DWORD>(id) >> 30) {
    case STATUS_SEVERITY_ERROR:
      return EVENTLOG_ERROR_TYPE;
    case STATUS_SEVERITY_WARNING:
      return EVENTLOG_WARNING_TYPE;
    default:
      return EVENTLOG_INFORMATION_TYPE;
  }
}

void ReportToEventLog(EventId id, const std::string& text) {
  HANDLE source = Source();
  if (source == nullptr) return;
  const char* inserts[] = {text.c_str()};
  ::ReportEventA(source, EventTypeOf(id), 0, static_cast<DWORD>(id), nullptr, 1, 0, inserts,
                 nullptr);
}
