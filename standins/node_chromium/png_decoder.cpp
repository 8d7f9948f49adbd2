#include "png_decoder.h"

#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb/stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {
const uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

uint32_t Scale(uint8_t channel, uint8_t alpha) { return (channel * alpha + 127) / 255; }
}  // namespace

bool IsPng(const std::vector<uint8_t>& encoded) {
  return encoded.size() >= sizeof(kPngSignature) &&
         std::memcmp(encoded.data(), kPngSignature, sizeof(kPngSignature)) == 0;
}

uint32_t PremultipliedBgra(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  if (a == 255) return 0xff000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
  return (uint32_t{a} << 24) | (Scale(r, a) << 16) | (Scale(g, a) << 8) | Scale(b, a);
}

bool DecodePng(const std::vector<uint8_t>& encoded, FramePixels* frame) {
  if (!IsPng(encoded)) return false;
  int width = 0, height = 0, channels = 0;
  stbi_uc* rgba = stbi_load_from_memory(encoded.data(), static_cast<int>(encoded.size()), &width,
                                        &height, &channels, 4);
  if (!rgba) return false;
  frame->width = width;
  frame->height = height;
  const size_t count = static_cast<size_t>(width) * height;
  frame->pixels.resize(count);
  const stbi_uc* in = rgba;
  for (size_t i = 0; i < count; ++i, in += 4) {
    frame->pixels[i] = PremultipliedBgra(in[0], in[1], in[2], in[3]);
  }
  stbi_image_free(rgba);
  return width > 0 && height > 0;
}
