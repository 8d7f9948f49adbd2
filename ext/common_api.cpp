#include "ext/common_api.h"

#include "ext/runtime_library.h"

const CommonApi& Common() {
  static const CommonApi api = [] {
    static RuntimeLibrary library("common.dll");
    CommonApi table;
    COMMON_DLL_FUNCTIONS(LUMO_FIND_FUNCTION)
    return table;
  }();
  return api;
}
