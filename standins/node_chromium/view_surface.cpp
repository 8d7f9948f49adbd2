#include "view_surface.h"

#include <algorithm>
#include <cstring>
#include <vector>

void ViewSurface::Release() {
  if (dc_ && previous_) ::SelectObject(dc_, previous_);
  if (bitmap_) ::DeleteObject(bitmap_);
  if (dc_) ::DeleteDC(dc_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  previous_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = 0;
}

bool ViewSurface::Resize(int width, int height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (dc_ && width == width_ && height == height_) return true;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first, like the frames
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return false;
  std::memset(bits, 0, static_cast<size_t>(width) * height * 4);
  if (bits_) {
    int rows = std::min(height, height_);
    int columns = std::min(width, width_);
    for (int y = 0; y < rows; ++y) {
      std::memcpy(static_cast<uint32_t*>(bits) + y * width, bits_ + y * width_, columns * 4);
    }
  }
  Release();
  dc_ = ::CreateCompatibleDC(nullptr);
  bitmap_ = bitmap;
  previous_ = ::SelectObject(dc_, bitmap_);
  bits_ = static_cast<uint32_t*>(bits);
  width_ = width;
  height_ = height;
  all_changed_ = true;
  return true;
}

namespace {

// The first and one past the last index where two pixel runs differ; first == end when equal.
void DifferingSpan(const uint32_t* a, const uint32_t* b, int count, int* first, int* end) {
  int low = 0;
  while (low < count && a[low] == b[low]) ++low;
  int high = count;
  while (high > low && a[high - 1] == b[high - 1]) --high;
  *first = low;
  *end = high;
}

void Widen(RECT* changed, int left, int top, int right, int bottom) {
  if (::IsRectEmpty(changed)) {
    *changed = {left, top, right, bottom};
    return;
  }
  RECT more = {left, top, right, bottom};
  ::UnionRect(changed, changed, &more);
}

}  // namespace

void ViewSurface::CompareRow(int y, const uint32_t* source, int count, RECT* changed) const {
  const uint32_t* row = bits_ + y * width_;
  int first = 0, end = 0;
  DifferingSpan(row, source, count, &first, &end);
  // Past the frame's width the surface is cleared: whatever is not zero there changes.
  int tail_first = width_, tail_end = count;
  for (int x = count; x < width_; ++x) {
    if (row[x] == 0) continue;
    if (tail_first == width_) tail_first = x;
    tail_end = x + 1;
  }
  if (tail_first < width_) {
    if (first == end) first = tail_first;
    end = tail_end;
  }
  if (first < end) Widen(changed, first, y, end, y + 1);
}

RECT ViewSurface::Present(const FramePixels& frame) {
  RECT changed = {0, 0, 0, 0};
  if (!bits_) return changed;
  ::GdiFlush();
  int rows = std::min(height_, frame.height);
  int columns = std::min(width_, frame.width);
  std::vector<uint32_t> zeros;
  for (int y = 0; y < height_; ++y) {
    const uint32_t* source = y < rows ? frame.pixels.data() + y * frame.width : nullptr;
    if (!source) {
      if (zeros.empty()) zeros.assign(width_, 0);
      source = zeros.data();
    }
    CompareRow(y, source, y < rows ? columns : width_, &changed);
  }
  if (all_changed_) changed = {0, 0, width_, height_};
  all_changed_ = false;
  // Only the changed rectangle is copied: the rest already holds the frame.
  for (int y = changed.top; y < changed.bottom; ++y) {
    uint32_t* row = bits_ + y * width_;
    int left = changed.left;
    int copy_end =
        y < rows ? std::max(left, std::min(static_cast<int>(changed.right), columns)) : left;
    if (copy_end > left) {
      std::memcpy(row + left, frame.pixels.data() + static_cast<size_t>(y) * frame.width + left,
                  (copy_end - left) * 4);
    }
    std::memset(row + copy_end, 0, (changed.right - copy_end) * 4);
  }
  return changed;
}

uint32_t ViewSurface::PixelAt(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return bits_[y * width_ + x];
}
