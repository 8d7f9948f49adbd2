#include "input_events.h"

#include <windows.h>

#include <string>

namespace {

// DevTools modifier bits.
constexpr int kModifierAlt = 1, kModifierControl = 2, kModifierShift = 8;

int Modifiers(unsigned flags) {
  int modifiers = 0;
  if (flags & kMouseControl) modifiers |= kModifierControl;
  if (flags & kMouseShift) modifiers |= kModifierShift;
  return modifiers;
}

int Buttons(unsigned flags) {
  // DevTools: 1 left, 2 right, 4 middle.
  return ((flags & kMouseLeft) ? 1 : 0) | ((flags & kMouseRight) ? 2 : 0) |
         ((flags & kMouseMiddle) ? 4 : 0);
}

// Keyboard modifiers are not part of the key flags; read the keyboard state.
int KeyModifiers(bool system_key) {
  int modifiers = system_key ? kModifierAlt : 0;
  if (::GetKeyState(VK_CONTROL) < 0) modifiers |= kModifierControl;
  if (::GetKeyState(VK_SHIFT) < 0) modifiers |= kModifierShift;
  if (::GetKeyState(VK_MENU) < 0) modifiers |= kModifierAlt;
  return modifiers;
}

// The page's KeyboardEvent.key for keys that have a name.
const char* KeyName(unsigned virtual_key) {
  switch (virtual_key) {
    case VK_BACK:
      return "Backspace";
    case VK_TAB:
      return "Tab";
    case VK_RETURN:
      return "Enter";
    case VK_SHIFT:
      return "Shift";
    case VK_CONTROL:
      return "Control";
    case VK_MENU:
      return "Alt";
    case VK_ESCAPE:
      return "Escape";
    case VK_SPACE:
      return " ";
    case VK_PRIOR:
      return "PageUp";
    case VK_NEXT:
      return "PageDown";
    case VK_END:
      return "End";
    case VK_HOME:
      return "Home";
    case VK_LEFT:
      return "ArrowLeft";
    case VK_UP:
      return "ArrowUp";
    case VK_RIGHT:
      return "ArrowRight";
    case VK_DOWN:
      return "ArrowDown";
    case VK_INSERT:
      return "Insert";
    case VK_DELETE:
      return "Delete";
    default:
      return nullptr;
  }
}

Json KeyParams(const char* type, unsigned virtual_key, unsigned flags, bool system_key) {
  Json params = {{"type", type},
                 {"windowsVirtualKeyCode", virtual_key},
                 {"nativeVirtualKeyCode", virtual_key},
                 {"modifiers", KeyModifiers(system_key)},
                 {"autoRepeat", (flags & kKeyRepeat) != 0},
                 {"isSystemKey", system_key}};
  if (const char* name = KeyName(virtual_key)) {
    params["key"] = name;
  } else if (virtual_key >= VK_F1 && virtual_key <= VK_F24) {
    params["key"] = "F" + std::to_string(virtual_key - VK_F1 + 1);
  } else if ((virtual_key >= '0' && virtual_key <= '9') ||
             (virtual_key >= 'A' && virtual_key <= 'Z')) {
    params["code"] = (virtual_key <= '9' ? "Digit" : "Key") + std::string(1, char(virtual_key));
  }
  return params;
}

}  // namespace

bool MouseEventParams(unsigned message, int x, int y, unsigned flags, Json* params) {
  const char* type = nullptr;
  const char* button = "none";
  int clicks = 1;
  switch (message) {
    case WM_MOUSEMOVE:
      type = "mouseMoved";
      clicks = 0;
      break;
    case WM_LBUTTONDBLCLK:
      clicks = 2;
      [[fallthrough]];
    case WM_LBUTTONDOWN:
      type = "mousePressed";
      button = "left";
      break;
    case WM_LBUTTONUP:
      type = "mouseReleased";
      button = "left";
      break;
    case WM_RBUTTONDBLCLK:
      clicks = 2;
      [[fallthrough]];
    case WM_RBUTTONDOWN:
      type = "mousePressed";
      button = "right";
      break;
    case WM_RBUTTONUP:
      type = "mouseReleased";
      button = "right";
      break;
    case WM_MBUTTONDBLCLK:
      clicks = 2;
      [[fallthrough]];
    case WM_MBUTTONDOWN:
      type = "mousePressed";
      button = "middle";
      break;
    case WM_MBUTTONUP:
      type = "mouseReleased";
      button = "middle";
      break;
    default:
      return false;
  }
  if (message == WM_MOUSEMOVE) {
    if (flags & kMouseLeft)
      button = "left";
    else if (flags & kMouseRight)
      button = "right";
    else if (flags & kMouseMiddle)
      button = "middle";
  }
  *params = {{"type", type},
             {"x", x},
             {"y", y},
             {"button", button},
             {"buttons", Buttons(flags)},
             {"clickCount", clicks},
             {"modifiers", Modifiers(flags)}};
  return true;
}

Json WheelEventParams(int x, int y, int delta, unsigned flags) {
  // Windows counts a turn away from the user as positive; the page scrolls up then.
  return {{"type", "mouseWheel"}, {"x", x},           {"y", y},
          {"deltaX", 0},          {"deltaY", -delta}, {"modifiers", Modifiers(flags)}};
}

Json KeyDownParams(unsigned virtual_key, unsigned flags, bool system_key) {
  return KeyParams("rawKeyDown", virtual_key, flags, system_key);
}

Json KeyUpParams(unsigned virtual_key, unsigned flags, bool system_key) {
  return KeyParams("keyUp", virtual_key, flags, system_key);
}

Json KeyPressParams(unsigned char_code, unsigned flags, bool system_key) {
  std::wstring character(1, static_cast<wchar_t>(char_code));
  std::string text = WideToUtf8(character);
  return {{"type", "char"},
          {"text", text},
          {"unmodifiedText", text},
          {"key", text},
          {"modifiers", KeyModifiers(system_key)},
          {"autoRepeat", (flags & kKeyRepeat) != 0},
          {"isSystemKey", system_key}};
}

bool IsRightButtonMessage(unsigned message) {
  return message == WM_RBUTTONDOWN || message == WM_RBUTTONUP || message == WM_RBUTTONDBLCLK;
}
