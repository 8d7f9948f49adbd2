// lumocheck.exe [FOLDER]: for a program folder (default: the tool's own),
// prints one line per outside library: its architecture, whether it loads
// here, and the looked-up functions it lacks; then "result=ok" or
// "result=fail". Exit code 0 when everything loads and is complete, 1 when
// anything is wrong, 2 for a wrong command line. The tool loads the libraries
// as Tarnlumo.exe does, so it must be of the program's architecture; it says
// so when the program beside it is not.
//
// lumocheck.exe --status [FOLDER]: prints the running program's status.json
// as key=value lines, then "result=ok" (exit code 0) when the status is fresh,
// the page is loaded and the link is up, or "result=fail" and a "reason=" line
// (exit code 1): for a monitoring agent or a remote script.
#include <windows.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "app/status_file.h"
#include "app/system_utils.h"
#include "ext/library_check.h"

namespace {

constexpr int kOk = 0;
constexpr int kWrong = 1;
constexpr int kUsage = 2;

std::string FolderArgument(int argc, char** argv, int at) {
  if (argc <= at) return ProcessDirectory();
  return WithTrailingBackslash(argv[at]);
}

int CheckStatus(const std::string& folder) {
  std::string path = folder + kStatusFileName;
  std::printf("file=%s\n", path.c_str());
  JsonDocument status;
  std::string reason;
  bool good = false;
  if (!ReadStatusFile(path, &status)) {
    reason = "no readable " + std::string(kStatusFileName) + " (the program never ran here?)";
  } else {
    for (const char* key : StatusKeys()) std::printf("%s=%s\n", key, status.GetText(key).c_str());
    int64_t written = 0;
    int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (ParseStatusTime(status.GetText("written"), &written))
      std::printf("age_seconds=%lld\n", static_cast<long long>(now - written));
    good = StatusIsGood(status, now, &reason);
  }
  std::printf("result=%s\n", good ? "ok" : "fail");
  if (!good) std::printf("reason=%s\n", reason.c_str());
  return good ? kOk : kWrong;
}

void PrintCheck(const LibraryCheck& check) {
  std::printf("%s arch=%s", check.file.c_str(), check.arch.empty() ? "none" : check.arch.c_str());
  if (!check.found) {
    std::printf(" load=missing");
  } else if (!check.loaded) {
    std::printf(" load=failed error=%lu", static_cast<unsigned long>(check.error));
    if (check.error == ERROR_BAD_EXE_FORMAT) std::printf(" (another architecture?)");
    std::printf(" text=%s", SystemErrorText(check.error, check.file).c_str());
    std::string absent;
    for (const std::string& name : check.absent) absent += (absent.empty() ? "" : ",") + name;
    if (!absent.empty()) std::printf(" needs=%s", absent.c_str());
  } else {
    std::printf(" load=ok");
  }
  std::string missing;
  for (const std::string& function : check.missing)
    missing += (missing.empty() ? "" : ",") + function;
  if (check.loaded) std::printf(" missing=%s", missing.c_str());
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  bool status = argc >= 2 && std::string(argv[1]) == "--status";
  if (argc > (status ? 3 : 2) ||
      (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))) {
    std::fprintf(stderr,
                 "usage: lumocheck.exe [program folder]\n"
                 "       lumocheck.exe --status [program folder]\n");
    return kUsage;
  }
  if (status) return CheckStatus(FolderArgument(argc, argv, 2));
  std::string folder = FolderArgument(argc, argv, 1);
  bool all_ok = true;
  std::string program_arch = PeArch(folder + "Tarnlumo.exe");
  std::printf("folder=%s\n", folder.c_str());
  std::printf("Tarnlumo.exe arch=%s tool_arch=%s\n",
              program_arch.empty() ? "none" : program_arch.c_str(), OwnArch());
  if (!program_arch.empty() && program_arch != OwnArch()) {
    std::printf("note=the program is %s: use the %s build of lumocheck.exe\n", program_arch.c_str(),
                program_arch.c_str());
    all_ok = false;
  }
  for (const OutsideLibrary& library : OutsideLibraries()) {
    LibraryCheck check = CheckLibrary(folder, library);
    PrintCheck(check);
    all_ok = all_ok && check.ok();
  }
  std::printf("result=%s\n", all_ok ? "ok" : "fail");
  return all_ok ? kOk : kWrong;
}
