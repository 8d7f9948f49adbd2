#pragma once
// The page side of native functions. One DevTools binding carries every call;
// a small script defines each bound name as a page function that sends its
// arguments through the binding and then stops at a `debugger;` statement
// inside a function of a fixed name. The native side sees the pause, runs the
// handler, writes the reply into the paused frame and resumes, so the page
// gets the handler's value synchronously.
#include <string>
#include <vector>

#include "protocol_json.h"
#include "script_value.h"

// The DevTools binding every call goes through.
extern const char kNativeBindingName[];
// The page function that pauses; a pause whose top frame has this name is ours.
extern const char kNativeCallFunction[];

// Script that defines the call machinery once per document.
std::string NativeCallSupportScript();
// Script that defines the page function `name`.
std::string BoundFunctionScript(const std::string& name);

struct NativeCallRequest {
  std::string name;
  std::vector<ScriptValue> args;
};
// Reads a binding payload; false when it is not one of ours.
bool ParseNativeCallPayload(const std::string& payload, NativeCallRequest* request);
// The expression evaluated in the paused frame to hand the reply over.
std::string ReplyExpression(const ScriptValue& reply);
