#include "standins/node/script_values.h"

#include <cmath>

#include "standins/node/reentry.h"
#include "standins/node/text_codec.h"
#include "standins/node/value_store.h"

namespace node_standin {

thread_local int Reentry::depth_ = 0;

namespace {

constexpr char kHeapIdKey[] =
    "\xFF"
    "heapId";
constexpr char kObjectsKey[] =
    "\xFF"
    "kept";
constexpr char kNextRefKey[] =
    "\xFF"
    "nextKept";

// [object] -> [ref]; inside a protected call, as putting can fail.
// A safe call sees the caller's whole frame, so the object is found from the top.
duk_ret_t KeepObjectUnsafe(duk_context* context, void*) {
  duk_idx_t object = duk_get_top(context) - 1;
  duk_push_heap_stash(context);
  duk_get_prop_string(context, -1, kNextRefKey);
  uint32_t ref = duk_get_uint_default(context, -1, 0) + 1;
  if (ref == 0) ref = 1;
  duk_pop(context);
  duk_push_uint(context, ref);
  duk_put_prop_string(context, -2, kNextRefKey);
  duk_get_prop_string(context, -1, kObjectsKey);
  if (!duk_is_object(context, -1)) return DUK_RET_ERROR;
  duk_push_array(context);  // [object stash table entry]: the entry names its ref
  duk_push_uint(context, ref);
  duk_put_prop_index(context, -2, 0);
  duk_dup(context, object);
  duk_put_prop_index(context, -2, 1);
  duk_put_prop_index(context, -2, ref % kKeptObjects);
  duk_pop_2(context);
  duk_push_uint(context, ref);
  return 1;
}

uint32_t KeepObject(duk_context* context, duk_idx_t index) {
  if (HeapId(context) == 0) return 0;
  duk_dup(context, index);
  uint32_t ref = 0;
  if (duk_safe_call(context, KeepObjectUnsafe, nullptr, 1, 1) == DUK_EXEC_SUCCESS) {
    ref = duk_get_uint_default(context, -1, 0);
  }
  duk_pop(context);
  return ref;
}

}  // namespace

void StartObjectTable(duk_context* context, uint32_t heap_id) {
  duk_push_heap_stash(context);
  duk_push_uint(context, heap_id);
  duk_put_prop_string(context, -2, kHeapIdKey);
  duk_push_array(context);
  duk_put_prop_string(context, -2, kObjectsKey);
  duk_pop(context);
}

uint32_t HeapId(duk_context* context) {
  duk_push_heap_stash(context);
  duk_get_prop_string(context, -1, kHeapIdKey);
  uint32_t id = duk_get_uint_default(context, -1, 0);
  duk_pop_2(context);
  return id;
}

bool PushKeptObject(duk_context* context, uint32_t ref) {
  if (ref == 0) return false;
  duk_idx_t base = duk_get_top(context);
  duk_push_heap_stash(context);
  duk_get_prop_string(context, -1, kObjectsKey);
  bool found = false;
  if (duk_is_object(context, -1)) {
    duk_get_prop_index(context, -1, ref % kKeptObjects);
    if (duk_is_object(context, -1)) {
      duk_get_prop_index(context, -1, 0);
      found = duk_get_uint_default(context, -1, 0) == ref;
      duk_pop(context);
      if (found) duk_get_prop_index(context, -1, 1);
    }
  }
  if (found) duk_replace(context, base);
  duk_set_top(context, found ? base + 1 : base);
  return found;
}

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
    default: {
      ValueData data{ValueKind::kObject, std::nan(""), SafeScriptText(context, index)};
      data.heap = HeapId(context);
      data.ref = KeepObject(context, index);
      return ValueStore::Instance().Add(std::move(data));
    }
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
    case ValueKind::kObject:
      // An object of this heap that is still kept goes back as itself.
      if (data.heap != 0 && data.heap == HeapId(context) && PushKeptObject(context, data.ref))
        break;
      PushText(context, Utf16ToCesu8(data.text));
      break;
    default:
      // Other objects cross the interface as their text; script gets that back.
      PushText(context, Utf16ToCesu8(data.text));
      break;
  }
}

}  // namespace node_standin
