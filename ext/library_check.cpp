#include "ext/library_check.h"

#include <cstdio>

#include "app/event_report.h"
#include "app/system_utils.h"
#include "ext/common_api.h"
#include "ext/curl_api.h"
#include "ext/hpsocket_api.h"
#include "ext/node_api.h"
#include "ext/pe_imports.h"
#include "log/log_file.h"

namespace {

constexpr char kCategory[] = "库加载";
// The usual cause of error 193: a DLL of the other target (32-/64-bit) beside
// the program.
constexpr DWORD kBadExeFormat = ERROR_BAD_EXE_FORMAT;

#define LUMO_FUNCTION_NAME(name, type) #name,

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

}  // namespace

const std::vector<OutsideLibrary>& OutsideLibraries() {
  static const std::vector<OutsideLibrary> libraries = {
      {"libcurl.dll", {CURL_FUNCTIONS(LUMO_FUNCTION_NAME)}},
      {"common.dll", {COMMON_DLL_FUNCTIONS(LUMO_FUNCTION_NAME)}},
      {"node.dll", {NODE_DLL_FUNCTIONS(LUMO_FUNCTION_NAME)}},
      {"HPSocket4C.dll", {HPSOCKET_DLL_FUNCTIONS(LUMO_FUNCTION_NAME)}},
  };
  return libraries;
}

std::string PeArch(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return "";
  unsigned char dos[64] = {};
  unsigned char header[6] = {};
  std::string arch;
  if (fread(dos, 1, sizeof(dos), file) == sizeof(dos) && dos[0] == 'M' && dos[1] == 'Z') {
    long pe = dos[60] | dos[61] << 8 | dos[62] << 16 | static_cast<long>(dos[63]) << 24;
    if (fseek(file, pe, SEEK_SET) == 0 &&
        fread(header, 1, sizeof(header), file) == sizeof(header) && header[0] == 'P' &&
        header[1] == 'E') {
      unsigned machine = header[4] | header[5] << 8;
      if (machine == 0x014c) arch = "i686";
      if (machine == 0x8664) arch = "x86_64";
    }
  }
  fclose(file);
  return arch;
}

const char* OwnArch() {
#if defined(_WIN64)
  return "x86_64";
#else
  return "i686";
#endif
}

std::string SystemErrorText(DWORD error, const std::string& file) {
  char text[512] = {};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof(text), nullptr);
  std::string message = length ? Trimmed(std::string(text, length)) : "";
  size_t insert = message.find("%1");
  if (insert != std::string::npos) message.replace(insert, 2, file);
  return message;
}

LibraryCheck CheckLibrary(const std::string& folder, const OutsideLibrary& library) {
  LibraryCheck check;
  check.file = library.file;
  std::string path = folder + library.file;
  check.found = ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  check.arch = PeArch(path);
  // The library's own dependencies are looked for in its folder first, as
  // they are for the program there (whose folder that is): a plain load by
  // full path would look in this process's folder first, which may not be
  // the one checked. The library stays loaded, as it does in the program.
  HMODULE module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    check.error = ::GetLastError();
    if (check.found && check.error == ERROR_MOD_NOT_FOUND)
      check.absent = AbsentDependencies(folder, check.file);
    return check;
  }
  check.loaded = true;
  for (const char* function : library.functions) {
    if (::GetProcAddress(module, function) == nullptr) check.missing.push_back(function);
  }
  return check;
}

void LogLibraryProblems() {
  std::string folder = ProcessDirectory();
  for (const OutsideLibrary& library : OutsideLibraries()) {
    LibraryCheck check = CheckLibrary(folder, library);
    if (!check.loaded) {
      std::string line = check.file + " 无法加载 error:" + std::to_string(check.error) + " " +
                         SystemErrorText(check.error, check.file);
      if (check.error == kBadExeFormat)
        line += " (多半是另一架构的DLL: 本程序为" + std::string(OwnArch()) +
                (check.arch.empty() ? "" : ", 该文件为" + check.arch) + ")";
      for (const std::string& absent : check.absent) line += " 缺少依赖:" + absent;
      WriteLog(kCategory, line);
      ReportToEventLog(EventId::kLibraryLoad, line);
      continue;
    }
    for (const std::string& function : check.missing) {
      WriteLog(kCategory, check.file + " 缺少函数 " + function);
      ReportToEventLog(EventId::kLibraryLoad, check.file + " 缺少函数 " + function);
    }
  }
}
