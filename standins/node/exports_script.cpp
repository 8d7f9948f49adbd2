// The engine's script functions: running script, engine strings, bound
// functions and script values.
#include <string>

#include "standins/node/bindings.h"
#include "standins/node/exports.h"
#include "standins/node/http_fetch.h"
#include "standins/node/page.h"
#include "standins/node/script_heap.h"
#include "standins/node/value_store.h"
#include "standins/node/view.h"

using namespace node_standin;

namespace {

std::u16string Wide(const wchar_t* text) {
  return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

const wchar_t* WidePointer(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

ExecState* LiveExec(jsExecState state) { return ExecStates().Contains(state) ? state : nullptr; }

}  // namespace

NODE_API jsValue __cdecl wkeRunJSW(wkeWebView handle, const wchar_t* script) {
  View* view = LiveView(handle);
  jsValue result =
      view != nullptr && script != nullptr ? view->RunScript(Wide(script)) : MakeUndefinedValue();
  View::ReapDestroyed();
  return result;
}

NODE_API jsExecState __cdecl wkeGlobalExec(wkeWebView handle) {
  View* view = LiveView(handle);
  return view ? view->GlobalExec() : nullptr;
}

NODE_API const wchar_t* __cdecl wkeGetStringW(wkeString text) {
  if (!EngineStrings().Contains(text)) return L"";
  return WidePointer(text->text.c_str());
}

NODE_API void __cdecl wkeJsBindFunction(const char* name, jsNativeFunction function, void* param,
                                        unsigned arg_count) {
  if (name == nullptr || *name == '\0') return;
  size_t index = Bind(Binding{name, function, param, arg_count});
  if (index >= kMaxBindings) return;
  // Pages that exist already get the function too.
  for (View* view : View::Registry().Items()) view->DefineBinding(index);
}

NODE_API jsValue __cdecl jsArg(jsExecState state, int index) {
  ExecState* exec = LiveExec(state);
  if (exec == nullptr || index < 0 || static_cast<size_t>(index) >= exec->args.size()) {
    return MakeUndefinedValue();
  }
  return exec->args[index];
}

NODE_API const wchar_t* __cdecl jsToTempStringW(jsExecState, jsValue value) {
  return WidePointer(KeepTempText(ValueText(ValueStore::Instance().Read(value))));
}

NODE_API int __cdecl jsToInt(jsExecState, jsValue value) {
  return ValueInt(ValueStore::Instance().Read(value));
}

NODE_API jsValue __cdecl jsUndefined() { return MakeUndefinedValue(); }
NODE_API jsValue __cdecl jsFalse() { return MakeBooleanValue(false); }
NODE_API jsValue __cdecl jsInt(int value) { return MakeIntValue(value); }
NODE_API jsValue __cdecl jsBoolean(unsigned value) { return MakeBooleanValue(BoolSlot(value)); }

NODE_API jsValue __cdecl jsStringW(jsExecState, const wchar_t* text) {
  ValueData data;
  data.kind = ValueKind::kString;
  data.number = 0;
  data.text = Wide(text);
  return ValueStore::Instance().Add(std::move(data));
}

// The global object and its properties of the document an execution state
// belongs to: for a bound function's call, the document whose script called
// it, so a host can ask who is calling.
NODE_API jsValue __cdecl jsGetGlobal(jsExecState state, const char* name) {
  ExecState* exec = LiveExec(state);
  if (exec == nullptr || exec->page == nullptr || name == nullptr) return MakeUndefinedValue();
  return exec->page->ReadGlobal(name);
}

NODE_API jsValue __cdecl jsGlobalObject(jsExecState state) {
  ExecState* exec = LiveExec(state);
  if (exec == nullptr || exec->page == nullptr) return MakeUndefinedValue();
  return exec->page->ReadGlobal(nullptr);
}

// Objects are read in the heap that holds them, whichever state is passed.
NODE_API jsValue __cdecl jsGet(jsExecState state, jsValue object, const char* name) {
  if (LiveExec(state) == nullptr || name == nullptr) return MakeUndefinedValue();
  ValueData data = ValueStore::Instance().Read(object);
  if (data.kind != ValueKind::kObject || data.heap == 0) return MakeUndefinedValue();
  Page* page = Page::FromHeapId(data.heap);
  return page != nullptr ? page->ReadKept(data.ref, name) : MakeUndefinedValue();
}

NODE_API wkeWebView __cdecl jsGetWebView(jsExecState state) {
  ExecState* exec = LiveExec(state);
  if (exec == nullptr || exec->page == nullptr) return nullptr;
  View* view = exec->page->view();
  return LiveView(view);
}

NODE_API void __cdecl nodeStandinSetFetchTimeout(unsigned milliseconds) {
  SetFetchTimeout(milliseconds);
}

NODE_API void __cdecl nodeStandinSetScriptTimeLimit(unsigned milliseconds) {
  SetScriptTimeLimit(milliseconds);
}
