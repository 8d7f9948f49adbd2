#pragma once
// Conversions between the script engine's values and the interface's 64-bit
// script values. Every read here uses Duktape's safe conversions, so a value
// with a throwing toString() cannot unwind through our frames.
#include <cstdint>
#include <string>

#include "duktape.h"

namespace node_standin {

int64_t ReadScriptValue(duk_context* context, duk_idx_t index);
void PushScriptValue(duk_context* context, int64_t value);
// String(value) as UTF-16, never failing.
std::u16string SafeScriptText(duk_context* context, duk_idx_t index);
// String(value) in the engine's own encoding (CESU-8), never failing.
std::string SafeScriptBytes(duk_context* context, duk_idx_t index);
void PushText(duk_context* context, const std::string& bytes);

// Objects read into script values are kept in a bounded table of their heap,
// so a host can read their properties later (jsGet) and hand them back to
// script as themselves. The oldest entry is replaced first; a value whose
// entry is gone reads as undefined.
constexpr uint32_t kKeptObjects = 1024;
void StartObjectTable(duk_context* context, uint32_t heap_id);
uint32_t HeapId(duk_context* context);
// Pushes the kept object, or nothing and false when its entry is gone.
bool PushKeptObject(duk_context* context, uint32_t ref);

}  // namespace node_standin
