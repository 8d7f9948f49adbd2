#pragma once
// The libraries a PE file imports by name, read from the file itself without
// loading it: for naming the dependency that makes a library fail to load
// (error 126 says only "a module was not found", not which).
#include <string>
#include <vector>

// The import table's library names ("libwinpthread-1.dll", ...); false when
// the file cannot be read or is no PE file.
bool ReadPeImports(const std::string& path, std::vector<std::string>* names);

// The libraries the file at folder + file needs, directly or through other
// libraries of that folder, that are neither in the folder nor in the system
// folder (nor an API set the system provides): the names a load of it from
// that folder cannot find.
std::vector<std::string> AbsentDependencies(const std::string& folder, const std::string& file);
