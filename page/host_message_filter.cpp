// The page message and the script hand-over over the application state. Kept
// apart from the bridge so that code using the bridge alone does not need the
// application state.
#include "app/app_state.h"
#include "app/config_file.h"
#include "page/page_host.h"
#include "page/page_navigation.h"
#include "page/script_bridge.h"

namespace {

constexpr char kLocalSection[] = "local";
constexpr char kDebugKey[] = "debug";
constexpr char kDebugDefault[] = "0";

std::string ReadDebugSetting() { return ReadIni(kLocalSection, kDebugKey, kDebugDefault); }

}  // namespace

LRESULT CALLBACK HostMessageFilter(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const AppState& app = App();
  // Every message of the window passes here; only two kinds concern the filter.
  if (message != WM_RBUTTONDBLCLK && (app.page_message == 0 || message != app.page_message)) {
    return 0;
  }
  PageMessageTarget target;
  target.host = &Host();
  target.page_message = app.page_message;
  target.page_url = app.page_url;
  target.run_directory = app.run_directory;
  target.read_debug_setting = &ReadDebugSetting;
  target.page_trusted = &PageOnTrustedOrigin;
  return FilterPageMessage(target, message, wparam, lparam);
}

void RunInPage(const std::string& script) {
  const AppState& app = App();
  SendScriptToPage(app.main_window, app.page_message, script);
}
