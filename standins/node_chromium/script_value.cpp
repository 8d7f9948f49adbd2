#include "script_value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <deque>
#include <map>
#include <mutex>

namespace {

// The high word says what the low word holds.
enum Tag : uint32_t { kTagUndefined = 1, kTagNull, kTagBool, kTagInt, kTagTable };

jsValue Encode(Tag tag, uint32_t payload) {
  return static_cast<jsValue>((static_cast<uint64_t>(tag) << 32) | payload);
}

class ValueTable {
 public:
  uint32_t Add(const ScriptValue& value) {
    std::lock_guard<std::mutex> lock(lock_);
    uint32_t serial = ++last_serial_;
    entries_[serial] = value;
    order_.push_back(serial);
    while (order_.size() > kValueTableCapacity) {
      entries_.erase(order_.front());
      order_.pop_front();
    }
    return serial;
  }
  ScriptValue Get(uint32_t serial) {
    std::lock_guard<std::mutex> lock(lock_);
    auto found = entries_.find(serial);
    return found == entries_.end() ? ScriptValue() : found->second;
  }

 private:
  std::mutex lock_;
  uint32_t last_serial_ = 0;
  std::map<uint32_t, ScriptValue> entries_;
  std::deque<uint32_t> order_;
};

ValueTable& Table() {
  static ValueTable table;
  return table;
}

bool IsInt32(double value) {
  return std::isfinite(value) && value == std::floor(value) && value >= -2147483648.0 &&
         value <= 2147483647.0 && !(value == 0 && std::signbit(value));
}

// Number to text the way the script language prints it, for the usual cases.
std::wstring NumberText(double value) {
  if (std::isnan(value)) return L"NaN";
  if (std::isinf(value)) return value > 0 ? L"Infinity" : L"-Infinity";
  if (value == 0) return L"0";
  char buffer[40];
  // Whole numbers print in full up to 1e21, where the script switches to exponents.
  if (value == std::floor(value) && std::fabs(value) < 1e21) {
    snprintf(buffer, sizeof(buffer), "%.0f", value);
    return Utf8ToWide(buffer);
  }
  for (int precision = 1; precision <= 17; ++precision) {
    snprintf(buffer, sizeof(buffer), "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return Utf8ToWide(buffer);
}

double TextToNumber(const std::wstring& text) {
  const wchar_t* begin = text.c_str();
  while (*begin && iswspace(*begin)) ++begin;
  std::wstring trimmed(begin);
  while (!trimmed.empty() && iswspace(trimmed.back())) trimmed.pop_back();
  if (trimmed.empty()) return 0;
  wchar_t* end = nullptr;
  double value = (trimmed.size() > 2 && trimmed[0] == L'0' && (trimmed[1] | 0x20) == L'x')
                     ? static_cast<double>(wcstoll(trimmed.c_str() + 2, &end, 16))
                     : wcstod(trimmed.c_str(), &end);
  return end && *end == 0 ? value : NAN;
}

int32_t ToInt32(double value) {
  if (!std::isfinite(value)) return 0;
  double truncated = std::trunc(value);
  double wrapped = std::fmod(truncated, 4294967296.0);
  if (wrapped < 0) wrapped += 4294967296.0;
  return static_cast<int32_t>(static_cast<uint32_t>(wrapped));
}

}  // namespace

ScriptValue ScriptValue::Null() {
  ScriptValue value;
  value.kind = Kind::kNull;
  return value;
}
ScriptValue ScriptValue::Bool(bool flag) {
  ScriptValue value;
  value.kind = Kind::kBool;
  value.number = flag ? 1 : 0;
  return value;
}
ScriptValue ScriptValue::Int(int number) {
  ScriptValue value;
  value.kind = Kind::kInt;
  value.number = number;
  return value;
}
ScriptValue ScriptValue::Number(double number) {
  if (IsInt32(number)) return Int(static_cast<int>(number));
  ScriptValue value;
  value.kind = Kind::kNumber;
  value.number = number;
  return value;
}
ScriptValue ScriptValue::String(std::wstring text) {
  ScriptValue value;
  value.kind = Kind::kString;
  value.text = std::move(text);
  return value;
}
ScriptValue ScriptValue::Object(std::string json) {
  ScriptValue value;
  value.kind = Kind::kObject;
  value.json = std::move(json);
  return value;
}

ScriptValue ScriptValue::FromRemoteObject(const Json& remote) {
  std::string type = StringMember(remote, "type");
  const Json& value = Member(remote, "value");
  if (type == "number") {
    if (value.is_number()) return Number(value.get<double>());
    std::string special = StringMember(remote, "unserializableValue");
    if (special == "-0") return Number(-0.0);
    if (special == "Infinity") return Number(INFINITY);
    if (special == "-Infinity") return Number(-INFINITY);
    return Number(NAN);
  }
  if (type == "string")
    return String(Utf8ToWide(value.is_string() ? value.get<std::string>() : ""));
  if (type == "boolean") return Bool(value.is_boolean() && value.get<bool>());
  if (type == "object") {
    if (StringMember(remote, "subtype") == "null" || value.is_null()) return Null();
    return Object(DumpJson(value));
  }
  if (type == "bigint") return String(Utf8ToWide(StringMember(remote, "unserializableValue")));
  if (type == "function" || type == "symbol") {
    return String(Utf8ToWide(StringMember(remote, "description")));
  }
  return Undefined();
}

ScriptValue ScriptValue::FromRemoteReference(const Json& remote) {
  std::string id = StringMember(remote, "objectId");
  std::string type = StringMember(remote, "type");
  if (id.empty() || (type != "object" && type != "function")) return FromRemoteObject(remote);
  ScriptValue value = Object(std::string());
  value.remote_id = id;
  return value;
}

ScriptValue ScriptValue::FromJson(const Json& value) {
  if (value.is_string()) return String(Utf8ToWide(value.get<std::string>()));
  if (value.is_boolean()) return Bool(value.get<bool>());
  if (value.is_number()) return Number(value.get<double>());
  if (value.is_null()) return Null();
  if (value.is_object() || value.is_array()) return Object(DumpJson(value));
  return Undefined();
}

ScriptValue ScriptValue::FromShimArgument(const Json& encoded) {
  if (!encoded.is_array() || encoded.empty() || !encoded[0].is_string()) return Undefined();
  std::string type = encoded[0].get<std::string>();
  Json value = encoded.size() > 1 ? encoded[1] : Json();
  if (type == "s" && value.is_string()) return String(Utf8ToWide(value.get<std::string>()));
  if (type == "n" && value.is_number()) return Number(value.get<double>());
  if (type == "n") return Number(NAN);  // NaN and the infinities travel as null
  if (type == "b" && value.is_boolean()) return Bool(value.get<bool>());
  if (type == "l") return Null();
  if (type == "o" && value.is_string()) return Object(value.get<std::string>());
  return Undefined();
}

int ScriptValue::ToInt() const {
  switch (kind) {
    case Kind::kBool:
    case Kind::kInt:
    case Kind::kNumber:
      return ToInt32(number);
    case Kind::kString:
      return ToInt32(TextToNumber(text));
    default:
      return 0;
  }
}

std::wstring ScriptValue::ToText() const {
  switch (kind) {
    case Kind::kUndefined:
      return L"undefined";
    case Kind::kNull:
      return L"null";
    case Kind::kBool:
      return number != 0 ? L"true" : L"false";
    case Kind::kInt:
    case Kind::kNumber:
      return NumberText(number);
    case Kind::kString:
      return text;
    case Kind::kObject: {
      Json parsed = ParseJson(json);
      return parsed.is_array() ? Utf8ToWide(json) : L"[object Object]";
    }
  }
  return std::wstring();
}

std::string ScriptValue::ToLiteral() const {
  switch (kind) {
    case Kind::kUndefined:
      return "undefined";
    case Kind::kNull:
      return "null";
    case Kind::kBool:
      return number != 0 ? "true" : "false";
    case Kind::kInt:
    case Kind::kNumber:
      return std::isfinite(number) ? WideToUtf8(NumberText(number))
                                   : "(" + WideToUtf8(NumberText(number)) + ")";
    case Kind::kString:
      return DumpJson(Json(WideToUtf8(text)));
    case Kind::kObject:
      return ParseJson(json).is_discarded() ? "undefined" : "(" + json + ")";
  }
  return "undefined";
}

jsValue StoreValue(const ScriptValue& value) {
  switch (value.kind) {
    case ScriptValue::Kind::kUndefined:
      return Encode(kTagUndefined, 0);
    case ScriptValue::Kind::kNull:
      return Encode(kTagNull, 0);
    case ScriptValue::Kind::kBool:
      return Encode(kTagBool, value.number != 0 ? 1 : 0);
    case ScriptValue::Kind::kInt:
      return Encode(kTagInt, static_cast<uint32_t>(static_cast<int32_t>(value.number)));
    default:
      return Encode(kTagTable, Table().Add(value));
  }
}

ScriptValue LoadValue(jsValue handle) {
  uint32_t tag = static_cast<uint32_t>(static_cast<uint64_t>(handle) >> 32);
  uint32_t payload = static_cast<uint32_t>(handle);
  switch (tag) {
    case kTagNull:
      return ScriptValue::Null();
    case kTagBool:
      return ScriptValue::Bool(payload != 0);
    case kTagInt:
      return ScriptValue::Int(static_cast<int32_t>(payload));
    case kTagTable:
      return Table().Get(payload);
    default:
      return ScriptValue::Undefined();
  }
}
