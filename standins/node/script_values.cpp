#include "standins/node/script_values.h"

#include <cmath>

#include "standins/node/reentry.h"
#include "standins/node/text_codec.h"
#include "standins/node/value_store.h"

namespace node_standin {

thread_local int Reentry::depth_ = 0;

std::string SafeScriptBytes(duk_context* context, duk_idx_t index) {
  duk_dup(context, index);
  duk_size_t length = 0;
  const char* text = duk_safe_to_lstring(context, -1, &length);
  std::string bytes(text ? text : "", text ? length : 0);
  duk_pop(context);
  return bytes;
}

std::u16string SafeScriptText(duk_context* context, duk_idx_t index) {
  return Cesu8ToUtf16(SafeScriptBytes(context, index));
}

void PushText(duk_context* context, const std::string& bytes) {
  duk_push_lstring(context, bytes.data(), bytes.size());
}

int64_t ReadScriptValue(duk_context* context, duk_idx_t index) {
  switch (duk_get_type(context, index)) {
    case DUK_TYPE_NULL:
      return MakeNullValue();
    case DUK_TYPE_BOOLEAN:
      return MakeBooleanValue(duk_get_boolean(context, index) != 0);
    case DUK_TYPE_NUMBER: {
      double number = duk_get_number(context, index);
      bool whole = std::isfinite(number) && number == std::trunc(number) &&
                   number >= -2147483648.0 && number <= 2147483647.0 &&
                   !(number == 0 && std::signbit(number));
      if (whole) return MakeIntValue(static_cast<int>(number));
      return ValueStore::Instance().Add(
          {ValueKind::kNumber, number, SafeScriptText(context, index)});
    }
    case DUK_TYPE_STRING:
      return ValueStore::Instance().Add(
          {ValueKind::kString, std::nan(""), SafeScriptText(context, index)});
    case DUK_TYPE_NONE:
    case DUK_TYPE_UNDEFINED:
      return MakeUndefinedValue();
    default:
      return ValueStore::Instance().Add(
          {ValueKind::kObject, std::nan(""), SafeScriptText(context, index)});
  }
}

void PushScriptValue(duk_context* context, int64_t value) {
  ValueData data = ValueStore::Instance().Read(value);
  switch (data.kind) {
    case ValueKind::kUndefined:
      duk_push_undefined(context);
      break;
    case ValueKind::kNull:
      duk_push_null(context);
      break;
    case ValueKind::kBoolean:
      duk_push_boolean(context, data.number != 0);
      break;
    case ValueKind::kInt:
    case ValueKind::kNumber:
      duk_push_number(context, data.number);
      break;
    default:
      // Objects cross the interface as their text; script gets that back.
      PushText(context, Utf16ToCesu8(data.text));
      break;
  }
}

}  // namespace node_standin
