#pragma once
// The memory guard's half of the restart guards: how much private memory the
// program holds, the limit from [local] maxmemorymb, and the reason text when
// the one is over the other. A program that slowly grows (a page that leaks,
// an engine that fragments) is restarted in an orderly way long before it
// fails an allocation somewhere nobody checks.
#include <cstdint>
#include <string>

inline constexpr char kMemoryLimitKey[] = "maxmemorymb";

// The default limit: a 32-bit program fails at 2 GB of address space anyway,
// so it is restarted well before; a 64-bit one only when clearly runaway.
inline constexpr uint64_t kDefaultMemoryLimitMb32 = 1400;
inline constexpr uint64_t kDefaultMemoryLimitMb64 = 4096;
// Limits outside these bounds are refused: a tiny one would restart the
// program every check, a huge one is a typing error.
inline constexpr uint64_t kMinMemoryLimitMb = 64;
inline constexpr uint64_t kMaxMemoryLimitMb = 1024 * 1024;

uint64_t DefaultMemoryLimitMb();

// The value of maxmemorymb read: the limit in MB (0 = guard off) and, for a
// value that could not be used, a log text saying so (the default applies).
struct MemoryLimit {
  uint64_t mb = 0;
  std::string problem;
};
// `text` as read from config.ini; missing or blank gives the default.
MemoryLimit ParseMemoryLimit(const std::string& text, uint64_t default_mb);

// The process's private bytes (commit charge: PrivateUsage of the process
// memory counters, or the committed private regions of the address space
// where the counters leave it at 0); false when they could not be read.
bool ReadPrivateBytes(uint64_t* bytes);

// "reason:memory private:<n>MB limit:<m>MB" when `private_bytes` exceed the
// limit (a limit of 0 never does), else empty.
std::string MemoryRestartReason(uint64_t private_bytes, uint64_t limit_mb);
