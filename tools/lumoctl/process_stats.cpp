#include "tools/lumoctl/process_stats.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <vector>

#include "util/scoped_handle.h"

namespace {

// NtQuerySystemInformation's list of every open handle in the system: the
// fallback where GetProcessHandleCount does not work for another process.
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr ULONG kMaxHandleListBytes = 64u << 20;

struct HandleEntry {
  ULONG owner_pid;
  BYTE object_type;
  BYTE flags;
  USHORT handle;
  PVOID object;
  ACCESS_MASK access;
};
struct HandleList {
  ULONG count;
  HandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// A live process always holds some handles, threads and memory: a call that
// "succeeds" with zero has not really read the figure.
bool Counted(long long value) { return value > 0; }

long long HandlesFromSystemList(DWORD process_id) {
  auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  std::vector<BYTE> buffer(1u << 16);
  for (;;) {
    ULONG needed = 0;
    LONG status =
        query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch && buffer.size() < kMaxHandleListBytes) {
      buffer.resize(needed > buffer.size() ? needed + 4096 : buffer.size() * 2);
      continue;
    }
    if (status < 0) return -1;
    break;
  }
  const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
  long long count = 0;
  for (ULONG i = 0; i < list->count; ++i) {
    if (list->entries[i].owner_pid == process_id) ++count;
  }
  return count;
}

long long ThreadsFromSnapshot(DWORD process_id) {
  ScopedKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot.IsValid()) return -1;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  long long count = 0;
  for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more;
       more = ::Thread32Next(snapshot.Get(), &entry)) {
    if (entry.th32OwnerProcessID == process_id) ++count;
  }
  return count;
}

long long ThreadsFromProcessList(DWORD process_id) {
  ScopedKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return -1;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot.Get(), &entry); more;
       more = ::Process32Next(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID == process_id) return entry.cntThreads;
  }
  return -1;
}

long long PrivateFromMemoryInfo(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  if (!::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
    return -1;
  }
  return static_cast<long long>(counters.PrivateUsage);
}

// Committed private memory, region by region, as the process's address
// space map tells it.
long long PrivateFromAddressSpace(HANDLE process) {
  long long total = 0;
  MEMORY_BASIC_INFORMATION region = {};
  const BYTE* address = nullptr;
  while (::VirtualQueryEx(process, address, &region, sizeof(region)) == sizeof(region)) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      total += static_cast<long long>(region.RegionSize);
    }
    const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  return total;
}

}  // namespace

bool ReadProcessStats(DWORD process_id, ProcessStats* stats) {
  ScopedKernelHandle process(
      ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
  if (!process.IsValid()) return false;
  DWORD handles = 0;
  if (::GetProcessHandleCount(process.Get(), &handles) && Counted(handles)) {
    stats->handles = handles;
    stats->handles_from = "GetProcessHandleCount";
  } else if (Counted(stats->handles = HandlesFromSystemList(process_id))) {
    stats->handles_from = "SystemHandleInformation";
  }
  if (Counted(stats->threads = ThreadsFromSnapshot(process_id))) {
    stats->threads_from = "Thread32First";
  } else if (Counted(stats->threads = ThreadsFromProcessList(process_id))) {
    stats->threads_from = "Process32First";
  }
  if (Counted(stats->private_bytes = PrivateFromMemoryInfo(process.Get()))) {
    stats->private_bytes_from = "GetProcessMemoryInfo";
  } else if (Counted(stats->private_bytes = PrivateFromAddressSpace(process.Get()))) {
    stats->private_bytes_from = "VirtualQueryEx";
  }
  return true;
}
