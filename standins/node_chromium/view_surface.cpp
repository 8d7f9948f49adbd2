#include "view_surface.h"

#include <algorithm>
#include <cstring>

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
  return true;
}

void ViewSurface::Present(const FramePixels& frame) {
  if (!bits_) return;
  ::GdiFlush();
  int rows = std::min(height_, frame.height);
  int columns = std::min(width_, frame.width);
  for (int y = 0; y < height_; ++y) {
    uint32_t* row = bits_ + y * width_;
    int copied = 0;
    if (y < rows) {
      std::memcpy(row, frame.pixels.data() + y * frame.width, columns * 4);
      copied = columns;
    }
    std::memset(row + copied, 0, (width_ - copied) * 4);
  }
}

uint32_t ViewSurface::PixelAt(int x, int y) const {
  if (!bits_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return bits_[y * width_ + x];
}
