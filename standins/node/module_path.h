#pragma once
// Where this DLL lives, for loading its neighbours, and the module handle its
// window class is registered with.
#include <windows.h>

#include <string>

namespace node_standin {

HMODULE ThisModule();
// The folder of node.dll with a trailing backslash.
std::wstring ModuleFolder();
// Keeps node.dll loaded until the process ends; request threads that may
// outlive a view run code of this DLL.
void PinThisModule();

}  // namespace node_standin
