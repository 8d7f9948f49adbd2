#pragma once
// Native functions bound with wkeJsBindFunction: process-wide, defined as
// global functions in every page, including pages that already exist.
#include <string>
#include <vector>

#include "standins/node/engine_types.h"

namespace node_standin {

struct Binding {
  std::string name;
  jsNativeFunction function = nullptr;
  void* param = nullptr;
  unsigned arg_count = 0;
};

// Adds the binding or replaces the one of the same name; returns its index.
size_t Bind(const Binding& binding);
bool FindBinding(size_t index, Binding* binding);
size_t BindingCount();

// Most bindings a process can make (the index travels in 15 bits).
constexpr size_t kMaxBindings = 1024;

}  // namespace node_standin
