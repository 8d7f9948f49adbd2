#pragma once
// Whether the outside libraries of a program folder load, and whether each has
// every function the program looks up in it. The program runs this once at
// start-up to name a broken installation in its log; lumocheck.exe runs it on
// any folder.
#include <windows.h>

#include <string>
#include <vector>

struct LibraryCheck {
  std::string file;    // "libcurl.dll", ...
  std::string arch;    // from the file's PE header: "i686", "x86_64", "" when unreadable
  bool found = false;  // the file exists
  bool loaded = false;
  DWORD error = 0;                   // GetLastError of the failed load
  std::vector<std::string> missing;  // looked-up functions the loaded library lacks
  std::vector<std::string> absent;   // for a failed load: the libraries it needs that are not there
  bool ok() const { return loaded && missing.empty(); }
};

// The libraries the program loads, in the order it uses them, with the
// functions it looks up in each.
struct OutsideLibrary {
  const char* file;
  std::vector<const char*> functions;
};
const std::vector<OutsideLibrary>& OutsideLibraries();

// Loads folder + file as the program would from that folder (its own
// dependencies searched for in that folder first; the library stays loaded)
// and looks up every function.
LibraryCheck CheckLibrary(const std::string& folder, const OutsideLibrary& library);
// "i686" / "x86_64" from a PE file's machine field, "" when it is no PE file.
std::string PeArch(const std::string& path);
// The architecture this code was built for.
const char* OwnArch();
// Windows' text for an error code (code page 936, no line end), with the
// file named where the text has a place for it.
std::string SystemErrorText(DWORD error, const std::string& file);

// Writes a log line under "库加载" for each library of the program's own
// folder that does not load and for each function one lacks; nothing when
// all is well.
void LogLibraryProblems();
