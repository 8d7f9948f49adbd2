#pragma once
// Script values as the engine interface hands them out: 64-bit numbers.
// Small values (integers, booleans, undefined, null) are encoded in the number
// itself; strings, fractional numbers and objects live in a bounded table and
// the number names their entry. An evicted or unknown number reads as
// undefined, never as another value.
#include <cstdint>
#include <string>

#include "protocol_json.h"

using jsValue = int64_t;

struct ScriptValue {
  enum class Kind { kUndefined, kNull, kBool, kInt, kNumber, kString, kObject };
  Kind kind = Kind::kUndefined;
  double number = 0;  // kBool (0/1), kInt, kNumber
  std::wstring text;  // kString
  std::string json;   // kObject: the value as JSON text
  // kObject held in the page rather than copied: the browser's name for it,
  // valid while the call that read it lasts.
  std::string remote_id;

  static ScriptValue Undefined() { return ScriptValue(); }
  static ScriptValue Null();
  static ScriptValue Bool(bool value);
  static ScriptValue Int(int value);
  static ScriptValue Number(double value);
  static ScriptValue String(std::wstring value);
  static ScriptValue Object(std::string json);

  // From a DevTools RemoteObject returned by value.
  static ScriptValue FromRemoteObject(const Json& remote);
  // From a DevTools RemoteObject returned by reference: objects keep their id.
  static ScriptValue FromRemoteReference(const Json& remote);
  // From a member of an object copied as JSON.
  static ScriptValue FromJson(const Json& value);
  // From an argument as the page-side shim encodes it: [type letter, value].
  static ScriptValue FromShimArgument(const Json& encoded);

  // The script's own conversions: ToInt32 and ToString.
  int ToInt() const;
  std::wstring ToText() const;
  // Script source that evaluates to this value.
  std::string ToLiteral() const;
};

// Encodes a value as a jsValue, storing it in the table when needed.
jsValue StoreValue(const ScriptValue& value);
// Decodes a jsValue; unknown and evicted numbers give undefined.
ScriptValue LoadValue(jsValue handle);
// How many table entries are kept before the oldest are dropped.
constexpr size_t kValueTableCapacity = 4096;
