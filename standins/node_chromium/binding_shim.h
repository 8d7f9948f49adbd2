#pragma once
// The page side of native functions. A small script defines each bound name
// as a page function that puts its call into a local variable and stops at a
// `debugger;` statement inside a function of a fixed name. The native side
// sees the pause, reads the call out of that very frame, runs the handler,
// writes the reply into the frame and resumes, so the page gets the handler's
// value synchronously and each reply goes to the call that asked for it.
//
// Scripts the program runs go through the same script: queued as a task of
// the page, they report their value through a pause of their own.
#include <cstdint>
#include <string>
#include <vector>

#include "protocol_json.h"
#include "script_value.h"

// The page function that pauses for a call; a pause whose top frame has this name is ours.
extern const char kNativeCallFunction[];
// The page function that pauses once a queued script has run.
extern const char kScriptDoneFunction[];
// The page function that queues a script.
extern const char kRunLaterFunction[];
// The locals the native side reads in those paused frames.
extern const char kCallPayloadName[];
// Read in the paused frame of a finished script: its outcome, marked as taken.
extern const char kScriptOutcomeName[];

// Script that defines the call machinery once per document.
std::string NativeCallSupportScript();
// Script that defines the page function `name`.
std::string BoundFunctionScript(const std::string& name);
// Expression that queues `script` as job `id`; it evaluates to "queued", or
// to "absent" in a document without the machinery.
std::string RunLaterExpression(int64_t id, const std::string& script);

// Expression that gives the outcome of job `id` once, when it finished
// without stopping to report it; null otherwise.
std::string TakeOutcomeExpression(int64_t id);

struct NativeCallRequest {
  std::string name;
  std::vector<ScriptValue> args;
  int64_t sequence = 0;  // the calling document's own count of its calls
};
// Reads a call's payload; false when it is not one of ours.
bool ParseNativeCallPayload(const std::string& payload, NativeCallRequest* request);

struct ScriptOutcome {
  int64_t id = 0;
  bool ok = false;  // false: the script threw, and the page reports it as its own error
  ScriptValue value;
};
bool ParseScriptOutcome(const std::string& text, ScriptOutcome* outcome);
// The expression evaluated in the paused frame to hand the reply over. It
// is true only in the frame of call `sequence`: the browser may name frames
// of different pauses alike, and a reply must never land in another call.
std::string ReplyExpression(int64_t sequence, const ScriptValue& reply);
