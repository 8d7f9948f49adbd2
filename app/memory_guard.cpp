#include "app/memory_guard.h"

#include <windows.h>
// after windows.h
#include <psapi.h>

#include "app/guard_text.h"
#include "net/url_text.h"

namespace {

constexpr uint64_t kBytesPerMb = 1024 * 1024;

// Committed private memory, region by region, as the address space map tells
// it: the same figure where the counters leave PrivateUsage at 0 (Wine does).
uint64_t PrivateFromAddressSpace() {
  uint64_t total = 0;
  MEMORY_BASIC_INFORMATION region = {};
  const BYTE* address = nullptr;
  while (::VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

}  // namespace

uint64_t DefaultMemoryLimitMb() {
  return sizeof(void*) == 4 ? kDefaultMemoryLimitMb32 : kDefaultMemoryLimitMb64;
}

MemoryLimit ParseMemoryLimit(const std::string& text, uint64_t default_mb) {
  MemoryLimit limit;
  limit.mb = default_mb;
  std::string value = TrimBlanksAndControls(text);
  if (value.empty()) return limit;
  uint64_t mb = 0;
  bool number = ParseDecimal(value, &mb);
  if (number && mb == 0) {
    limit.mb = 0;
    return limit;
  }
  if (number && mb >= kMinMemoryLimitMb && mb <= kMaxMemoryLimitMb) {
    limit.mb = mb;
    return limit;
  }
  limit.problem = std::string(kMemoryLimitKey) + "=" + text + " 无效(0 或 " +
                  std::to_string(kMinMemoryLimitMb) + "-" + std::to_string(kMaxMemoryLimitMb) +
                  "),按默认 " + std::to_string(default_mb) + "MB";
  return limit;
}

bool ReadPrivateBytes(uint64_t* bytes) {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  // K32GetProcessMemoryInfo lives in kernel32 itself (Windows 7 on), so no
  // extra import library is needed.
  if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(),
                                 reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof(counters))) {
    return false;
  }
  *bytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : PrivateFromAddressSpace();
  return *bytes != 0;
}

std::string MemoryRestartReason(uint64_t private_bytes, uint64_t limit_mb) {
  if (limit_mb == 0 || private_bytes <= limit_mb * kBytesPerMb) return "";
  return "reason:memory private:" + std::to_string(private_bytes / kBytesPerMb) +
         "MB limit:" + std::to_string(limit_mb) + "MB";
}
