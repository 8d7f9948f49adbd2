#pragma once
// Small stateless helpers over the platform. Texts are code page 936; every
// function returns a new text owned by the caller and reports failure only
// through its result (false or empty text), never through the log.
#include <cstdint>
#include <string>

// Enables a privilege of the process token ("SeDebugPrivilege" when empty).
// True means the adjust call succeeded, not that the privilege was granted.
bool EnablePrivilege(const std::string& name = "");
// Folder of the running program's executable, with one trailing backslash.
std::string ProcessDirectory();
// File name of the running program's executable, without its folder.
std::string ProcessFileName();
// Folder part of a path with a trailing backslash ("C:\pos\screen.exe" and
// "C:\pos\sub\" both give "C:\pos\"); empty for an empty path.
std::string DirectoryOf(const std::string& path);
std::string StripTrailingBackslash(const std::string& path);
// Appends a backslash unless the last character is one; "" gives "\".
std::string WithTrailingBackslash(const std::string& path);
// The PC name as common.dll reports it; empty when it reports nothing.
std::string GetPcName();
// Milliseconds since boot, positive also after the 32-bit tick count wrapped.
int64_t UptimeMs();
// The extension with its dot ("a.txt" gives ".txt"), or empty.
std::string FileExtension(const std::string& path);
// The version text of a file's version resource ("1.0.0.1"), or empty.
std::string FileVersion(const std::string& path);

// Seam for tests: the tick count UptimeMs reads (null restores GetTickCount).
using TickCountSource = unsigned long (*)();
void SetTickCountSourceForTest(TickCountSource source);
