#pragma once
// Keeps the main window on the customer's monitor while monitors come and go
// (a display switched off, re-plugged, behind a KVM, or a new resolution).
// Windows moves the windows of a monitor that went away onto the primary one,
// where a full-screen display would cover the cashier's program; so the window
// is hidden while its monitor is missing and put back, without asking and
// without reloading the page, when it returns.
#include <windows.h>

#include <vector>

enum class PlacementKind {
  kCover,  // the chosen monitor is there: cover `rect`
  kHide,   // it is missing: keep the window off every monitor
};

struct Placement {
  PlacementKind kind;
  RECT rect;
};

// Where the window belongs after a display change. `monitors` is the list in
// the screen dialog's order; `screen` the 1-based screen chosen in this run;
// `chosen_was_primary` whether that monitor was the primary one when it was
// chosen. A screen number that now falls on the primary monitor (a monitor
// left of it went away, so the numbers shifted) counts as missing unless the
// primary itself was chosen: the page never covers the cashier's monitor.
Placement PlaceOnDisplays(const std::vector<RECT>& monitors, int screen, bool chosen_was_primary);

// The primary monitor is the one whose top-left corner is the virtual
// screen's origin.
bool IsPrimaryMonitor(const RECT& rect);

// Main window message handling: display changes arrive in bursts (a flapping
// cable, one message per mode switch), so they are gathered and followed once
// things have been quiet for a moment.
void NoteDisplayChange(HWND window);
bool IsDisplayChangeTimer(WPARAM timer_id);
// Enumerates the monitors again and moves, shows or hides the main window; an
// open screen dialog lists the new monitors and applies the stored choice.
void FollowDisplayChange();
