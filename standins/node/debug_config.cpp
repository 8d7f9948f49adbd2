#include "standins/node/debug_config.h"

#include <cstdio>
#include <map>
#include <mutex>

namespace node_standin {
namespace {

constexpr char kShowDevTools[] = "showDevTools";

struct Record {
  int count = 0;
  std::string last;
};

std::mutex g_mutex;
std::map<std::string, Record>& Records() {
  static auto* records = new std::map<std::string, Record>();
  return *records;
}

}  // namespace

void RecordDebugConfig(const std::string& name, const std::string& value) {
  // Other switches of the real engine are accepted and have no effect here.
  if (name != kShowDevTools) return;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    Record& record = Records()[name];
    ++record.count;
    record.last = value;
  }
  std::fprintf(stderr, "node: %s requested: %s\n", name.c_str(), value.c_str());
  std::fflush(stderr);
}

int DebugConfigCount(const std::string& name) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto found = Records().find(name);
  return found == Records().end() ? 0 : found->second.count;
}

bool LastDebugConfig(const std::string& name, std::string* value) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto found = Records().find(name);
  if (found == Records().end()) return false;
  *value = found->second.last;
  return true;
}

}  // namespace node_standin
