#pragma once
// The native commands the page calls through "serverJS" with a JSON envelope:
// group "window" (the main window) and group "sys" (shell, config, processes).
#include <windows.h>

#include <string>

#include "ext/node_api.h"

// The handler bound as "serverJS": runs the command synchronously on the GUI
// thread and returns its reply (false for a missing or unreadable envelope,
// undefined for an unknown command).
jsValue __cdecl PageCommandHandler(jsExecState state);

// ShellExecuteA "open" with no owner and no directory; empty texts pass as
// no value. The result greater than 32 means success.
INT_PTR OpenWithShell(const std::string& file, const std::string& parameters, int show);
// Id of the first process whose executable name equals `name` (ASCII letters
// compared without case), or -1.
int FindProcessId(const std::string& name);

// Seam for tests: the ShellExecuteA the commands call.
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
void SetShellExecuteForTest(ShellExecuteFunction function);
