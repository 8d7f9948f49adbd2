#include "app/system_utils.h"

#include <shlwapi.h>
#include <windows.h>

#include "app/com_dispatch.h"
#include "ext/common_api.h"

namespace {

constexpr char kDefaultPrivilege[] = "SeDebugPrivilege";
constexpr ULONG kSystemTimeOfDayInformation = 3;

TickCountSource g_tick_source = nullptr;

unsigned long ReadTickCount() { return g_tick_source ? g_tick_source() : ::GetTickCount(); }

using NtQuerySystemInformationFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);

// Uptime from the boot time the kernel reports; used when the 32-bit tick
// count has wrapped into negative values (after about 24.8 days).
bool UptimeFromBootTime(int64_t* uptime_ms) {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  auto query = ntdll ? reinterpret_cast<NtQuerySystemInformationFn>(reinterpret_cast<void*>(
                           ::GetProcAddress(ntdll, "NtQuerySystemInformation")))
                     : nullptr;
  if (query == nullptr) return false;
  unsigned char buffer[32] = {};
  if (query(kSystemTimeOfDayInformation, buffer, sizeof(buffer), nullptr) != 0) return false;
  int64_t boot_time = 0;
  int64_t current_time = 0;
  memcpy(&boot_time, buffer + 0, sizeof(boot_time));
  memcpy(&current_time, buffer + 8, sizeof(current_time));
  *uptime_ms = (current_time - boot_time) / 10000;
  return true;
}

}  // namespace

void SetTickCountSourceForTest(TickCountSource source) { g_tick_source = source; }

bool EnablePrivilege(const std::string& name) {
  const char* privilege = name.empty() ? kDefaultPrivilege : name.c_str();
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token) || !token) {
    return false;
  }
  TOKEN_PRIVILEGES privileges = {};
  if (!::LookupPrivilegeValueA(nullptr, privilege, &privileges.Privileges[0].Luid)) {
    ::CloseHandle(token);
    return false;
  }
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  BOOL adjusted = ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  ::CloseHandle(token);
  return adjusted != FALSE;
}

namespace {
std::string ModuleFileName() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD length = ::GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return "";
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}
}  // namespace

std::string ProcessDirectory() { return DirectoryOf(ModuleFileName()); }

std::string ProcessFileName() { return ::PathFindFileNameA(ModuleFileName().c_str()); }

std::string StripTrailingBackslash(const std::string& path) {
  if (path.empty()) return "";
  std::string copy = path;
  copy.reserve(copy.size() + 1);
  ::PathRemoveBackslashA(&copy[0]);
  copy.resize(strlen(copy.c_str()));
  return copy;
}

std::string WithTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + "\\";
}

std::string DirectoryOf(const std::string& path) {
  if (path.empty()) return "";
  std::string folder = StripTrailingBackslash(path);
  folder.push_back('\0');
  ::PathRemoveFileSpecA(&folder[0]);
  folder.resize(strlen(folder.c_str()));
  return WithTrailingBackslash(folder);
}

std::string GetPcName() {
  auto get_pc_name = Common().fun_GetPCName;
  if (get_pc_name == nullptr) return "";
  const char* name = get_pc_name();
  return name ? name : "";
}

int64_t UptimeMs() {
  int64_t ticks = static_cast<int32_t>(ReadTickCount());
  if (ticks > 0) return ticks;
  int64_t uptime = 0;
  if (UptimeFromBootTime(&uptime)) return uptime;
  return ticks;
}

std::string FileExtension(const std::string& path) {
  if (path.empty()) return "";
  return ::PathFindExtensionA(path.c_str());
}

std::string FileVersion(const std::string& path) {
  if (path.empty()) return "";
  ComScope com;
  DispatchObject file_system = DispatchObject::Create("Scripting.FileSystemObject");
  std::string version;
  if (file_system.IsValid()) file_system.CallText("GetFileVersion", {path}, &version);
  return version;
}
