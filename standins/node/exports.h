#pragma once
// How node.dll exports its functions: plain names, C calling convention.
#include "standins/node/engine_types.h"

#define NODE_API extern "C" __declspec(dllexport)

namespace node_standin {

// The view behind a handle from the host, or null for null, stale and
// foreign handles.
View* LiveView(wkeWebView view);

// The low byte of a 4-byte bool slot: callers may leave garbage above it.
inline bool BoolSlot(unsigned slot) { return (slot & 0xFF) != 0; }

}  // namespace node_standin
