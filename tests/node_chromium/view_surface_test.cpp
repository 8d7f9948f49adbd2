// The view's surface takes each decoded frame and reports which rectangle of
// pixels changed, so the program repaints only that part, and nothing when a
// frame repeats the picture.
#include "view_surface.h"

#include <gtest/gtest.h>

namespace {

FramePixels Frame(int width, int height, uint32_t fill) {
  FramePixels frame;
  frame.width = width;
  frame.height = height;
  frame.pixels.assign(static_cast<size_t>(width) * height, fill);
  return frame;
}

void Paint(FramePixels* frame, int left, int top, int right, int bottom, uint32_t colour) {
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) frame->pixels[y * frame->width + x] = colour;
  }
}

::testing::AssertionResult RectIs(const RECT& r, int left, int top, int right, int bottom) {
  if (r.left == left && r.top == top && r.right == right && r.bottom == bottom) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

bool Empty(RECT r) { return ::IsRectEmpty(&r) != FALSE; }

const uint32_t kOpaqueBlue = 0xff0000ffu;
const uint32_t kOpaqueRed = 0xffff0000u;
const uint32_t kHalfGrey = 0x80404040u;  // premultiplied, half transparent

TEST(ViewSurfaceTest, TheFirstFrameChangesTheWholeSurfaceEvenWhereItIsTransparent) {
  ViewSurface surface;
  ASSERT_TRUE(surface.Resize(40, 30));
  FramePixels frame = Frame(40, 30, 0);  // all transparent, like the fresh surface
  Paint(&frame, 5, 5, 10, 10, kOpaqueBlue);
  EXPECT_TRUE(RectIs(surface.Present(frame), 0, 0, 40, 30));
  EXPECT_EQ(surface.PixelAt(6, 6), kOpaqueBlue);
  EXPECT_EQ(surface.PixelAt(20, 20), 0u);
}

TEST(ViewSurfaceTest, ARepeatedFrameChangesNothing) {
  ViewSurface surface;
  ASSERT_TRUE(surface.Resize(40, 30));
  FramePixels frame = Frame(40, 30, kOpaqueBlue);
  surface.Present(frame);
  EXPECT_TRUE(Empty(surface.Present(frame)));
  EXPECT_EQ(surface.PixelAt(39, 29), kOpaqueBlue);
}

TEST(ViewSurfaceTest, OnlyTheChangedBlockIsReportedAndCopied) {
  ViewSurface surface;
  ASSERT_TRUE(surface.Resize(64, 48));
  FramePixels frame = Frame(64, 48, kOpaqueBlue);
  surface.Present(frame);
  Paint(&frame, 10, 20, 13, 22, kOpaqueRed);
  Paint(&frame, 30, 21, 31, 26, kHalfGrey);
  EXPECT_TRUE(RectIs(surface.Present(frame), 10, 20, 31, 26));
  EXPECT_EQ(surface.PixelAt(10, 20), kOpaqueRed);
  EXPECT_EQ(surface.PixelAt(12, 21), kOpaqueRed);
  EXPECT_EQ(surface.PixelAt(30, 25), kHalfGrey);
  EXPECT_EQ(surface.PixelAt(13, 20), kOpaqueBlue);
  EXPECT_EQ(surface.PixelAt(9, 20), kOpaqueBlue);
}

TEST(ViewSurfaceTest, AnAlphaChangeAloneCounts) {
  ViewSurface surface;
  ASSERT_TRUE(surface.Resize(20, 10));
  FramePixels frame = Frame(20, 10, kHalfGrey);
  surface.Present(frame);
  frame.pixels[3 * 20 + 7] = 0;  // the same colour made fully transparent
  EXPECT_TRUE(RectIs(surface.Present(frame), 7, 3, 8, 4));
  EXPECT_EQ(surface.PixelAt(7, 3), 0u);
}

TEST(ViewSurfaceTest, AFrameSmallerThanTheSurfaceClearsTheRestAndReportsIt) {
  ViewSurface surface;
  ASSERT_TRUE(surface.Resize(30, 20));
  surface.Present(Frame(30, 20, kOpaqueBlue));
  EXPECT_TRUE(RectIs(surface.Present(Frame(20, 12, kOpaqueBlue)), 0, 0, 30, 20));
  EXPECT_EQ(surface.PixelAt(19, 11), kOpaqueBlue);
  EXPECT_EQ(surface.PixelAt(20, 5), 0u);
  EXPECT_EQ(surface.PixelAt(5, 12), 0u);
  // Again: the cleared part stays cleared and nothing changes.
  EXPECT_TRUE(Empty(surface.Present(Frame(20, 12, kOpaqueBlue))));
}

TEST(ViewSurfaceTest, AResizeMakesTheNextFrameChangeEverything) {
  ViewSurface surface;
  ASSERT_TRUE(surface.Resize(30, 20));
  surface.Present(Frame(30, 20, kOpaqueBlue));
  ASSERT_TRUE(surface.Resize(40, 20));
  EXPECT_EQ(surface.PixelAt(29, 19), kOpaqueBlue);  // what fits of the old picture stays
  EXPECT_TRUE(RectIs(surface.Present(Frame(40, 20, kOpaqueBlue)), 0, 0, 40, 20));
}

}  // namespace
