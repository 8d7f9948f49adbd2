#pragma once
// The script state of one loaded document: a fresh Duktape heap whose global
// object is the page's window, with the DOM subset, the window globals, the
// console and the bound native functions installed. A new load makes a new
// Page; nothing of the old one survives.
#include <cstdint>
#include <string>
#include <vector>

#include "duktape.h"
#include "standins/node/engine_types.h"
#include "standins/node/live_registry.h"
#include "standins/node/script_heap.h"

namespace node_standin {

class Page;

// What jsArg and friends read: the page a native call came from and its
// arguments, captured when the call began.
struct ExecState {
  Page* page = nullptr;
  std::vector<int64_t> args;
};
LiveRegistry<ExecState>& ExecStates();

class Page {
 public:
  Page(View* view, std::string url, uint32_t serial);
  ~Page();
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  // Creates the heap and installs the globals; false when the heap cannot be had.
  bool Start();
  static Page* FromContext(duk_context* context);

  View* view() const { return view_; }
  const std::string& url() const { return url_; }
  const std::string& origin() const { return origin_; }
  // location.origin of the document: its scheme, host and port, or "null".
  const std::string& web_origin() const { return web_origin_; }
  uint32_t heap_id() const { return heap_id_; }
  // The live page whose script heap has this id, or null.
  static Page* FromHeapId(uint32_t heap_id);
  uint32_t serial() const { return serial_; }
  // Index of the child frame (an iframe of the top document) this page is
  // the document of; -1 for the top document.
  int frame_index() const { return frame_index_; }
  void set_frame_index(int index) { frame_index_ = index; }
  duk_context* context() const { return heap_.context(); }
  ExecState* global_exec() { return &global_exec_; }
  ScriptHeap& heap() { return heap_; }

  // Each of these is one script entry; errors go to the console event.
  void Adopt(const std::string& tree_json);
  bool RunProgram(const std::string& source, const std::string& file, int first_line);
  int64_t Evaluate(const std::u16string& script);
  void FireTimer(uint32_t id);
  void FinishXhr(uint32_t id, long status, const std::string& text, bool failed);
  void FinishLoad();
  // The src of every iframe in the document, in document order.
  std::vector<std::string> FrameSources();
  bool DispatchInput(const char* type, const std::string& fields_json);
  std::u16string Snapshot();
  // Reads a property of the global object, or of an object this page's heap
  // keeps (see script_values.h), as the page's own script would: getters
  // run. Null `name` reads the object itself. Undefined when anything fails.
  int64_t ReadGlobal(const char* name);
  int64_t ReadKept(uint32_t ref, const char* name);
  // Defines one bound function as a global of this existing page.
  void DefineBindingLater(size_t index);

  // Reports the value at `index` (something thrown) as an uncaught error.
  void ReportError(duk_idx_t index);

 private:
  bool InstallGlobals();
  int64_t ReadProperty(bool global, uint32_t ref, const char* name);
  // Runs `work` in a protected call; a throw is reported, never fatal.
  bool RunProtected(duk_ret_t (*work)(duk_context*, void*));
  void DefineBinding(size_t index);
  bool RunBootstrap(const char* source, const char* name);
  void InstallConsole();
  // Pushes hooks[name]; false (nothing pushed) when it is missing.
  bool PushHook(const char* name);
  // Calls the function below `arg_count` pushed arguments; leaves the result
  // (undefined after an error, which is reported).
  void CallPushed(int arg_count);

  View* view_;
  std::string url_;
  std::string origin_;
  std::string web_origin_;
  uint32_t serial_;
  uint32_t heap_id_;
  int frame_index_ = -1;
  ScriptHeap heap_;
  ExecState global_exec_;
  bool hooks_ready_ = false;
  size_t pending_binding_ = 0;
  int entry_depth_ = 0;

  friend class ScriptEntry;
};

// One entry into a page's script from outside: counts the nesting for the
// view, gives the outermost entry its run deadline and, when it ends, lets
// the view repaint for what the script changed.
class ScriptEntry {
 public:
  ScriptEntry(Page* page, bool may_change_page = true);
  ~ScriptEntry();
  ScriptEntry(const ScriptEntry&) = delete;
  ScriptEntry& operator=(const ScriptEntry&) = delete;

 private:
  Page* page_;
  bool may_change_page_;
};

// Nesting beyond this (a console handler running script that logs again, and
// so on) is refused, so feedback between the host and the page ends instead
// of exhausting the stack.
constexpr int kMaxScriptNesting = 24;

}  // namespace node_standin
