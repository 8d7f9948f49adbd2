// Our stand-in of the companion library common.dll: the PC name, the login
// text and a recorder of update hand-offs. Standard call, undecorated names.
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>

namespace {

std::mutex g_lock;
std::string g_pc_name;
std::string g_last_message;

std::string DllFolder() {
  HMODULE self = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<const char*>(&DllFolder), &self);
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(self, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// JSON string contents; the texts are code page 936 bytes, passed through.
std::string Quoted(const char* text) {
  std::string out = "\"";
  for (const char* p = text ? text : ""; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += *p;
    } else if (c < 0x20) {
      char escaped[8];
      snprintf(escaped, sizeof(escaped), "\\u%04x", c);
      out += escaped;
    } else {
      out += *p;
    }
  }
  return out + "\"";
}

std::string Argument(const char* text) { return text ? text : "(null)"; }

// With "common_update_delay_ms.txt" beside the library, a visible hand-off
// (the tray's) keeps running inside the library for that many milliseconds,
// busy all the time, as a real updater busy with its download would: the
// program must be able to end meanwhile without the library vanishing under
// it (a library freed at exit makes this thread fault at once).
void StayBusyIfAsked(const char* visibility) {
  if (visibility == nullptr || *visibility != '\0') return;
  FILE* file = fopen((DllFolder() + "common_update_delay_ms.txt").c_str(), "rb");
  if (!file) return;
  unsigned long delay_ms = 0;
  if (fscanf(file, "%lu", &delay_ms) != 1) delay_ms = 0;
  fclose(file);
  DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < delay_ms) {
  }
}

bool RecordUpdateCall(const char* const (&args)[9]) {
  std::lock_guard<std::mutex> hold(g_lock);
  std::string line;
  for (const char* arg : args) {
    if (!line.empty()) line += '|';
    line += Argument(arg);
  }
  line += "\r\n";
  std::string path = DllFolder() + "common_update_calls.txt";
  FILE* file = fopen(path.c_str(), "ab");
  if (!file) return false;
  fwrite(line.data(), 1, line.size(), file);
  fclose(file);
  return true;
}

}  // namespace

extern "C" {

__declspec(dllexport) const char* __stdcall fun_GetPCName() {
  std::lock_guard<std::mutex> hold(g_lock);
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  g_pc_name = ::GetComputerNameA(name, &size) ? name : "";
  return g_pc_name.c_str();
}

#ifndef LUMO_COMMON_WITHOUT_FUN_MSG
// The login text: {"c":"sys","a":"<command>","data":{"app":"<app>","pcname":"<pc>"}}.
__declspec(dllexport) const char* __stdcall _fun_msg(const char* command, const char* app,
                                                     const char* pc_name, const char* extra) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_last_message = "{\"c\":\"sys\",\"a\":" + Quoted(command) + ",\"data\":{\"app\":" + Quoted(app) +
                   ",\"pcname\":" + Quoted(pc_name) + "}}";
  return g_last_message.c_str();
}

#endif

// Records the nine arguments as one line of "common_update_calls.txt" beside
// the library ("|" between them, "(null)" for a null pointer) and does
// nothing else.
__declspec(dllexport) int __stdcall _fun_update(const char* a1, const char* a2, const char* a3,
                                                const char* a4, const char* a5, const char* a6,
                                                const char* a7, const char* a8, const char* a9) {
  if (!RecordUpdateCall({a1, a2, a3, a4, a5, a6, a7, a8, a9})) return 0;
  StayBusyIfAsked(a4);
  return 1;
}

}  // extern "C"
