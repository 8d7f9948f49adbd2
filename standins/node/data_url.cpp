#include "standins/node/data_url.h"

namespace node_standin {
namespace {

constexpr char kScheme[] = "data:";
constexpr char kBase64Flag[] = ";base64";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+' || c == '-') return 62;
  if (c == '/' || c == '_') return 63;
  return -1;
}

bool DecodeBase64(const std::string& text, std::string* out) {
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    int value = Base64Value(c);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out->push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace

bool IsDataUrl(const std::string& url) {
  if (url.size() < sizeof(kScheme) - 1) return false;
  for (size_t i = 0; i + 1 < sizeof(kScheme); ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return false;
  }
  return true;
}

bool DecodeDataUrl(const std::string& url, std::string* body) {
  body->clear();
  if (!IsDataUrl(url)) return false;
  size_t comma = url.find(',');
  if (comma == std::string::npos) return false;
  std::string meta = url.substr(sizeof(kScheme) - 1, comma - (sizeof(kScheme) - 1));
  std::string payload = url.substr(comma + 1);
  size_t flag = sizeof(kBase64Flag) - 1;
  bool base64 = meta.size() >= flag && meta.compare(meta.size() - flag, flag, kBase64Flag) == 0;
  if (base64) return DecodeBase64(PercentDecode(payload), body);
  *body = PercentDecode(payload);
  return true;
}

}  // namespace node_standin
