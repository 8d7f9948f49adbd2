#include "frame_decoder.h"

#include <wincodec.h>
#include <windows.h>

#include "png_decoder.h"

namespace {

int Base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Owns one COM interface pointer.
template <typename T>
class ComPointer {
 public:
  ComPointer() = default;
  ~ComPointer() {
    if (pointer_) pointer_->Release();
  }
  ComPointer(const ComPointer&) = delete;
  ComPointer& operator=(const ComPointer&) = delete;
  T* operator->() const { return pointer_; }
  T* Get() const { return pointer_; }
  T** Receive() { return &pointer_; }

 private:
  T* pointer_ = nullptr;
};

}  // namespace

bool DecodeBase64(const std::string& text, std::vector<uint8_t>* bytes) {
  bytes->clear();
  bytes->reserve(text.size() * 3 / 4);
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    if (c == '\n' || c == '\r' || c == ' ' || c == '\t') continue;
    int digit = Base64Digit(c);
    if (digit < 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(digit);
    if (++count == 4) {
      bytes->push_back(static_cast<uint8_t>(bits >> 16));
      bytes->push_back(static_cast<uint8_t>(bits >> 8));
      bytes->push_back(static_cast<uint8_t>(bits));
      bits = 0;
      count = 0;
    }
  }
  if (count == 1) return false;  // six bits make no byte
  if (count == 2) bytes->push_back(static_cast<uint8_t>(bits >> 4));
  if (count == 3) {
    bytes->push_back(static_cast<uint8_t>(bits >> 10));
    bytes->push_back(static_cast<uint8_t>(bits >> 2));
  }
  return true;
}

bool DecodeImage(const std::vector<uint8_t>& encoded, FramePixels* frame) {
  if (IsPng(encoded)) return DecodePng(encoded, frame);
  return DecodeImageWithSystem(encoded, frame);
}

bool DecodeImageWithSystem(const std::vector<uint8_t>& encoded, FramePixels* frame) {
  if (encoded.empty()) return false;
  ComPointer<IWICImagingFactory> factory;
  ComPointer<IWICStream> stream;
  ComPointer<IWICBitmapDecoder> decoder;
  ComPointer<IWICBitmapFrameDecode> source;
  ComPointer<IWICBitmapSource> converted;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.Receive()))) ||
      FAILED(factory->CreateStream(stream.Receive())) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(encoded.data()),
                                          static_cast<DWORD>(encoded.size()))) ||
      FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              decoder.Receive())) ||
      FAILED(decoder->GetFrame(0, source.Receive())) ||
      FAILED(::WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, source.Get(),
                                      converted.Receive()))) {
    return false;
  }
  UINT width = 0, height = 0;
  if (FAILED(converted->GetSize(&width, &height)) || width == 0 || height == 0) return false;
  frame->width = static_cast<int>(width);
  frame->height = static_cast<int>(height);
  frame->pixels.assign(static_cast<size_t>(width) * height, 0);
  UINT stride = width * 4;
  return SUCCEEDED(converted->CopyPixels(nullptr, stride, stride * height,
                                         reinterpret_cast<BYTE*>(frame->pixels.data())));
}
