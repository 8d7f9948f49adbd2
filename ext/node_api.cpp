#include "ext/node_api.h"

#include <atomic>

namespace {

std::atomic<const NodeApi*> test_table{nullptr};

const NodeApi& LibraryTable() {
  static const NodeApi api = [] {
    static RuntimeLibrary library("node.dll");
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
