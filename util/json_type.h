#pragma once
// What a JSON node holds; kMissing stands for a path that leads nowhere.
#include <cstdint>

enum class JsonType : uint8_t { kMissing, kNull, kBool, kInt64, kDouble, kString, kArray, kObject };
