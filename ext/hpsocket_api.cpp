#include "ext/hpsocket_api.h"

#include "ext/runtime_library.h"

const HpSocketApi& HpSocket() {
  static const HpSocketApi api = [] {
    static RuntimeLibrary library("HPSocket4C.dll");
    HpSocketApi table;
    HPSOCKET_DLL_FUNCTIONS(LUMO_FIND_FUNCTION)
    return table;
  }();
  return api;
}
