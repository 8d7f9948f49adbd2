#pragma once
// The native functions a page's script reaches: the console, timers,
// requests, storage, navigation, the HTML scanner and the host's bound
// functions. Each reads its arguments with safe conversions only, so a
// hostile argument cannot unwind the stack through C++ frames.
#include "duktape.h"

namespace node_standin {

class Page;

// Pushes the object the bootstraps receive as `native`.
void PushNatives(duk_context* context, Page* page);
// console.log and friends; the level travels as the function's magic.
duk_ret_t ConsoleNative(duk_context* context);
// A host function bound with wkeJsBindFunction; its index is the magic.
duk_ret_t BoundFunctionNative(duk_context* context);

}  // namespace node_standin
