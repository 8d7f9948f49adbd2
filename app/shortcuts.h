#pragma once
// Keeps the program's shortcuts on the desktop and in the Startup folder
// pointing at the running executable.
#include <string>

inline constexpr char kShortcutFileName[] = "TarnPOS背屏.lnk";

// The path of a shell folder (CSIDL value) with a trailing backslash, or empty.
std::string SpecialFolder(int csidl);
// Rewrites folder + "TarnPOS背屏.lnk" unless it already points exactly (byte
// for byte) at the running executable. An empty folder does nothing.
void EnsureShortcut(const std::string& folder);
// The target of an existing shortcut, or empty.
std::string ReadShortcutTarget(const std::string& shortcut_path);

struct ShortcutProperties {
  std::string target;
  std::string working_directory;  // empty: the target's folder without backslash
  std::string arguments;
  std::string icon_location;  // empty: target + ",0", or "SHELL32.dll,4" without extension
  int window_style = 1;
  std::string description;
  std::string hotkey;
};
// Creates or overwrites the shortcut file; false when it could not be made.
bool MakeShortcut(const std::string& shortcut_path, const ShortcutProperties& properties);
