#pragma once
// The companion library common.dll: standard call, every text a NUL-terminated
// code page 936 string.
#include <windows.h>

#include "ext/runtime_library.h"

#define COMMON_DLL_FUNCTIONS(X)                                                                   \
  X(fun_GetPCName, const char*(__stdcall*)())                                                     \
  X(_fun_update, int(__stdcall*)(const char*, const char*, const char*, const char*, const char*, \
                                 const char*, const char*, const char*, const char*))             \
  X(_fun_msg, const char*(__stdcall*)(const char*, const char*, const char*, const char*))

struct CommonApi {
  COMMON_DLL_FUNCTIONS(LUMO_DECLARE_FUNCTION_POINTER)
};

// The functions of common.dll, looked up on first use; a missing library or
// function leaves its pointer null.
const CommonApi& Common();
