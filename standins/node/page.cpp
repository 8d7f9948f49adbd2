#include "standins/node/page.h"

#include <windows.h>

#include <atomic>

#include "standins/node/bindings.h"
#include "standins/node/bootstrap.h"
#include "standins/node/page_natives.h"
#include "standins/node/reentry.h"
#include "standins/node/script_values.h"
#include "standins/node/text_codec.h"
#include "standins/node/url_resolve.h"
#include "standins/node/value_store.h"
#include "standins/node/view.h"

namespace node_standin {
namespace {

constexpr char kPageKey[] =
    "\xFF"
    "page";
constexpr char kHooksKey[] =
    "\xFF"
    "hooks";

struct ConsoleMethod {
  const char* name;
  int level;
};
constexpr ConsoleMethod kConsoleMethods[] = {
    {"log", kConsoleLog},      {"info", kConsoleInfo},   {"debug", kConsoleDebug},
    {"warn", kConsoleWarning}, {"error", kConsoleError}, {"trace", kConsoleLog},
};

LiveRegistry<Page>& LivePages() {
  static auto* registry = new LiveRegistry<Page>();
  return *registry;
}

uint32_t NextHeapId() {
  static std::atomic<uint32_t> next{0};
  uint32_t id = ++next;
  return id != 0 ? id : ++next;
}

struct PropertyRead {
  bool global;
  uint32_t ref;
  const char* name;
  int64_t result;
};

duk_ret_t ReadPropertyUnsafe(duk_context* ctx, void* udata) {
  auto* read = static_cast<PropertyRead*>(udata);
  if (read->global) {
    duk_push_global_object(ctx);
  } else if (!PushKeptObject(ctx, read->ref)) {
    return 0;
  }
  if (read->name != nullptr) {
    PushText(ctx, Utf8ToCesu8(read->name));
    duk_get_prop(ctx, -2);
  }
  read->result = ReadScriptValue(ctx, -1);
  return 0;
}

}  // namespace

LiveRegistry<ExecState>& ExecStates() {
  static auto* registry = new LiveRegistry<ExecState>();
  return *registry;
}

ScriptEntry::ScriptEntry(Page* page, bool may_change_page)
    : page_(page), may_change_page_(may_change_page) {
  if (page_->entry_depth_++ == 0) {
    uint32_t limit = ScriptTimeLimit();
    page_->heap().SetDeadline(limit == 0 ? 0 : ::GetTickCount64() + limit);
  }
  page_->view()->EnterScript();
}

ScriptEntry::~ScriptEntry() {
  if (--page_->entry_depth_ == 0) page_->heap().SetDeadline(0);
  page_->view()->LeaveScript(may_change_page_);
}

Page::Page(View* view, std::string url, uint32_t serial)
    : view_(view),
      url_(std::move(url)),
      origin_(UrlOrigin(url_)),
      web_origin_(WebOrigin(url_)),
      serial_(serial),
      heap_id_(NextHeapId()) {
  global_exec_.page = this;
  ExecStates().Add(&global_exec_);
  LivePages().Add(this);
}

Page::~Page() {
  LivePages().Remove(this);
  ExecStates().Remove(&global_exec_);
}

Page* Page::FromHeapId(uint32_t heap_id) {
  for (Page* page : LivePages().Items()) {
    if (page->heap_id_ == heap_id) return page;
  }
  return nullptr;
}

int64_t Page::ReadGlobal(const char* name) { return ReadProperty(true, 0, name); }

int64_t Page::ReadKept(uint32_t ref, const char* name) { return ReadProperty(false, ref, name); }

int64_t Page::ReadProperty(bool global, uint32_t ref, const char* name) {
  duk_context* ctx = context();
  if (ctx == nullptr || !view_->OnOwnerThread() || view_->script_depth() >= kMaxScriptNesting) {
    return MakeUndefinedValue();
  }
  ScriptEntry entry(this);  // a getter of the page's may change it
  PropertyRead read{global, ref, name, MakeUndefinedValue()};
  duk_safe_call(ctx, ReadPropertyUnsafe, &read, 0, 1);
  duk_pop(ctx);
  return read.result;
}

Page* Page::FromContext(duk_context* context) {
  duk_push_heap_stash(context);
  duk_get_prop_string(context, -1, kPageKey);
  auto* page = static_cast<Page*>(duk_get_pointer(context, -1));
  duk_pop_2(context);
  return page;
}

bool Page::Start() {
  if (!heap_.Create()) return false;
  duk_context* ctx = context();
  duk_push_heap_stash(ctx);
  duk_push_pointer(ctx, this);
  duk_put_prop_string(ctx, -2, kPageKey);
  duk_push_object(ctx);
  duk_put_prop_string(ctx, -2, kHooksKey);
  duk_pop(ctx);
  StartObjectTable(ctx, heap_id_);
  return InstallGlobals();
}

bool Page::InstallGlobals() {
  ScriptEntry entry(this, false);
  // Protected: putting globals can throw (no memory, a property the page
  // made read-only), and a throw outside a protected call ends the process.
  return RunProtected([](duk_context* ctx, void* self) -> duk_ret_t {
    auto* page = static_cast<Page*>(self);
    PushNatives(ctx, page);  // [natives]
    page->hooks_ready_ = page->RunBootstrap(kDomBootstrap, "node:dom") &&
                         page->RunBootstrap(kWindowBootstrap, "node:window");
    duk_pop(ctx);
    page->InstallConsole();
    for (size_t i = 0; i < BindingCount(); ++i) page->DefineBinding(i);
    return 0;
  });
}

bool Page::RunProtected(duk_ret_t (*work)(duk_context*, void*)) {
  duk_context* ctx = context();
  if (ctx == nullptr) return false;
  if (duk_safe_call(ctx, work, this, 0, 1) == DUK_EXEC_SUCCESS) {
    duk_pop(ctx);
    return true;
  }
  ReportError(-1);
  duk_pop(ctx);
  return false;
}

// Runs one bootstrap text with the natives object (at the stack top) as its first argument.
bool Page::RunBootstrap(const char* source, const char* name) {
  duk_context* ctx = context();
  duk_push_string(ctx, source);
  duk_push_string(ctx, name);
  if (duk_pcompile(ctx, DUK_COMPILE_EVAL) != 0 || duk_pcall(ctx, 0) != 0) {
    ReportError(-1);
    duk_pop(ctx);
    return false;
  }
  duk_dup(ctx, -2);
  duk_push_global_object(ctx);
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kHooksKey);
  duk_remove(ctx, -2);
  bool ok = duk_pcall(ctx, 3) == 0;
  if (!ok) ReportError(-1);
  duk_pop(ctx);
  return ok;
}

void Page::InstallConsole() {
  duk_context* ctx = context();
  duk_push_object(ctx);
  for (const ConsoleMethod& method : kConsoleMethods) {
    duk_push_c_function(ctx, ConsoleNative, DUK_VARARGS);
    duk_set_magic(ctx, -1, method.level);
    duk_put_prop_string(ctx, -2, method.name);
  }
  duk_put_global_string(ctx, "console");
}

// Call inside a protected call: the page may have made the name read-only.
void Page::DefineBinding(size_t index) {
  Binding binding;
  if (!FindBinding(index, &binding) || binding.name.empty()) return;
  duk_context* ctx = context();
  duk_push_c_function(ctx, BoundFunctionNative, DUK_VARARGS);
  duk_set_magic(ctx, -1, static_cast<duk_int_t>(index));
  duk_put_global_string(ctx, binding.name.c_str());
}

void Page::DefineBindingLater(size_t index) {
  pending_binding_ = index;
  RunProtected([](duk_context*, void* self) -> duk_ret_t {
    auto* page = static_cast<Page*>(self);
    page->DefineBinding(page->pending_binding_);
    return 0;
  });
}

bool Page::PushHook(const char* name) {
  duk_context* ctx = context();
  if (!hooks_ready_) return false;
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kHooksKey);
  duk_get_prop_string(ctx, -1, name);
  duk_remove(ctx, -2);
  duk_remove(ctx, -2);
  if (duk_is_function(ctx, -1)) return true;
  duk_pop(ctx);
  return false;
}

void Page::CallPushed(int arg_count) {
  duk_context* ctx = context();
  if (duk_pcall(ctx, arg_count) != 0) {
    ReportError(-1);
    duk_pop(ctx);
    duk_push_undefined(ctx);
  }
}

void Page::ReportError(duk_idx_t index) {
  duk_context* ctx = context();
  index = duk_normalize_index(ctx, index);
  std::u16string message, stack;
  std::string source;
  unsigned line = 0;
  if (PushHook("describeError")) {
    duk_dup(ctx, index);
    if (duk_pcall(ctx, 1) == 0 && duk_is_array(ctx, -1)) {
      duk_get_prop_index(ctx, -1, 0);
      duk_get_prop_index(ctx, -2, 1);
      duk_get_prop_index(ctx, -3, 2);
      duk_get_prop_index(ctx, -4, 3);
      message = SafeScriptText(ctx, -4);
      source = Utf16ToUtf8(SafeScriptText(ctx, -3));
      line = static_cast<unsigned>(duk_get_uint(ctx, -2));
      stack = SafeScriptText(ctx, -1);
      duk_pop_n(ctx, 4);
    }
    duk_pop(ctx);
  }
  if (message.empty()) message = u"Uncaught " + SafeScriptText(ctx, index);
  if (source.empty()) source = url_;
  view_->RaiseConsole(kConsoleError, message, source, line, stack);
}

bool Page::RunProgram(const std::string& source, const std::string& file, int first_line) {
  ScriptEntry entry(this);
  duk_context* ctx = context();
  // Leading line breaks make reported lines those of the document that holds the script.
  std::string padded(first_line > 1 ? static_cast<size_t>(first_line - 1) : 0, '\n');
  padded += source;
  PushText(ctx, padded);
  PushText(ctx, file);
  bool ok = duk_pcompile(ctx, 0) == 0 && duk_pcall(ctx, 0) == 0;
  if (!ok) ReportError(-1);
  duk_pop(ctx);
  return ok;
}

int64_t Page::Evaluate(const std::u16string& script) {
  ScriptEntry entry(this);
  duk_context* ctx = context();
  PushText(ctx, Utf16ToCesu8(script));
  PushText(ctx, url_);
  int64_t result = MakeUndefinedValue();
  if (duk_pcompile(ctx, DUK_COMPILE_EVAL) == 0 && duk_pcall(ctx, 0) == 0) {
    result = ReadScriptValue(ctx, -1);
  } else {
    ReportError(-1);
  }
  duk_pop(ctx);
  return result;
}

void Page::Adopt(const std::string& tree_json) {
  ScriptEntry entry(this);
  if (!PushHook("buildDocument")) return;
  PushText(context(), tree_json);
  CallPushed(1);
  duk_pop(context());
}

void Page::FireTimer(uint32_t id) {
  ScriptEntry entry(this);
  if (!PushHook("fireTimer")) return;
  duk_push_uint(context(), id);
  CallPushed(1);
  duk_pop(context());
}

void Page::FinishXhr(uint32_t id, long status, const std::string& text, bool failed) {
  ScriptEntry entry(this);
  if (!PushHook("xhrDone")) return;
  duk_context* ctx = context();
  duk_push_uint(ctx, id);
  duk_push_int(ctx, static_cast<duk_int_t>(status));
  PushText(ctx, text);
  duk_push_boolean(ctx, failed);
  CallPushed(4);
  duk_pop(ctx);
}

void Page::FinishLoad() {
  ScriptEntry entry(this);
  if (!PushHook("finishLoad")) return;
  CallPushed(0);
  duk_pop(context());
}

std::vector<std::string> Page::FrameSources() {
  std::vector<std::string> sources;
  ScriptEntry entry(this, false);
  if (!PushHook("frameSources")) return sources;
  duk_context* ctx = context();
  CallPushed(0);
  if (duk_is_array(ctx, -1)) {
    duk_size_t count = duk_get_length(ctx, -1);
    for (duk_size_t i = 0; i < count; ++i) {
      duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(i));
      sources.push_back(SafeScriptBytes(ctx, -1));
      duk_pop(ctx);
    }
  }
  duk_pop(ctx);
  return sources;
}

bool Page::DispatchInput(const char* type, const std::string& fields_json) {
  ScriptEntry entry(this);
  if (!PushHook("input")) return false;
  duk_context* ctx = context();
  duk_push_string(ctx, type);
  PushText(ctx, fields_json);
  CallPushed(2);
  bool consumed = duk_to_boolean(ctx, -1) != 0;
  duk_pop(ctx);
  return consumed;
}

std::u16string Page::Snapshot() {
  ScriptEntry entry(this, false);
  if (!PushHook("snapshot")) return u"";
  CallPushed(0);
  std::u16string snapshot = SafeScriptText(context(), -1);
  duk_pop(context());
  return snapshot;
}

}  // namespace node_standin
