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
  void Present(const FramePixels& frame);
  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // The pixel at (x, y) as premultiplied BGRA; 0 outside.
  uint32_t PixelAt(int x, int y) const;

 private:
  void Release();

  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};
