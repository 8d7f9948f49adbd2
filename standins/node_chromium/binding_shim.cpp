#include "binding_shim.h"

const char kNativeBindingName[] = "__lumoNativeBinding";
const char kNativeCallFunction[] = "__lumoNativeCall";

namespace {
// `send` is captured before any page script runs, so a page that overwrites
// the global binding cannot break its own native calls. Each argument goes as
// [type letter, value]; objects as their JSON text.
const char kSupportScript[] = R"((function () {
  if (globalThis.__lumoNativeCall) return;
  var send = globalThis.__lumoNativeBinding;
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
  function __lumoNativeCall(name, args) {
    var reply;
    var encoded = [];
    for (var i = 0; i < args.length; i++) encoded.push(encode(args[i]));
    send(JSON.stringify([name, encoded]));
    debugger;
    return reply;
  }
  Object.defineProperty(globalThis, '__lumoNativeCall', {value: __lumoNativeCall});
})();
)";
}  // namespace

std::string NativeCallSupportScript() { return kSupportScript; }

std::string BoundFunctionScript(const std::string& name) {
  std::string quoted = DumpJson(Json(name));
  return "(function () { var call = globalThis.__lumoNativeCall; globalThis[" + quoted +
         "] = function () { return call(" + quoted + ", arguments); }; })();\n";
}

bool ParseNativeCallPayload(const std::string& payload, NativeCallRequest* request) {
  Json parsed = ParseJson(payload);
  if (!parsed.is_array() || parsed.size() != 2 || !parsed[0].is_string() || !parsed[1].is_array()) {
    return false;
  }
  request->name = parsed[0].get<std::string>();
  request->args.clear();
  for (const Json& argument : parsed[1]) {
    request->args.push_back(ScriptValue::FromShimArgument(argument));
  }
  return true;
}

std::string ReplyExpression(const ScriptValue& reply) { return "reply = " + reply.ToLiteral(); }
