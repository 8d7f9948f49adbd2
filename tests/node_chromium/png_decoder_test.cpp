// The frames' own PNG decoder against the system's imaging component, on
// images written here with opaque, half-transparent and transparent pixels.
#include "png_decoder.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdlib>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  auto* bytes = static_cast<uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

// A width x height RGBA picture: opaque colour bands, a half-transparent and
// a transparent strip, so each filter of the encoder has something to do.
std::vector<uint8_t> TestRgba(int width, int height) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
      p[0] = static_cast<uint8_t>(x * 7);
      p[1] = static_cast<uint8_t>(y * 13);
      p[2] = static_cast<uint8_t>((x + y) * 3);
      p[3] = y < height / 2 ? 255 : (x < width / 2 ? 128 : 0);
    }
  }
  return rgba;
}

std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& rgba, int width, int height) {
  std::vector<uint8_t> png;
  stbi_write_png_to_func(&Append, &png, width, height, 4, rgba.data(), width * 4);
  return png;
}

class ComScope {
 public:
  ComScope() { ::CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~ComScope() { ::CoUninitialize(); }
};

TEST(PngDecoderTest, OpaquePixelsKeepTheirColourInBgraOrder) {
  EXPECT_EQ(PremultipliedBgra(0x12, 0x34, 0x56, 255), 0xff123456u);
  EXPECT_EQ(PremultipliedBgra(200, 100, 50, 0), 0u);
  EXPECT_EQ(PremultipliedBgra(255, 255, 255, 128), 0x80808080u);
  EXPECT_EQ(PremultipliedBgra(200, 100, 0, 128), 0x80643200u);
}

TEST(PngDecoderTest, DecodesLikeTheImagingComponent) {
  ComScope com;
  const int width = 61, height = 23;
  const std::vector<uint8_t> png = EncodePng(TestRgba(width, height), width, height);
  ASSERT_TRUE(IsPng(png));
  FramePixels ours, system;
  ASSERT_TRUE(DecodePng(png, &ours));
  // DecodeImage would take the same path for PNG: hand the system decoder
  // the bytes through a stream of its own instead.
  ASSERT_TRUE(DecodeImageWithSystem(png, &system));
  ASSERT_EQ(ours.width, width);
  ASSERT_EQ(ours.height, height);
  ASSERT_EQ(system.pixels.size(), ours.pixels.size());
  for (size_t i = 0; i < ours.pixels.size(); ++i) {
    const uint32_t a = ours.pixels[i], b = system.pixels[i];
    if ((a >> 24) == 255 || (a >> 24) == 0) {
      ASSERT_EQ(a, b) << "pixel " << i;
      continue;
    }
    // Half-transparent: the two may round the premultiplication apart by one.
    for (int shift = 0; shift < 32; shift += 8) {
      ASSERT_LE(std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)), 1) << "pixel " << i;
    }
  }
}

TEST(PngDecoderTest, RefusesWhatIsNotAWholePng) {
  std::vector<uint8_t> png = EncodePng(TestRgba(8, 8), 8, 8);
  FramePixels frame;
  std::vector<uint8_t> cut(png.begin(), png.begin() + png.size() / 2);
  EXPECT_FALSE(DecodePng(cut, &frame));
  std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
  EXPECT_FALSE(IsPng(text));
  EXPECT_FALSE(DecodePng(text, &frame));
}

}  // namespace
