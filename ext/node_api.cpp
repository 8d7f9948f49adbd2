#include "ext/node_api.h"

#include <atomic>

namespace {

std::atomic<const NodeApi*> test_table{nullptr};

const NodeApi& LibraryTable() {
  static const NodeApi api = [] {
    // Never freed: the engine stays loaded until the process ends, so a view
    // still bound while static objects are destroyed can be let go safely.
    static RuntimeLibrary& library = *new RuntimeLibrary("node.dll");
    NodeApi table;
    NODE_DLL_FUNCTIONS(LUMO_FIND_FUNCTION)
    return table;
  }();
  return api;
}

}  // namespace

const NodeApi& Node() {
  const NodeApi* replacement = test_table.load();
  return replacement ? *replacement : LibraryTable();
}

void SetNodeApiForTest(const NodeApi* table) { test_table.store(table); }
