// The host window's message dispatch and painting.
// The input-method header needs windows.h before it.
// clang-format off
#include <windows.h>
#include <imm.h>
#include <windowsx.h>
// clang-format on

#include "page/engine_call.h"
#include "page/page_host.h"

namespace {

// A message filter answers this to keep a message from the view and from the
// window's own procedure.
constexpr LRESULT kFilterConsumed = 1;

unsigned KeyFlags(LPARAM lparam) {
  const unsigned high = HIWORD(lparam);
  unsigned flags = 0;
  if (high & KF_REPEAT) flags |= KF_REPEAT;
  if (high & KF_EXTENDED) flags |= KF_EXTENDED;
  return flags;
}

// The modifier and button bits the engine understands, as the mouse messages
// carry them in wParam.
unsigned MouseFlags(WPARAM wparam) {
  unsigned flags = 0;
  for (unsigned bit : {MK_CONTROL, MK_SHIFT, MK_LBUTTON, MK_MBUTTON, MK_RBUTTON}) {
    if (wparam & bit) flags |= bit;
  }
  return flags;
}

bool KeyIsDown(int virtual_key) { return (::GetKeyState(virtual_key) & 0x8000) != 0; }

// WM_CONTEXTMENU carries a window handle in wParam, not key flags, so the
// flags come from the current keyboard and button state instead.
unsigned CurrentMouseFlags() {
  unsigned flags = 0;
  if (KeyIsDown(VK_CONTROL)) flags |= MK_CONTROL;
  if (KeyIsDown(VK_SHIFT)) flags |= MK_SHIFT;
  if (KeyIsDown(VK_LBUTTON)) flags |= MK_LBUTTON;
  if (KeyIsDown(VK_MBUTTON)) flags |= MK_MBUTTON;
  if (KeyIsDown(VK_RBUTTON)) flags |= MK_RBUTTON;
  return flags;
}

SIZE BitmapSizeOf(HDC dc) {
  BITMAP bitmap = {};
  HGDIOBJ object = ::GetCurrentObject(dc, OBJ_BITMAP);
  if (object == nullptr || ::GetObjectA(object, sizeof(bitmap), &bitmap) == 0) return {0, 0};
  return {bitmap.bmWidth, bitmap.bmHeight};
}

bool UpdateLayered(HWND window, HDC screen_dc, SIZE size, HDC source,
                   const RECT* changed = nullptr) {
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  POINT origin = {0, 0};
  UPDATELAYEREDWINDOWINFO update = {};
  update.cbSize = sizeof(update);
  update.hdcDst = screen_dc;
  update.psize = &size;
  update.hdcSrc = source;
  update.pptSrc = &origin;
  update.pblend = &blend;
  update.dwFlags = ULW_ALPHA;
  update.prcDirty = changed;
  return ::UpdateLayeredWindowIndirect(window, &update) != FALSE;
}

// The part of the layered picture to send to the screen: only what the
// engine says changed, while the window already shows a picture of this
// size; everything otherwise (first picture, new size).
const RECT* ChangedPart(HWND window, SIZE size, const RECT& changed) {
  RECT placed = {};
  if (!::GetWindowRect(window, &placed)) return nullptr;
  const bool same_size =
      placed.right - placed.left == size.cx && placed.bottom - placed.top == size.cy;
  const bool whole = changed.left <= 0 && changed.top <= 0 && changed.right >= size.cx &&
                     changed.bottom >= size.cy;
  return same_size && !whole && !::IsRectEmpty(&changed) ? &changed : nullptr;
}

// The second try after UpdateLayeredWindow refused the engine's DC directly:
// go through a bitmap compatible with the screen.
void UpdateLayeredThroughCopy(HWND window, HDC screen_dc, SIZE size, HDC engine_dc) {
  HDC copy_dc = ::CreateCompatibleDC(screen_dc);
  if (copy_dc == nullptr) return;
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen_dc, size.cx, size.cy);
  if (bitmap != nullptr) {
    HGDIOBJ old = ::SelectObject(copy_dc, bitmap);
    ::BitBlt(copy_dc, 0, 0, size.cx, size.cy, engine_dc, 0, 0, SRCCOPY | CAPTUREBLT);
    ::BitBlt(engine_dc, 0, 0, size.cx, size.cy, copy_dc, 0, 0, SRCCOPY | CAPTUREBLT);
    UpdateLayered(window, screen_dc, size, copy_dc);
    ::SelectObject(copy_dc, old);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(copy_dc);
}

}  // namespace

RECT HostPaintArea(const RECT& client, const RECT& paint) {
  if (paint.left == paint.right || paint.top == paint.bottom) return client;
  RECT area = {};
  ::IntersectRect(&area, &client, &paint);
  return area;
}

LRESULT PageHost::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message_filter_ != nullptr &&
      ::CallWindowProcW(message_filter_, window, message, wparam, lparam) == kFilterConsumed) {
    return kFilterConsumed;
  }
  const NodeApi& node = Node();
  switch (message) {
    case WM_SIZE:
      CallView(node.wkeResize, view_, int{LOWORD(lparam)}, int{HIWORD(lparam)});
      CallView(node.wkeRepaintIfNeeded, view_);
      break;
    case WM_PAINT:
      return OnPaint(window);
    case WM_ERASEBKGND:
      return 1;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      return OnKey(window, message, wparam, lparam);
    case WM_DESTROY: {
      LRESULT result = CallPrevious(window, message, wparam, lparam);
      Detach();
      return result;
    }
    case WM_SETFOCUS:
      CallView(node.wkeSetFocus, view_);
      return 0;
    case WM_KILLFOCUS:
      CallView(node.wkeKillFocus, view_);
      return 0;
    case WM_SETCURSOR: {
      LRESULT result = 0;
      if (CallView(node.wkeFireWindowsMessage, view_, window, UINT{WM_SETCURSOR}, WPARAM{0},
                   LPARAM{0}, &result)) {
        return 0;
      }
      break;
    }
    case WM_GETMINMAXINFO:
      if (OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lparam))) return 0;
      break;
    case WM_CONTEXTMENU:
      return OnContextMenu(window, message, wparam, lparam);
    case WM_NCHITTEST:
      if (resize_border_ == 1) return HitTest(lparam);
      break;
    case WM_IME_STARTCOMPOSITION:
      OnImeStartComposition(window);
      break;
    case WM_MOUSEWHEEL:
      return OnMouseWheel(window, message, wparam, lparam);
    default:
      if (message >= WM_MOUSEFIRST && message <= WM_MBUTTONDBLCLK) {
        return OnMouse(window, message, wparam, lparam);
      }
      break;
  }
  return CallPrevious(window, message, wparam, lparam);
}

LRESULT PageHost::OnPaint(HWND window) {
  const NodeApi& node = Node();
  CallView(node.wkeRepaintIfNeeded, view_);
  PAINTSTRUCT paint = {};
  HDC dc = ::BeginPaint(window, &paint);
  RECT client = {};
  ::GetClientRect(window, &client);
  const RECT area = HostPaintArea(client, paint.rcPaint);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  HDC view_dc = CallView(node.wkeGetViewDC, view_);
  if (dc != nullptr && view_dc != nullptr && width != 0 && height != 0) {
    ::BitBlt(dc, area.left, area.top, width, height, view_dc, area.left, area.top, SRCCOPY);
  }
  ::EndPaint(window, &paint);
  return 0;
}

LRESULT PageHost::OnKey(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const NodeApi& node = Node();
  auto fire = message == WM_KEYDOWN ? node.wkeFireKeyDownEvent
              : message == WM_KEYUP ? node.wkeFireKeyUpEvent
                                    : node.wkeFireKeyPressEvent;
  if (CallView(fire, view_, static_cast<unsigned>(wparam), KeyFlags(lparam), false)) return 0;
  return CallPrevious(window, message, wparam, lparam);
}

LRESULT PageHost::OnMouse(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN) {
    if (::GetFocus() != window) ::SetFocus(window);
    ::SetCapture(window);
  } else if (message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_MBUTTONUP) {
    ::ReleaseCapture();
  }
  // Signed: while the mouse is captured it can be left of or above the window.
  const int x = GET_X_LPARAM(lparam);
  const int y = GET_Y_LPARAM(lparam);
  if (CallView(Node().wkeFireMouseEvent, view_, static_cast<unsigned>(message), x, y,
               MouseFlags(wparam))) {
    return 0;
  }
  return CallPrevious(window, message, wparam, lparam);
}

LRESULT PageHost::OnContextMenu(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  // -1 marks a menu opened from the keyboard: there is no point to convert.
  if (point.y != -1) ::ScreenToClient(window, &point);
  if (CallView(Node().wkeFireContextMenuEvent, view_, int{point.x}, int{point.y},
               CurrentMouseFlags())) {
    return 0;
  }
  return CallPrevious(window, message, wparam, lparam);
}

LRESULT PageHost::OnMouseWheel(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  POINT point = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  ::ScreenToClient(window, &point);
  const int delta = GET_WHEEL_DELTA_WPARAM(wparam);
  if (CallView(Node().wkeFireMouseWheelEvent, view_, int{point.x}, int{point.y}, delta,
               MouseFlags(wparam))) {
    return 0;
  }
  return CallPrevious(window, message, wparam, lparam);
}

// Puts the input method's candidate and composition windows at the caret, so
// they do not cover the text being typed.
void PageHost::OnImeStartComposition(HWND window) {
  wkeRect caret = CallView(Node().wkeGetCaretRect, view_);
  const POINT below = {caret.x, caret.y + caret.h};
  const RECT area = {caret.x, caret.y, caret.x + caret.w, caret.y + caret.h};
  CANDIDATEFORM candidate = {0, CFS_EXCLUDE, below, area};
  COMPOSITIONFORM composition = {CFS_EXCLUDE, below, area};
  HIMC context = ::ImmGetContext(window);
  if (context == nullptr) return;
  ::ImmSetCandidateWindow(context, &candidate);
  ::ImmSetCompositionWindow(context, &composition);
  ::ImmReleaseContext(window, context);
}

void __cdecl PageHost::OnPaintUpdated(wkeWebView view, void* param, HDC engine_dc, int x, int y,
                                      int cx, int cy) {
  HWND window = static_cast<HWND>(param);
  if ((::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED) == 0) {
    RECT changed = {x, y, x + cx, y + cy};
    ::InvalidateRect(window, &changed, TRUE);
    return;
  }
  const SIZE size = BitmapSizeOf(engine_dc);
  const RECT changed = {x, y, x + cx, y + cy};
  HDC screen_dc = ::GetDC(window);
  if (!UpdateLayered(window, screen_dc, size, engine_dc, ChangedPart(window, size, changed))) {
    UpdateLayeredThroughCopy(window, screen_dc, size, engine_dc);
  }
  ::ReleaseDC(window, screen_dc);
}
