#pragma once
// The view's own 32-bit device context: a top-down DIB section of the view's
// size selected into a memory DC. Remembers what it showed at the last
// commit, so a repaint can report exactly the rectangle that changed.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "util/scoped_handle.h"

namespace node_standin {

struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};
using ScopedGdiObject = ScopedHandle<GdiObjectTraits>;

struct MemoryDcTraits {
  using Handle = HDC;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};
using ScopedMemoryDc = ScopedHandle<MemoryDcTraits>;

// One DIB section and the bits it draws into.
class DibSection {
 public:
  bool Create(HDC compatible, int width, int height);
  HGDIOBJ handle() const { return bitmap_.Get(); }
  uint32_t* bits() const { return bits_; }

 private:
  ScopedGdiObject bitmap_;
  uint32_t* bits_ = nullptr;
};

class PaintSurface {
 public:
  PaintSurface();
  ~PaintSurface();
  PaintSurface(const PaintSurface&) = delete;
  PaintSurface& operator=(const PaintSurface&) = delete;

  // A new bitmap of this size (at least 1 x 1); the next commit reports all of it.
  bool Resize(int width, int height);
  HDC dc() const { return dc_.Get(); }
  int width() const { return width_; }
  int height() const { return height_; }

  // Makes every pixel opaque (GDI text output leaves alpha at 0), then
  // returns the bounding box of the pixels that differ from the last commit
  // (empty when nothing changed) and remembers the present contents.
  RECT Commit();

 private:
  ScopedMemoryDc dc_;
  DibSection dib_;
  HGDIOBJ original_bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  std::vector<uint32_t> committed_;  // empty: everything counts as changed
};

}  // namespace node_standin
