#pragma once
// Reading the numbers that a JSON tree keeps as text.
#include <cstddef>
#include <cstdint>

namespace json_internal {

// The leading decimal integer, read like the C library's wide string-to-int64
// conversion: leading white space, an optional sign, digits; saturates at the
// int64 limits; 0 when there are no digits.
int64_t LeadingInt64(const char16_t* text, size_t size);
// The text read by the C library's decimal conversion; 0 when it is no number.
double TextToDouble(const char16_t* text, size_t size);
// Truncates toward zero, saturating at the int64 limits; NaN gives 0.
int64_t DoubleToInt64(double value);

}  // namespace json_internal
