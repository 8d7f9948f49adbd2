#include "standins/node/bindings.h"

#include <mutex>

namespace node_standin {
namespace {

std::mutex g_mutex;
std::vector<Binding>& All() {
  static auto* all = new std::vector<Binding>();
  return *all;
}

}  // namespace

size_t Bind(const Binding& binding) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (size_t i = 0; i < All().size(); ++i) {
    if (All()[i].name == binding.name) {
      All()[i] = binding;
      return i;
    }
  }
  if (All().size() >= kMaxBindings) return kMaxBindings;
  All().push_back(binding);
  return All().size() - 1;
}

bool FindBinding(size_t index, Binding* binding) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (index >= All().size()) return false;
  *binding = All()[index];
  return true;
}

size_t BindingCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return All().size();
}

}  // namespace node_standin
