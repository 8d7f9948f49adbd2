#include "app/shortcuts.h"

#include <shlobj.h>
#include <windows.h>

#include "app/app_state.h"
#include "app/com_dispatch.h"
#include "app/system_utils.h"
#include "log/text_encoding.h"

namespace {

// The Windows Script Host shell as its type library names it.
constexpr wchar_t kShellTypeLibrary[] = L"wshom.ocx";
constexpr wchar_t kShellClassName[] = L"WshShell";

std::string TargetThroughScriptHost(const std::string& shortcut_path) {
  ComScope com;
  DispatchObject shell = DispatchObject::CreateFromTypeLibrary(kShellTypeLibrary, kShellClassName);
  std::string target;
  if (!shell.IsValid()) return target;
  DispatchObject shortcut = shell.CallObject("CreateShortcut", {shortcut_path});
  if (shortcut.IsValid()) shortcut.GetText("TargetPath", &target);
  return target;
}

// The script host cannot read an existing shortcut under Wine; the shell-link
// interfaces can, on Wine and Windows alike.
std::string TargetThroughShellLink(const std::string& shortcut_path) {
  ComScope com;
  IShellLinkW* link = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    return "";
  }
  std::string target;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    Bytes wide_path = AnsiToWide(shortcut_path);
    wchar_t buffer[MAX_PATH * 4] = {};
    if (wide_path.size() >= 2 &&
        SUCCEEDED(file->Load(reinterpret_cast<const wchar_t*>(wide_path.data()), STGM_READ)) &&
        SUCCEEDED(link->GetPath(buffer, MAX_PATH * 4, nullptr, SLGP_RAWPATH))) {
      target = WideToAnsi(buffer);
    }
    file->Release();
  }
  link->Release();
  return target;
}

std::string DefaultIconLocation(const std::string& target) {
  if (FileExtension(target).empty()) return "SHELL32.dll,4";
  return target + ",0";
}

}  // namespace

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) return "";
  return WithTrailingBackslash(path);
}

std::string ReadShortcutTarget(const std::string& shortcut_path) {
  std::string target = TargetThroughScriptHost(shortcut_path);
  if (target.empty()) target = TargetThroughShellLink(shortcut_path);
  return target;
}

bool MakeShortcut(const std::string& shortcut_path, const ShortcutProperties& properties) {
  ComScope com;
  DispatchObject shell = DispatchObject::Create("WScript.Shell");
  if (!shell.IsValid()) return false;
  DispatchObject shortcut = shell.CallObject("CreateShortcut", {shortcut_path});
  if (!shortcut.IsValid()) return false;
  if (!shortcut.PutText("TargetPath", properties.target)) return false;
  std::string working_directory = properties.working_directory.empty()
                                      ? StripTrailingBackslash(DirectoryOf(properties.target))
                                      : properties.working_directory;
  shortcut.PutText("WorkingDirectory", working_directory);
  shortcut.PutText("IconLocation", properties.icon_location.empty()
                                       ? DefaultIconLocation(properties.target)
                                       : properties.icon_location);
  shortcut.PutInt("WindowStyle", properties.window_style);
  // Wine does not implement putting Hotkey; like the other optional
  // properties its failure does not stop the shortcut from being saved.
  shortcut.PutText("Description", properties.description);
  shortcut.PutText("Arguments", properties.arguments);
  shortcut.PutText("Hotkey", properties.hotkey);
  shortcut.CallVoid("Save");
  return true;
}

void EnsureShortcut(const std::string& folder) {
  // Without a folder the path would be relative to whatever the current
  // folder happens to be; a shortcut there helps nobody.
  if (folder.empty()) return;
  const AppState& app = App();
  std::string shortcut_path = folder + kShortcutFileName;
  std::string target = app.run_directory + app.executable_name;
  if (::GetFileAttributesA(shortcut_path.c_str()) != INVALID_FILE_ATTRIBUTES &&
      ReadShortcutTarget(shortcut_path) == target) {
    return;
  }
  ShortcutProperties properties;
  properties.target = target;
  MakeShortcut(shortcut_path, properties);
}
