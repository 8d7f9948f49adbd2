#include "standins/node/script_heap.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "standins/node/module_path.h"

namespace node_standin {
namespace {

// Each block carries its size in front, so frees and reallocations can be
// counted against the budget. Eight bytes keep the payload aligned for doubles.
constexpr size_t kHeader = 8;

std::atomic<uint32_t> g_script_time_limit_ms{10000};
std::once_flag g_limit_file_read;

// With "node_script_limit_ms.txt" beside the library, its number replaces the
// run deadline; 0 lets script run without one, as the real engine does, so
// a test can make a page that never returns hang its thread for real.
void ReadLimitFile() {
  FILE* file = _wfopen((ModuleFolder() + L"node_script_limit_ms.txt").c_str(), L"rb");
  if (file == nullptr) return;
  unsigned long limit = 0;
  if (std::fscanf(file, "%lu", &limit) == 1) g_script_time_limit_ms = static_cast<uint32_t>(limit);
  std::fclose(file);
}

void* Allocate(void* udata, duk_size_t size) {
  auto* budget = static_cast<ScriptHeap::Budget*>(udata);
  if (size > ScriptHeap::kMemoryLimit - budget->used) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof(size));
  budget->used += size;
  return block + kHeader;
}

void Free(void* udata, void* pointer) {
  if (pointer == nullptr) return;
  auto* budget = static_cast<ScriptHeap::Budget*>(udata);
  unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
  size_t size;
  std::memcpy(&size, block, sizeof(size));
  budget->used -= size;
  std::free(block);
}

void* Reallocate(void* udata, void* pointer, duk_size_t size) {
  if (pointer == nullptr) return Allocate(udata, size);
  if (size == 0) {
    Free(udata, pointer);
    return nullptr;
  }
  auto* budget = static_cast<ScriptHeap::Budget*>(udata);
  unsigned char* block = static_cast<unsigned char*>(pointer) - kHeader;
  size_t old_size;
  std::memcpy(&old_size, block, sizeof(old_size));
  if (size > old_size && size - old_size > ScriptHeap::kMemoryLimit - budget->used) return nullptr;
  auto* grown = static_cast<unsigned char*>(std::realloc(block, size + kHeader));
  if (grown == nullptr) return nullptr;
  std::memcpy(grown, &size, sizeof(size));
  budget->used = budget->used - old_size + size;
  return grown + kHeader;
}

// Reached only for an error outside every protected call, which our code
// never makes; Duktape cannot continue after it. Ending the process at once
// beats abort(), which can leave it waiting on a crash dialog.
void Fatal(void* udata, const char* message) {
  std::fprintf(stderr, "node: fatal script engine error: %s\n", message ? message : "");
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), 3);
}

}  // namespace

ScriptHeap::~ScriptHeap() {
  if (context_ != nullptr) duk_destroy_heap(context_);
}

bool ScriptHeap::Create() {
  if (context_ == nullptr) context_ = duk_create_heap(Allocate, Reallocate, Free, &budget_, Fatal);
  return context_ != nullptr;
}

void SetScriptTimeLimit(uint32_t milliseconds) { g_script_time_limit_ms = milliseconds; }
uint32_t ScriptTimeLimit() {
  std::call_once(g_limit_file_read, ReadLimitFile);
  return g_script_time_limit_ms;
}

}  // namespace node_standin

// Hooks named in the patched duk_config.h.
extern "C" int node_standin_exec_timeout(void* udata) {
  auto* budget = static_cast<node_standin::ScriptHeap::Budget*>(udata);
  return budget != nullptr && budget->deadline_ms != 0 && ::GetTickCount64() > budget->deadline_ms;
}

// True when less than kStackReserve bytes of this thread's stack are left:
// deep native recursion (nested calls through built-ins, deep JSON or regular
// expressions) then becomes a RangeError in the page instead of a crash.
extern "C" int node_standin_native_stack_low(void) {
  constexpr size_t kStackReserve = 256 * 1024;
  static thread_local uintptr_t stack_base = 0;
  char marker = 0;
  if (stack_base == 0) {
    MEMORY_BASIC_INFORMATION info;
    if (::VirtualQuery(&marker, &info, sizeof(info)) == 0) return 0;
    stack_base = reinterpret_cast<uintptr_t>(info.AllocationBase);
  }
  return reinterpret_cast<uintptr_t>(&marker) - stack_base < kStackReserve;
}
