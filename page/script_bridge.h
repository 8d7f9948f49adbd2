#pragma once
// The two directions between the program and the page. Towards the program:
// global script functions bound to native handlers through one dispatcher.
// Towards the page: script text run on the GUI thread, handed over from other
// threads with the page message that the host window's message filter takes.
#include <windows.h>

#include <string>

#include "ext/node_api.h"

class PageHost;

// A native handler of a bound script function: gets the call's execution
// state, returns the script value of the call.
typedef jsValue(__cdecl* BoundHandler)(jsExecState state);

// Binds a global script function `name` to handler; every binding goes
// through BoundFunctionDispatcher with the handler's address as parameter.
void BindFunction(const char* name, BoundHandler handler, unsigned argument_count);
// Calls the handler at param with the state; undefined when param is null.
jsValue __cdecl BoundFunctionDispatcher(jsExecState state, void* param);

// Argument `index` of a call as code page 936 text (empty when absent).
std::string ArgText(jsExecState state, int index);
jsValue ReturnFalse();
jsValue ReturnUndefined();
jsValue ReturnInt(int value);
jsValue ReturnText(jsExecState state, const std::string& text);
jsValue ReturnBool(bool value);

// What the page message acts on. The program's own comes from the application
// state (HostMessageFilter); tests give theirs.
struct PageMessageTarget {
  PageHost* host = nullptr;
  UINT page_message = 0;      // the registered message; 0 matches nothing
  std::string page_url;       // start address, loaded again on a reload request
  std::string run_directory;  // program folder with a trailing backslash
  // Reads key "debug" of section "local" at the time of the double click, so
  // a change of config.ini takes effect without a restart.
  std::string (*read_debug_setting)() = nullptr;
  // Whether the top-level document may be given the program's scripts now;
  // null: always. A push is not run in a document the view was led to.
  bool (*page_trusted)() = nullptr;
};

// The filter logic: runs a script (wParam 1) or reloads the start page
// (wParam 2) on the page message, opens the developer tools on a right
// double-click when debugging is on. 1 keeps the message from the view and
// the window's own procedure.
LRESULT FilterPageMessage(const PageMessageTarget& target, UINT message, WPARAM wparam,
                          LPARAM lparam);
// Hands script to the GUI thread of window and waits until it has run there.
void SendScriptToPage(HWND window, UINT page_message, const std::string& script);

// The program's message filter over the application state, for SetMessageFilter.
LRESULT CALLBACK HostMessageFilter(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Runs "script" in the page from any thread, through the main window.
void RunInPage(const std::string& script);
