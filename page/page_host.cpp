#include "page/page_host.h"

#include <windowsx.h>

#include <atomic>

#include "page/engine_call.h"

namespace {

// Width of the resize border that HitTest reports on every edge.
constexpr int kResizeBorder = 5;
// Side of the square bottom-right grip, larger than the border so that the
// corner is easy to catch.
constexpr int kResizeGrip = 10;

// The Tab-key hook is installed for the GUI thread once per process.
std::atomic<HHOOK> tab_key_hook{nullptr};

bool IsEntryProcedureOf(HWND window) {
  return ::GetWindowLongPtrW(window, GWLP_WNDPROC) ==
         reinterpret_cast<LONG_PTR>(&PageHost::EntryProcedure);
}

void MakeLayered(HWND window, bool click_through) {
  LONG_PTR style = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
  if (click_through) style |= WS_EX_TRANSPARENT;
  style |= WS_EX_LAYERED;
  ::SetWindowLongPtrW(window, GWL_EXSTYLE, style);
}

}  // namespace

void InitializeEngine() {
  const NodeApi& node = Node();
  if (CallEngine(node.wkeIsInitialize)) return;
  CallEngine(node.wkeInitialize);
  if (tab_key_hook.load() != nullptr) return;
  tab_key_hook.store(
      ::SetWindowsHookExW(WH_GETMESSAGE, &TabKeyHook, nullptr, ::GetCurrentThreadId()));
}

bool TabKeyHookInstalled() { return tab_key_hook.load() != nullptr; }

LRESULT CALLBACK TabKeyHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code >= 0 && wparam == PM_REMOVE && lparam != 0) {
    MSG* message = reinterpret_cast<MSG*>(lparam);
    if (message->message == WM_KEYDOWN && message->wParam == VK_TAB) {
      ::TranslateMessage(message);
      ::DispatchMessageW(message);
    }
  }
  return ::CallNextHookEx(tab_key_hook.load(), code, wparam, lparam);
}

PageHost::~PageHost() { Detach(); }

PageHost::PageHost(const PageHost& other) { CopySettings(other); }

void PageHost::CopySettings(const PageHost& other) {
  resize_border_ = other.resize_border_;
  maximized_rect_ = other.maximized_rect_;
  handlers_ = other.handlers_;
  max_track_size_ = other.max_track_size_;
  min_track_size_ = other.min_track_size_;
  message_filter_ = other.message_filter_;
}

LRESULT CALLBACK PageHost::EntryProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* host = static_cast<PageHost*>(::GetPropA(window, kHostWindowProperty));
  if (host != nullptr) return host->WindowProc(window, message, wparam, lparam);
  // The procedure was installed as a wide one, so messages arrive in wide form.
  return ::DefWindowProcW(window, message, wparam, lparam);
}

LRESULT PageHost::CallPrevious(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (previous_procedure_ == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  return ::CallWindowProcW(previous_procedure_, window, message, wparam, lparam);
}

bool PageHost::Attach(HWND window, bool transparent, bool click_through) {
  InitializeEngine();
  if (view_ != nullptr) return false;
  if (!::IsWindow(window)) return false;
  // Another host already drives this window; two hosts would fight over it.
  if (IsEntryProcedureOf(window)) return false;
  const NodeApi& node = Node();
  wkeWebView view = CallEngine(node.wkeCreateWebView);
  if (view == nullptr) return false;
  view_ = view;
  window_ = window;
  CallView(node.wkeSetHandle, view_, window);
  handlers_[kPaintUpdated] = reinterpret_cast<void*>(&OnPaintUpdated);
  CallView(node.wkeOnPaintUpdated, view_, &OnPaintUpdated, static_cast<void*>(window));
  CallView(node.wkeSetTransparent, view_, transparent);
  if (transparent) MakeLayered(window, click_through);
  previous_procedure_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
      window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PageHost::EntryProcedure)));
  ::SetPropA(window, kHostWindowProperty, this);
  RECT client = {};
  ::GetClientRect(window, &client);
  CallView(node.wkeResize, view_, client.right - client.left, client.bottom - client.top);
  return true;
}

void PageHost::Detach() {
  if (view_ != nullptr) {
    const NodeApi& node = Node();
    ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_procedure_));
    ::RemovePropA(window_, kHostWindowProperty);
    CallView(node.wkeSetHandle, view_, static_cast<HWND>(nullptr));
    CallView(node.wkeDestroyWebView, view_);
    view_ = nullptr;
    window_ = nullptr;
    previous_procedure_ = nullptr;
  }
  ClearHandlers();
}

void PageHost::ClearHandlers() { handlers_.fill(nullptr); }

HWND PageHost::GetHostWindow() const { return CallView(Node().wkeGetHostHWND, view_); }

void PageHost::SetMaximizedRect(int x, int y, int width, int height) {
  maximized_rect_ = {x, y, x + width, y + height};
}

void PageHost::MoveToCenter() { CallView(Node().wkeMoveToCenter, view_); }

bool PageHost::OnGetMinMaxInfo(MINMAXINFO* info) const {
  if (info == nullptr) return false;
  MINMAXINFO record = *info;
  bool changed = false;
  if (!::IsRectEmpty(&maximized_rect_)) {
    record.ptMaxPosition = {maximized_rect_.left, maximized_rect_.top};
    record.ptMaxSize = {maximized_rect_.right - maximized_rect_.left,
                        maximized_rect_.bottom - maximized_rect_.top};
    changed = true;
  }
  if (min_track_size_.x != 0 && min_track_size_.y != 0) {
    record.ptMinTrackSize = min_track_size_;
    changed = true;
  }
  if (max_track_size_.x != 0 && max_track_size_.y != 0) {
    record.ptMaxTrackSize = max_track_size_;
    changed = true;
  }
  if (changed) *info = record;
  return changed;
}

LRESULT PageHost::HitTest(LPARAM lparam) const {
  if (::IsZoomed(window_)) return HTCLIENT;
  // Signed: a display left of or above the primary one has negative coordinates.
  POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ::ScreenToClient(window_, &point);
  RECT client = {};
  ::GetClientRect(window_, &client);
  const int w = client.right - client.left;
  const int h = client.bottom - client.top;
  const int b = kResizeBorder;
  const int g = kResizeGrip;
  const struct {
    RECT area;
    LRESULT code;
  } zones[] = {
      {{b, 0, w - b, b}, HTTOP},       {{0, b, b, h - b}, HTLEFT},
      {{w - b, b, w, h - g}, HTRIGHT}, {{b, h - b, w - g, h}, HTBOTTOM},
      {{0, 0, b, b}, HTTOPLEFT},       {{0, h - b, b, h}, HTBOTTOMLEFT},
      {{w - b, 0, w, b}, HTTOPRIGHT},  {{w - g, h - g, w, h}, HTBOTTOMRIGHT},
  };
  for (const auto& zone : zones) {
    if (::PtInRect(&zone.area, point)) return zone.code;
  }
  return HTCLIENT;
}
