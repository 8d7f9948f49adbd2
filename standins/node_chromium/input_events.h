#pragma once
// Windows input as the engine receives it, turned into DevTools input events.
#include "protocol_json.h"

// Flags as the host passes them with mouse messages (the MK_* bits).
constexpr unsigned kMouseLeft = 0x01, kMouseRight = 0x02, kMouseShift = 0x04, kMouseControl = 0x08,
                   kMouseMiddle = 0x10;
// Flags as the host passes them with key messages.
constexpr unsigned kKeyExtended = 0x0100, kKeyRepeat = 0x4000;

// Input.dispatchMouseEvent parameters for a WM_MOUSEMOVE..WM_MBUTTONDBLCLK
// message; false for any other message.
bool MouseEventParams(unsigned message, int x, int y, unsigned flags, Json* params);
// Input.dispatchMouseEvent parameters for a wheel turn (Windows delta, 120 a notch).
Json WheelEventParams(int x, int y, int delta, unsigned flags);
// Input.dispatchKeyEvent parameters: key down/up by virtual key, or a typed character.
Json KeyDownParams(unsigned virtual_key, unsigned flags, bool system_key);
Json KeyUpParams(unsigned virtual_key, unsigned flags, bool system_key);
Json KeyPressParams(unsigned char_code, unsigned flags, bool system_key);
// True for the right button's press and release, which raise the page's context menu.
bool IsRightButtonMessage(unsigned message);
