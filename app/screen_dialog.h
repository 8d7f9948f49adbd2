#pragma once
// The screen-selection dialog: lists the monitors, stores the choice as key
// `index` of section `local`, and moves the main window over the chosen one.
#include <windows.h>

#include <string>
#include <vector>

// Element ids inside the dialog.
inline constexpr int kScreenLabelId = 1001;
inline constexpr int kScreenListId = 1002;
inline constexpr int kScreenNoteId = 1003;

// Shows the dialog modally over the main window; returns when it is closed.
void ShowScreenDialog();
// Closes the dialog when it is open (tray "退出").
void CloseScreenDialog();

// Handler of the dialog's created event: fills the list and applies the
// stored choice.
void FillScreenList(HWND dialog);
// Handler of the list's selection change; also called once by FillScreenList.
void ApplyScreenChoice(HWND dialog);
// EnumDisplayMonitors callback: inserts the monitor rectangle into the list
// sorted by left edge (equal edges keep the platform's order).
BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC dc, LPRECT rect, LPARAM data);
// Moves the main window over the rectangle and shows it.
void MoveToScreen(const RECT& rect);

// Item text of screen number `number`: "序号: 2 (w:1024 h:768)".
std::string ScreenItemText(int number, const RECT& rect);
const std::vector<RECT>& MonitorList();
int CurrentScreen();
// Whether the current screen was the primary monitor when it was chosen.
bool CurrentScreenWasPrimary();
// Enumerates the monitors again into MonitorList (after a display change).
void RefreshMonitorList();
// An open dialog lists the monitors again and applies the stored choice, so a
// start-up that waits for a missing monitor goes on once it is there.
void RefillOpenScreenDialog();

// Seams for tests: a monitor source that calls CollectMonitor itself instead
// of EnumDisplayMonitors, a modeless dialog, and an empty list with no current screen.
using MonitorSource = void (*)();
void SetMonitorSourceForTest(MonitorSource source);
HWND CreateScreenDialogForTest(HWND owner);
void ResetScreenStateForTest();
