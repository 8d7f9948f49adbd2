#pragma once
// Frames of the page as the browser sends them (base64 PNG) turned into
// 32-bit premultiplied BGRA pixels, top row first, ready for a layered window.
// Uses WIC; the calling thread must have COM initialised.
#include <cstdint>
#include <string>
#include <vector>

struct FramePixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // width * height, premultiplied BGRA
};

// Standard base64 (padding optional, whitespace skipped); false on a bad character.
bool DecodeBase64(const std::string& text, std::vector<uint8_t>* bytes);
// Decodes an encoded image (PNG with our own decoder, anything else with WIC);
// false when it cannot.
bool DecodeImage(const std::vector<uint8_t>& encoded, FramePixels* frame);
// Decodes with WIC whatever the format.
bool DecodeImageWithSystem(const std::vector<uint8_t>& encoded, FramePixels* frame);
