#pragma once
// Small text helpers of the restart guards' settings.
#include <cstdint>
#include <string>

// A non-empty run of decimal digits and nothing else, below 2^63; false otherwise.
bool ParseDecimal(const std::string& text, uint64_t* value);
