// A picture of the whole page as a BMP file, for diagnostics.
#include <cstdint>
#include <cstring>

#include "page/bmp_file.h"
#include "page/engine_call.h"
#include "page/page_host.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize;
// 96 dots per inch, as pixels per metre.
constexpr int32_t kPixelsPerMetre = 3780;
// A page taller or wider than this, or a picture larger than the byte limit,
// is refused: the 32-bit process could not hold it.
constexpr int kMaxCaptureSide = 32767;
constexpr int64_t kMaxCaptureBytes = 128 * 1024 * 1024;

void Put16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}

void Put32(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

bool UsableSize(int width, int height) {
  if (width <= 0 || height <= 0) return false;
  if (width > kMaxCaptureSide || height > kMaxCaptureSide) return false;
  return int64_t{width} * height * 4 <= kMaxCaptureBytes;
}

}  // namespace

// A top-down 32-bit BMP file of width x height pixels (4 bytes each, in rows).
Bytes BuildBmpFile(int width, int height, const Bytes& pixels) {
  const uint32_t image_size = static_cast<uint32_t>(pixels.size());
  Bytes file;
  file.reserve(kPixelOffset + image_size);
  file += "BM";
  Put32(file, kPixelOffset + image_size);
  Put32(file, 0);  // reserved
  Put32(file, kPixelOffset);
  Put32(file, kInfoHeaderSize);
  Put32(file, static_cast<uint32_t>(width));
  Put32(file, static_cast<uint32_t>(-height));  // negative: rows run top-down
  Put16(file, 1);                               // planes
  Put16(file, 32);                              // bits per pixel
  Put32(file, BI_RGB);
  Put32(file, image_size);
  Put32(file, kPixelsPerMetre);
  Put32(file, kPixelsPerMetre);
  Put32(file, 0);  // colours used
  Put32(file, 0);  // important colours
  file += pixels;
  return file;
}

Bytes PageHost::CapturePage() {
  if (view_ == nullptr) return Bytes();
  const NodeApi& node = Node();
  RunJS("document.body.style.overflow='hidden'");
  const int old_width = GetWidth();
  const int old_height = GetHeight();
  const int width = GetContentWidth();
  const int height = GetContentHeight();
  Bytes file;
  if (UsableSize(width, height) && node.wkePaint != nullptr) {
    CallView(node.wkeResize, view_, width, height);
    Bytes pixels(static_cast<size_t>(width) * height * 4, '\0');
    node.wkePaint(view_, &pixels[0], width * 4);
    file = BuildBmpFile(width, height, pixels);
    CallView(node.wkeResize, view_, old_width, old_height);
  }
  RunJS("document.body.style.overflow='visible'");
  return file;
}
