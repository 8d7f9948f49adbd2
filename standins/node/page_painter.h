#pragma once
// The headless view's drawing of a document: its title and visible text on
// the body's background colour. Plain, but real pixels that change when the
// page changes.
#include <windows.h>

#include <string>

namespace node_standin {

struct PagePicture {
  std::u16string title;
  std::u16string text;  // visible text, one line per block
  COLORREF background = RGB(255, 255, 255);
  COLORREF foreground = RGB(0, 0, 0);
};

// Reads the page's snapshot text: title, background, colour and text,
// separated by U+0001 (see hooks.snapshot in the window bootstrap).
PagePicture ParsePicture(const std::u16string& snapshot);

// "#rrggbb", "#rgb" or "rgb(r, g, b)", possibly followed by more of a CSS
// background value; false for anything else.
bool ParseCssColor(const std::u16string& css, COLORREF* color);

void PaintPicture(HDC dc, int width, int height, const PagePicture& picture);

}  // namespace node_standin
