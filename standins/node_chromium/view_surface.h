#pragma once
// The view's own device context: a 32-bit top-down DIB of the view's size,
// selected into a memory DC, that the program copies from (BitBlt or
// UpdateLayeredWindow). Used on the GUI thread only.
#include <windows.h>

#include "frame_decoder.h"

class ViewSurface {
 public:
  ViewSurface() = default;
  ~ViewSurface() { Release(); }
  ViewSurface(const ViewSurface&) = delete;
  ViewSurface& operator=(const ViewSurface&) = delete;

  // Makes the bitmap width x height (at least 1 x 1), keeping what fits of the old picture.
  bool Resize(int width, int height);
  // Copies the part of a frame that fits; the rest of the surface is cleared.
  // Returns the rectangle of pixels that changed (empty when none did): the
  // whole surface for the first frame after it was made or resized.
  RECT Present(const FramePixels& frame);
  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // The pixel at (x, y) as premultiplied BGRA; 0 outside.
  uint32_t PixelAt(int x, int y) const;

 private:
  void Release();
  // The smallest rectangle outside of which row y already holds `source`
  // (`count` pixels, then zeros); widens *changed by it.
  void CompareRow(int y, const uint32_t* source, int count, RECT* changed) const;

  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  bool all_changed_ = true;  // nothing shown from this surface yet
};
