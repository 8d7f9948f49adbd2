#include "standins/node/paint_surface.h"

#include <algorithm>

namespace node_standin {
namespace {

constexpr uint32_t kOpaque = 0xFF000000;
// Views bigger than this are clamped: a DIB of 16384 x 16384 already takes 1 GB.
constexpr int kMaxSide = 8192;

}  // namespace

bool DibSection::Create(HDC compatible, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(compatible, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return false;
  bitmap_.Set(bitmap);
  bits_ = static_cast<uint32_t*>(bits);
  return true;
}

PaintSurface::PaintSurface() : dc_(::CreateCompatibleDC(nullptr)) {}

PaintSurface::~PaintSurface() {
  if (dc_.IsValid() && original_bitmap_ != nullptr) ::SelectObject(dc_.Get(), original_bitmap_);
}

bool PaintSurface::Resize(int width, int height) {
  width = std::clamp(width, 1, kMaxSide);
  height = std::clamp(height, 1, kMaxSide);
  if (!dc_.IsValid()) return false;
  DibSection dib;
  if (!dib.Create(dc_.Get(), width, height)) return false;
  HGDIOBJ previous = ::SelectObject(dc_.Get(), dib.handle());
  if (original_bitmap_ == nullptr) original_bitmap_ = previous;
  dib_ = std::move(dib);
  width_ = width;
  height_ = height;
  committed_.clear();
  return true;
}

RECT PaintSurface::Commit() {
  RECT changed = {0, 0, 0, 0};
  uint32_t* bits = dib_.bits();
  if (bits == nullptr) return changed;
  ::GdiFlush();  // GDI may batch drawing; the bits must be final before reading
  size_t count = static_cast<size_t>(width_) * height_;
  for (size_t i = 0; i < count; ++i) bits[i] |= kOpaque;
  if (committed_.size() != count) {
    committed_.assign(bits, bits + count);
    return RECT{0, 0, width_, height_};
  }
  int left = width_, top = height_, right = -1, bottom = -1;
  for (int y = 0; y < height_; ++y) {
    const uint32_t* row = bits + static_cast<size_t>(y) * width_;
    const uint32_t* old_row = committed_.data() + static_cast<size_t>(y) * width_;
    if (std::equal(row, row + width_, old_row)) continue;
    top = std::min(top, y);
    bottom = y;
    for (int x = 0; x < width_; ++x) {
      if (row[x] != old_row[x]) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
    }
  }
  if (bottom < 0) return changed;
  std::copy(bits, bits + count, committed_.begin());
  return RECT{left, top, right + 1, bottom + 1};
}

}  // namespace node_standin
