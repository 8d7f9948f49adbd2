#include "page/script_bridge.h"

#include "app/app_state.h"
#include "log/log_file.h"
#include "page/engine_call.h"
#include "page/engine_text.h"
#include "page/page_host.h"

namespace {

// A filter result that keeps the message from the view and the window.
constexpr LRESULT kConsumed = 1;
constexpr LRESULT kPassOn = 0;

// The developer tools open when key "debug" of section "local" is exactly this.
constexpr char kDebugOn[] = "1";
constexpr char kDevToolsSetting[] = "showDevTools";
constexpr char kDevToolsPage[] = "front_end\\inspector.html";

LRESULT RunScriptMessage(const PageMessageTarget& target, LPARAM lparam) {
  PageHost& host = *target.host;
  const char* script = reinterpret_cast<const char*>(lparam);
  // A send without text has nothing to run; answering here keeps a null
  // address away from the conversion.
  if (script == nullptr) return kConsumed;
  if (target.page_trusted != nullptr && !target.page_trusted()) {
    // The sale data is for the back office's page only; the page is loaded
    // again meanwhile and gets the pushes that follow.
    WriteLog("WKE", "page not on its origin, script not run");
    return kConsumed;
  }
  jsExecState state = host.GlobalExec();
  jsValue value = host.RunScript(script);
  return CallEngine(Node().jsToInt, state, value);
}

}  // namespace

jsValue __cdecl BoundFunctionDispatcher(jsExecState state, void* param) {
  if (param == nullptr) return ReturnUndefined();
  return reinterpret_cast<BoundHandler>(param)(state);
}

void BindFunction(const char* name, BoundHandler handler, unsigned argument_count) {
  CallEngine(Node().wkeJsBindFunction, name, &BoundFunctionDispatcher,
             reinterpret_cast<void*>(handler), argument_count);
}

std::string ArgText(jsExecState state, int index) {
  const NodeApi& node = Node();
  jsValue argument = CallEngine(node.jsArg, state, index);
  return TextOf(CallEngine(node.jsToTempStringW, state, argument));
}

jsValue ReturnFalse() { return CallEngine(Node().jsFalse); }
jsValue ReturnUndefined() { return CallEngine(Node().jsUndefined); }
jsValue ReturnInt(int value) { return CallEngine(Node().jsInt, value); }
jsValue ReturnText(jsExecState state, const std::string& text) {
  return CallEngine(Node().jsStringW, state, EngineText(text).c_str());
}
jsValue ReturnBool(bool value) { return CallEngine(Node().jsBoolean, value); }

LRESULT FilterPageMessage(const PageMessageTarget& target, UINT message, WPARAM wparam,
                          LPARAM lparam) {
  if (target.host == nullptr) return kPassOn;
  if (target.page_message != 0 && message == target.page_message) {
    if (wparam == kPageRunScript) return RunScriptMessage(target, lparam);
    if (wparam == kPageReload) target.host->Load(target.page_url);
    return kConsumed;
  }
  if (message == WM_RBUTTONDBLCLK) {
    // Passed on in every case, so the double click also reaches the page.
    if (target.read_debug_setting != nullptr && target.read_debug_setting() == kDebugOn) {
      target.host->SetDebugConfig(kDevToolsSetting, target.run_directory + kDevToolsPage);
    }
  }
  return kPassOn;
}

void SendScriptToPage(HWND window, UINT page_message, const std::string& script) {
  ::SendMessageA(window, page_message, kPageRunScript, reinterpret_cast<LPARAM>(script.c_str()));
}
