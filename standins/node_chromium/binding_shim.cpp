#include "binding_shim.h"

const char kNativeCallFunction[] = "__lumoNativeCall";
const char kScriptDoneFunction[] = "__lumoScriptDone";
const char kRunLaterFunction[] = "__lumoRunLater";
const char kCallPayloadName[] = "payload";
const char kScriptOutcomeName[] = "(taken = true, outcome)";

namespace {
// Defined once per document, before any page script runs. The call itself
// stops at a `debugger;` statement inside a function of a fixed name; the
// native side reads the call's payload out of the paused frame, so nothing a
// page script can reach carries a call, and a call is always the paused
// frame's own. Each argument goes as [type letter, value]; objects as their
// JSON text. Scripts the program runs are queued as tasks of the page's own
// event loop, so they never run inside one of the page's calls, and they
// report their outcome through a pause of their own.
const char kSupportScript[] = R"((function () {
  if (globalThis.__lumoNativeCall) return;
  var seq = 0;
  function encode(value) {
    switch (typeof value) {
      case 'string': return ['s', value];
      case 'number': return ['n', value];
      case 'boolean': return ['b', value];
      case 'undefined': return ['u'];
      case 'function': return ['s', String(value)];
      default:
        if (value === null) return ['l'];
        try { return ['o', JSON.stringify(value)]; } catch (e) { return ['s', String(value)]; }
    }
  }
  var stringify = JSON.stringify;
  // The native side reads and writes these functions' locals while paused
  // in them. A local that only the function itself uses may live where the
  // debugger cannot reach it once the function runs often enough to be
  // optimised; one an inner function refers to stays reachable.
  function __lumoNativeCall(name, args) {
    var reply, payload, callSeq;
    function reachable() { return [reply, payload, callSeq]; }
    var encoded = [];
    for (var i = 0; i < args.length; i++) encoded.push(encode(args[i]));
    seq += 1;
    callSeq = seq;
    payload = stringify([name, encoded, callSeq]);
    debugger;
    return reply;
  }
  // True when the native side took the outcome while paused here. A page
  // that has begun to navigate may not stop at all; the outcome then waits
  // in `finished` for the native side to take it.
  function __lumoScriptDone(outcome) {
    var taken = false;
    function reachable() { return [outcome, taken]; }
    debugger;
    return taken;
  }
  var finished = {};
  function __lumoTakeOutcome(id) {
    var outcome = finished[id];
    delete finished[id];
    return outcome === undefined ? null : outcome;
  }
  var jobs = [];
  var channel = new MessageChannel();
  var globalEval = eval;
  channel.port1.onmessage = function () {
    var job = jobs.shift();
    if (!job) return;
    var value, ok = false, error;
    try {
      value = globalEval(job.script);
      ok = true;
    } catch (e) {
      error = e;
    }
    var result;
    if (ok) {
      var type = typeof value;
      if (value === undefined) result = ['u'];
      else if (type === 'function' || type === 'symbol') result = ['s', String(value)];
      else result = encode(value);
    }
    var outcome = stringify([job.id, ok, result || ['u']]);
    if (!__lumoScriptDone(outcome)) finished[job.id] = outcome;
    if (!ok) throw error;
  };
  function __lumoRunLater(id, script) {
    jobs.push({id: id, script: script});
    channel.port2.postMessage(0);
    return 'queued';
  }
  Object.defineProperty(globalThis, '__lumoNativeCall', {value: __lumoNativeCall});
  Object.defineProperty(globalThis, '__lumoRunLater', {value: __lumoRunLater});
  Object.defineProperty(globalThis, '__lumoTakeOutcome', {value: __lumoTakeOutcome});
})();
)";
}  // namespace

std::string NativeCallSupportScript() { return kSupportScript; }

std::string BoundFunctionScript(const std::string& name) {
  std::string quoted = DumpJson(Json(name));
  return "(function () { var call = globalThis.__lumoNativeCall; globalThis[" + quoted +
         "] = function () { return call(" + quoted + ", arguments); }; })();\n";
}

std::string RunLaterExpression(int64_t id, const std::string& script) {
  return "(typeof globalThis.__lumoRunLater === 'function') ? globalThis.__lumoRunLater(" +
         std::to_string(id) + ", " + DumpJson(Json(script)) + ") : 'absent'";
}

std::string TakeOutcomeExpression(int64_t id) {
  return "(typeof globalThis.__lumoTakeOutcome === 'function') ? globalThis.__lumoTakeOutcome(" +
         std::to_string(id) + ") : null";
}

bool ParseNativeCallPayload(const std::string& payload, NativeCallRequest* request) {
  Json parsed = ParseJson(payload);
  if (!parsed.is_array() || parsed.size() != 3 || !parsed[0].is_string() || !parsed[1].is_array() ||
      !parsed[2].is_number_integer()) {
    return false;
  }
  request->name = parsed[0].get<std::string>();
  request->sequence = parsed[2].get<int64_t>();
  request->args.clear();
  for (const Json& argument : parsed[1]) {
    request->args.push_back(ScriptValue::FromShimArgument(argument));
  }
  return true;
}

bool ParseScriptOutcome(const std::string& text, ScriptOutcome* outcome) {
  Json parsed = ParseJson(text);
  if (!parsed.is_array() || parsed.size() != 3 || !parsed[0].is_number_integer() ||
      !parsed[1].is_boolean()) {
    return false;
  }
  outcome->id = parsed[0].get<int64_t>();
  outcome->ok = parsed[1].get<bool>();
  outcome->value =
      outcome->ok ? ScriptValue::FromShimArgument(parsed[2]) : ScriptValue::Undefined();
  return true;
}

std::string ReplyExpression(int64_t sequence, const ScriptValue& reply) {
  return "callSeq === " + std::to_string(sequence) + " && ((reply = " + reply.ToLiteral() +
         "), true)";
}
