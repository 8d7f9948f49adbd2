#include "app/update_handoff.h"

#include <string>

#include "app/app_state.h"
#include "ext/common_api.h"
#include "log/log_file.h"
#include "util/fault_point.h"

namespace {

constexpr char kUpdateDataFile[] = "TarnUpdate.dat";
constexpr char kProductName[] = "POS背屏";
constexpr char kHiddenText[] = "hide";
constexpr char kTempFolderName[] = "temp";
constexpr char kUpdateKind[] = "a";

DWORD WINAPI HandOffThread(void* argument) {
  HandOffUpdate(static_cast<UpdateMode>(reinterpret_cast<INT_PTR>(argument)));
  FaultPoint(FaultSite::kUpdateHandOff);
  return 0;
}

}  // namespace

void HandOffUpdate(UpdateMode mode) {
  auto update = Common()._fun_update;
  if (update == nullptr) return;
  const AppState& app = App();
  std::string data_file = app.run_directory + kUpdateDataFile;
  std::string program_file = std::string("Tarn") + kAppName + ".exe";
  // The visible mode passes an empty text, never a null pointer.
  const char* visibility = mode == UpdateMode::kVisible ? "" : kHiddenText;
  update(data_file.c_str(), kProductName, kMainWindowTitle, visibility, nullptr, kTempFolderName,
         nullptr, kUpdateKind, program_file.c_str());
}

void HandOffUpdateDetached(UpdateMode mode) {
  StartThread(HandOffThread, reinterpret_cast<void*>(static_cast<INT_PTR>(mode)));
}
