#pragma once
#include "log/text_encoding.h"

// A BMP file of 32-bit pixels in top-down rows (width x height x 4 bytes):
// 14-byte file header, 40-byte info header with a negative height, pixels.
Bytes BuildBmpFile(int width, int height, const Bytes& pixels);
