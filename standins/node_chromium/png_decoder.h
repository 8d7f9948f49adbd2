#pragma once
// PNG frames decoded in this module (stb_image) into premultiplied BGRA,
// without the system's imaging component: the browser sends every frame as
// PNG, and under Wine the imaging component takes several times as long.
#include <cstdint>
#include <vector>

#include "frame_decoder.h"

// True when the bytes start with the PNG signature.
bool IsPng(const std::vector<uint8_t>& encoded);
// Decodes a PNG image; false when it is not one or is damaged.
bool DecodePng(const std::vector<uint8_t>& encoded, FramePixels* frame);
// One straight RGBA pixel as premultiplied BGRA (rounded to nearest).
uint32_t PremultipliedBgra(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
