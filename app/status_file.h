#pragma once
// status.json in the program folder: what the display is doing right now,
// for a monitoring agent, a remote script or a support call, without reading
// the log. The places where the state changes call the small hooks below;
// one writer thread turns the state into the file, replaced atomically (a
// temporary file renamed over it) after every change and at least twice a
// minute, so the hooks never wait on the disk and a reader never sees half a
// file. The file is UTF-8 JSON, one flat object (see StatusKeys).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/restart.h"
#include "util/json_document.h"

enum class RunState {
  kStarting,          // before the wait for the server
  kWaitingForServer,  // the server does not answer yet; nothing shows
  kScreenDialog,      // the screen-selection dialog is up at start-up
  kPageLoading,       // the page is being loaded
  kPageLoaded,        // the page is loaded (the link runs from here)
  kOffline,           // the page could not be loaded; loading again
  kShuttingDown,      // the run is ending (normally or after a fatal error)
};
const char* RunStateName(RunState state);

inline constexpr char kStatusFileName[] = "status.json";
// A status written longer ago than this is stale: the program is not running
// or its writer is stuck.
inline constexpr int64_t kStatusFreshSeconds = 120;

// Starts the writer thread, which writes the first status at once. A
// restarted copy takes the reason of its restart from the status file the
// failed copy left.
void StartStatusFile(HWND main_window, const std::string& folder, const std::string& version,
                     const RestartHistory& history);
// The hooks: any thread, never waiting for more than a short lock. Once the
// state is kShuttingDown it stays so.
void StatusState(RunState state);
void StatusLinkUp();
void StatusLinkDown();
void StatusPush();
void StatusScreen(int screen);
void StatusWindowMoved();
void StatusFatalError(const std::string& reason);
// Writes the last status and ends the writer, waiting at most `wait_ms`.
void StopStatusFile(DWORD wait_ms);

// The file's format, shared with lumocheck.
// The keys of the status object, in the order they are written.
const std::vector<const char*>& StatusKeys();
// Local time with its offset from UTC, e.g. "2026-12-09T17:24:27+08:00";
// empty for 0.
std::string StatusTimeText(int64_t unix_seconds);
bool ParseStatusTime(const std::string& text, int64_t* unix_seconds);
// True when the status says the display works: written within
// kStatusFreshSeconds before `now`, page loaded, link up. Otherwise false
// and why.
bool StatusIsGood(const JsonDocument& status, int64_t now, std::string* reason);
// Reads a status file (UTF-8); false when it is missing or not JSON.
bool ReadStatusFile(const std::string& path, JsonDocument* status);
