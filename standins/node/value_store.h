#pragma once
// Script values as the interface passes them: 64-bit integers. Small values
// (undefined, null, booleans, 32-bit integers) are encoded in the integer
// itself; strings, other numbers and objects are kept in a bounded store and
// the integer names their slot. A value that was never issued, or whose slot
// has since been reused, reads as undefined: a stale value can give a wrong
// answer but never a crash.
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace node_standin {

enum class ValueKind { kUndefined, kNull, kBoolean, kInt, kNumber, kString, kObject };

struct ValueData {
  ValueKind kind = ValueKind::kUndefined;
  double number = 0;  // booleans 0/1, integers, numbers; NaN for strings and objects
  std::u16string
      text;  // the value's ToString (numbers and objects as the script engine wrote them)
  // Objects: the script heap that holds them and their slot in its table of
  // kept objects (0: not kept), so jsGet can read their properties later.
  uint32_t heap = 0;
  uint32_t ref = 0;
};

int64_t MakeUndefinedValue();
int64_t MakeNullValue();
int64_t MakeBooleanValue(bool value);
int64_t MakeIntValue(int value);

// The text and integer readings of any value, as JavaScript's String() and
// ToInt32 give them.
std::u16string ValueText(const ValueData& value);
int ValueInt(const ValueData& value);

class ValueStore {
 public:
  static ValueStore& Instance();

  // Holds a string, number or object reading and returns its value.
  int64_t Add(ValueData data);
  // Reads any value, immediate or stored; unknown values are undefined.
  ValueData Read(int64_t value) const;

  // Slots kept; the oldest entry is reused first.
  static constexpr uint32_t kCapacity = 4096;

 private:
  struct Slot {
    uint32_t serial = 0;
    ValueData data;
  };
  mutable std::mutex mutex_;
  std::vector<Slot> slots_ = std::vector<Slot>(kCapacity);
  uint32_t next_serial_ = 1;
};

// jsToTempStringW's texts: each stays valid while the next kTempTexts - 1
// texts are handed out, which covers any one native call's arguments.
const char16_t* KeepTempText(std::u16string text);
constexpr size_t kTempTexts = 1024;

}  // namespace node_standin
