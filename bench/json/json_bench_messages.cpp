#include "bench/json/json_bench_messages.h"

namespace {

const char* const kNames[] = {"可口可乐 330ml", "康师傅红烧牛肉面", "农夫山泉 550ml",
                              "面包（全麦）",   "鲜牛奶 1L",        "德芙巧克力",
                              "苹果（红富士）", "洗洁精 500g"};

std::string Item(size_t i) {
  return "{\"id\":" + std::to_string(10000 + i) + ",\"name\":\"" + kNames[i % 8] +
         "\",\"qty\":" + std::to_string(1 + i % 3) + ",\"price\":" + std::to_string(3 + i % 20) +
         ".50,\"memo\":\"会员价\\/促销\",\"ok\":true}";
}

}  // namespace

std::string MakeMessage(size_t approximate_size) {
  if (approximate_size <= 128) {
    return "{\"c\":\"pos\",\"a\":\"pay\",\"uid\":\"1001\",\"data\":{\"msg\":\"欢迎光临\","
           "\"total\":12.50}}";
  }
  std::string items;
  for (size_t i = 0; items.size() + 160 < approximate_size; ++i) {
    if (!items.empty()) items += ",";
    items += Item(i);
  }
  return "{\"c\":\"pos\",\"a\":\"cart\",\"uid\":\"1001\",\"notme\":false,\"data\":{\"title\":"
         "\"欢迎光临\",\"items\":[" +
         items + "],\"total\":128.00,\"note\":\"谢谢惠顾\"}}";
}
