#include "util/json_number.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace json_internal {

namespace {

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

}  // namespace

int64_t LeadingInt64(const char16_t* text, size_t size) {
  size_t i = 0;
  while (i < size && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < size && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // Accumulate toward the sign's side so that INT64_MIN itself fits.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (; i < size && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    int digit = text[i] - u'0';
    if (negative) {
      if (value < (kMin + digit) / 10) return kMin;
      value = value * 10 - digit;
    } else {
      if (value > (kMax - digit) / 10) return kMax;
      value = value * 10 + digit;
    }
  }
  return value;
}

double TextToDouble(const char16_t* text, size_t size) {
  std::string ascii;
  ascii.reserve(size);
  for (size_t i = 0; i < size && text[i] < 0x80 && text[i] != 0; ++i) {
    ascii.push_back(static_cast<char>(text[i]));
  }
  return std::strtod(ascii.c_str(), nullptr);
}

int64_t DoubleToInt64(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exactly representable; anything at or beyond it saturates.
  constexpr double kLimit = 9223372036854775808.0;
  if (value >= kLimit) return std::numeric_limits<int64_t>::max();
  if (value <= -kLimit) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

}  // namespace json_internal
