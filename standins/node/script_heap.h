#pragma once
// One Duktape heap: the script state of one loaded page. The heap counts its
// own memory, so a page that allocates without end gets a script error
// instead of exhausting the process, and carries a run deadline, so a script
// that never returns is stopped.
#include <cstddef>
#include <cstdint>

#include "duktape.h"

namespace node_standin {

class ScriptHeap {
 public:
  ScriptHeap() = default;
  ~ScriptHeap();
  ScriptHeap(const ScriptHeap&) = delete;
  ScriptHeap& operator=(const ScriptHeap&) = delete;

  bool Create();
  duk_context* context() const { return context_; }

  // Script started from outside runs until this many milliseconds of tick
  // count; 0 means no deadline. Only the outermost entry sets it.
  void SetDeadline(uint64_t tick_ms) { budget_.deadline_ms = tick_ms; }
  uint64_t deadline() const { return budget_.deadline_ms; }

  // Bytes one page's script state may hold.
  static constexpr size_t kMemoryLimit = 512u * 1024 * 1024;

  struct Budget {
    size_t used = 0;
    uint64_t deadline_ms = 0;
  };

 private:
  Budget budget_;
  duk_context* context_ = nullptr;
};

// How long one script entry (a page script, a timer, a call of wkeRunJSW) may
// run before it is stopped with an error; changeable for tests (0: no limit;
// "node_script_limit_ms.txt" beside the library sets it for a whole run).
void SetScriptTimeLimit(uint32_t milliseconds);
uint32_t ScriptTimeLimit();

}  // namespace node_standin
