#include "standins/node/page_painter.h"

#include <cstdio>
#include <vector>

#include "standins/node/paint_surface.h"

namespace node_standin {
namespace {

constexpr int kMargin = 8;
constexpr int kTitleHeight = 28;
constexpr int kTextHeight = 18;
constexpr wchar_t kFontFace[] = L"Tahoma";

std::vector<std::u16string> SplitFields(const std::u16string& text) {
  std::vector<std::u16string> fields(1);
  for (char16_t c : text) {
    if (c == 1) {
      fields.emplace_back();
    } else {
      fields.back().push_back(c);
    }
  }
  fields.resize(4);
  return fields;
}

int HexDigit(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHexColor(const std::u16string& hex, COLORREF* color) {
  int digits[6];
  size_t length = 0;
  while (length < hex.size() && length < 6 && HexDigit(hex[length]) >= 0) {
    digits[length] = HexDigit(hex[length]);
    ++length;
  }
  if (length < hex.size() && HexDigit(hex[length]) >= 0) return false;  // more than six
  if (length == 6) {
    *color =
        RGB(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3], digits[4] * 16 + digits[5]);
    return true;
  }
  if (length == 3) {
    *color = RGB(digits[0] * 17, digits[1] * 17, digits[2] * 17);
    return true;
  }
  return false;
}

bool ParseRgbColor(const std::u16string& css, COLORREF* color) {
  std::string ascii;
  for (char16_t c : css) ascii.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  int r, g, b;
  if (std::sscanf(ascii.c_str(), "rgb(%d ,%d ,%d", &r, &g, &b) != 3 &&
      std::sscanf(ascii.c_str(), "rgba(%d ,%d ,%d", &r, &g, &b) != 3) {
    return false;
  }
  if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255) return false;
  *color = RGB(r, g, b);
  return true;
}

// A font owned for one drawing.
ScopedGdiObject MakeFont(int height, int weight) {
  return ScopedGdiObject(::CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                       NONANTIALIASED_QUALITY, DEFAULT_PITCH, kFontFace));
}

void DrawBlock(HDC dc, const std::u16string& text, RECT* area, int height, int weight) {
  if (text.empty() || area->top >= area->bottom) return;
  ScopedGdiObject font = MakeFont(height, weight);
  HGDIOBJ previous = ::SelectObject(dc, font.Get());
  RECT measured = *area;
  auto* wide = reinterpret_cast<const wchar_t*>(text.c_str());
  UINT format = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS;
  ::DrawTextW(dc, wide, static_cast<int>(text.size()), &measured, format | DT_CALCRECT);
  ::DrawTextW(dc, wide, static_cast<int>(text.size()), area, format);
  ::SelectObject(dc, previous);
  area->top = measured.bottom + kMargin;
}

}  // namespace

bool ParseCssColor(const std::u16string& css, COLORREF* color) {
  size_t start = css.find_first_not_of(u" \t");
  if (start == std::u16string::npos) return false;
  if (css[start] == '#') {
    size_t end = css.find_first_of(u" \t;", start);
    return ParseHexColor(css.substr(start + 1, end == std::u16string::npos ? end : end - start - 1),
                         color);
  }
  return ParseRgbColor(css.substr(start), color);
}

PagePicture ParsePicture(const std::u16string& snapshot) {
  std::vector<std::u16string> fields = SplitFields(snapshot);
  PagePicture picture;
  picture.title = fields[0];
  picture.text = fields[3];
  ParseCssColor(fields[1], &picture.background);
  bool dark = GetRValue(picture.background) * 3 + GetGValue(picture.background) * 6 +
                  GetBValue(picture.background) <
              1280;
  picture.foreground = dark ? RGB(255, 255, 255) : RGB(0, 0, 0);
  ParseCssColor(fields[2], &picture.foreground);
  return picture;
}

void PaintPicture(HDC dc, int width, int height, const PagePicture& picture) {
  RECT all = {0, 0, width, height};
  ScopedGdiObject brush(::CreateSolidBrush(picture.background));
  ::FillRect(dc, &all, static_cast<HBRUSH>(brush.Get()));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, picture.foreground);
  RECT area = {kMargin, kMargin, width - kMargin, height - kMargin};
  DrawBlock(dc, picture.title, &area, kTitleHeight, FW_BOLD);
  DrawBlock(dc, picture.text, &area, kTextHeight, FW_NORMAL);
}

}  // namespace node_standin
