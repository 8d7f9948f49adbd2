#include "app/display_follow.h"

#include <string>

#include "app/app_state.h"
#include "app/event_report.h"
#include "app/screen_dialog.h"
#include "app/status_file.h"
#include "log/log_file.h"

namespace {

constexpr char kLogCategory[] = "选择";
constexpr UINT_PTR kDisplayChangeTimerId = 0x4C44;  // "LD"
// Long enough to gather one burst of messages, short enough that the customer
// does not notice.
constexpr UINT kSettleMs = 300;

std::string Where(const RECT& rect) {
  return "(x:" + std::to_string(rect.left) + " y:" + std::to_string(rect.top) +
         " w:" + std::to_string(rect.right - rect.left) +
         " h:" + std::to_string(rect.bottom - rect.top) + ")";
}

std::string CountText(size_t count) { return " 屏幕数:" + std::to_string(count); }

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void Hide(HWND window, int screen, const std::vector<RECT>& monitors, bool shifted_to_primary) {
  if (!::IsWindowVisible(window)) return;
  ::ShowWindow(window, SW_HIDE);
  std::string why = shifted_to_primary ? "现为主屏" : "不在";
  std::string text =
      "屏幕" + std::to_string(screen) + why + ",窗口隐藏" + CountText(monitors.size());
  WriteLog(kLogCategory, text);
  ReportToEventLog(EventId::kMonitorMissing, text);
  StatusWindowMoved();
}

void Cover(HWND window, int screen, const RECT& rect, size_t count) {
  RECT now = {};
  ::GetWindowRect(window, &now);
  bool visible = ::IsWindowVisible(window) != FALSE;
  if (visible && SameRect(now, rect)) return;
  // No activation: the cashier may be typing in the point-of-sale program.
  ::SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (!visible) ::ShowWindow(window, SW_SHOWNOACTIVATE);
  std::string what = visible ? "变化,窗口移到 " : "恢复,窗口显示 ";
  std::string text = "屏幕" + std::to_string(screen) + what + Where(rect) + CountText(count);
  WriteLog(kLogCategory, text);
  // A move within a monitor that stayed is no news for the event log.
  if (!visible) ReportToEventLog(EventId::kMonitorBack, text);
  StatusWindowMoved();
}

}  // namespace

bool IsPrimaryMonitor(const RECT& rect) { return rect.left == 0 && rect.top == 0; }

Placement PlaceOnDisplays(const std::vector<RECT>& monitors, int screen, bool chosen_was_primary) {
  Placement hide = {PlacementKind::kHide, {}};
  if (screen < 1 || static_cast<size_t>(screen) > monitors.size()) return hide;
  const RECT& rect = monitors[screen - 1];
  if (IsPrimaryMonitor(rect) && !chosen_was_primary) return hide;
  return {PlacementKind::kCover, rect};
}

void NoteDisplayChange(HWND window) {
  // Setting the timer again restarts it, so a burst ends in one follow-up.
  ::SetTimer(window, kDisplayChangeTimerId, kSettleMs, nullptr);
}

bool IsDisplayChangeTimer(WPARAM timer_id) { return timer_id == kDisplayChangeTimerId; }

void FollowDisplayChange() {
  HWND window = App().main_window;
  if (window) ::KillTimer(window, kDisplayChangeTimerId);
  RefreshMonitorList();
  int screen = CurrentScreen();
  // Before a screen has been chosen in this run the window stays as it is;
  // an open dialog (below) takes the new monitors into account.
  if (window && screen > 0) {
    const std::vector<RECT>& monitors = MonitorList();
    Placement placement = PlaceOnDisplays(monitors, screen, CurrentScreenWasPrimary());
    if (placement.kind == PlacementKind::kCover) {
      Cover(window, screen, placement.rect, monitors.size());
    } else {
      bool shifted = static_cast<size_t>(screen) <= monitors.size();
      Hide(window, screen, monitors, shifted);
    }
  }
  RefillOpenScreenDialog();
}
