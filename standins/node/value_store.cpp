#include "standins/node/value_store.h"

#include <cmath>
#include <deque>
#include <limits>

#include "standins/node/text_codec.h"

namespace node_standin {
namespace {

// The high word marks our encodings; the low word carries the payload.
constexpr uint32_t kTagBase = 0x4E4F0000;  // "NO"
enum Tag : uint32_t {
  kTagUndefined = kTagBase | 1,
  kTagNull = kTagBase | 2,
  kTagBoolean = kTagBase | 3,
  kTagInt = kTagBase | 4,
  kTagStored = kTagBase | 5,
};

int64_t Encode(uint32_t tag, uint32_t payload) {
  return static_cast<int64_t>((static_cast<uint64_t>(tag) << 32) | payload);
}

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

int64_t MakeUndefinedValue() { return Encode(kTagUndefined, 0); }
int64_t MakeNullValue() { return Encode(kTagNull, 0); }
int64_t MakeBooleanValue(bool value) { return Encode(kTagBoolean, value ? 1 : 0); }
int64_t MakeIntValue(int value) { return Encode(kTagInt, static_cast<uint32_t>(value)); }

std::u16string ValueText(const ValueData& value) {
  switch (value.kind) {
    case ValueKind::kUndefined:
      return u"undefined";
    case ValueKind::kNull:
      return u"null";
    case ValueKind::kBoolean:
      return value.number != 0 ? u"true" : u"false";
    case ValueKind::kInt:
      return Ascii(std::to_string(static_cast<int>(value.number)));
    default:
      return value.text;
  }
}

int ValueInt(const ValueData& value) {
  switch (value.kind) {
    case ValueKind::kBoolean:
    case ValueKind::kInt:
    case ValueKind::kNumber:
      return NumberToInt32(value.number);
    case ValueKind::kString:
      return StringToInt32(value.text);
    default:
      return 0;
  }
}

ValueStore& ValueStore::Instance() {
  static ValueStore* store = new ValueStore();  // never destroyed: values may be read at exit
  return *store;
}

int64_t ValueStore::Add(ValueData data) {
  std::lock_guard<std::mutex> lock(mutex_);
  uint32_t serial = next_serial_++;
  if (next_serial_ == 0) next_serial_ = 1;  // 0 never names a slot
  Slot& slot = slots_[serial % kCapacity];
  slot.serial = serial;
  slot.data = std::move(data);
  return Encode(kTagStored, serial);
}

ValueData ValueStore::Read(int64_t value) const {
  ValueData data;
  uint32_t tag = static_cast<uint32_t>(static_cast<uint64_t>(value) >> 32);
  uint32_t payload = static_cast<uint32_t>(value);
  switch (tag) {
    case kTagNull:
      data.kind = ValueKind::kNull;
      break;
    case kTagBoolean:
      data.kind = ValueKind::kBoolean;
      data.number = payload != 0 ? 1 : 0;
      break;
    case kTagInt:
      data.kind = ValueKind::kInt;
      data.number = static_cast<int>(payload);
      break;
    case kTagStored: {
      std::lock_guard<std::mutex> lock(mutex_);
      const Slot& slot = slots_[payload % kCapacity];
      if (payload != 0 && slot.serial == payload) data = slot.data;
      break;
    }
    default:
      break;
  }
  return data;
}

const char16_t* KeepTempText(std::u16string text) {
  static std::mutex mutex;
  static auto* texts = new std::deque<std::u16string>();
  std::lock_guard<std::mutex> lock(mutex);
  if (texts->size() >= kTempTexts) texts->pop_front();
  texts->push_back(std::move(text));
  return texts->back().c_str();
}

}  // namespace node_standin
