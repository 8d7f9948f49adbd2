#include "standins/node/value_store.h"

#include <gtest/gtest.h>

namespace node_standin {
namespace {

TEST(ValueStore, ImmediateValuesReadBack) {
  ValueStore& store = ValueStore::Instance();
  EXPECT_EQ(store.Read(MakeUndefinedValue()).kind, ValueKind::kUndefined);
  EXPECT_EQ(ValueText(store.Read(MakeNullValue())), u"null");
  EXPECT_EQ(ValueText(store.Read(MakeBooleanValue(true))), u"true");
  EXPECT_EQ(ValueInt(store.Read(MakeBooleanValue(true))), 1);
  EXPECT_EQ(ValueText(store.Read(MakeIntValue(-12))), u"-12");
  EXPECT_EQ(ValueInt(store.Read(MakeIntValue(-2147483647 - 1))), -2147483647 - 1);
}

TEST(ValueStore, StoredStringReadsAsTextAndNumber) {
  ValueData data;
  data.kind = ValueKind::kString;
  data.text = u" 17 ";
  int64_t value = ValueStore::Instance().Add(data);
  ValueData read = ValueStore::Instance().Read(value);
  EXPECT_EQ(read.kind, ValueKind::kString);
  EXPECT_EQ(ValueText(read), u" 17 ");
  EXPECT_EQ(ValueInt(read), 17);
}

TEST(ValueStore, ForeignAndEvictedValuesAreUndefined) {
  ValueStore& store = ValueStore::Instance();
  EXPECT_EQ(store.Read(0).kind, ValueKind::kUndefined);
  EXPECT_EQ(store.Read(-1).kind, ValueKind::kUndefined);
  EXPECT_EQ(store.Read(0x1234567812345678LL).kind, ValueKind::kUndefined);
  ValueData data;
  data.kind = ValueKind::kString;
  data.text = u"old";
  int64_t old_value = store.Add(data);
  for (uint32_t i = 0; i < ValueStore::kCapacity; ++i)
    store.Add(ValueData{ValueKind::kNumber, 1.5, u"1.5"});
  EXPECT_EQ(store.Read(old_value).kind, ValueKind::kUndefined);
}

TEST(ValueStore, TempTextsStayValidForTheDocumentedWindow) {
  const char16_t* first = KeepTempText(u"first");
  for (size_t i = 0; i + 2 < kTempTexts; ++i) KeepTempText(u"filler");
  EXPECT_EQ(std::u16string(first), u"first");
}

}  // namespace
}  // namespace node_standin
