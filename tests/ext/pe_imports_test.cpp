// Reading a PE file's imports, and naming the libraries a folder lacks for a
// library in it, on real files: this test program and the build's libcurl.dll.
#include "ext/pe_imports.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>

#include "app/system_utils.h"
#include "tests/app/test_folder.h"

namespace {

const char kCurl[] = "libcurl.dll";
const char kThreads[] = "libwinpthread-1.dll";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return text;
}

bool Holds(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return Lower(n) == Lower(name); });
}

bool FileThere(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CopyFromBuild(const std::string& name, const std::string& folder) {
  return ::CopyFileA((ProcessDirectory() + name).c_str(), (folder + name).c_str(), FALSE) != 0;
}

TEST(PeImports, ThisProgramImportsKernel32) {
  std::vector<std::string> names;
  ASSERT_TRUE(ReadPeImports(ProcessDirectory() + ProcessFileName(), &names));
  EXPECT_TRUE(Holds(names, "kernel32.dll")) << names.size();
  EXPECT_FALSE(Holds(names, kCurl));
}

TEST(PeImports, ANonPeFileOrNoFileIsRefused) {
  TestFolder test_folder("pe_imports_not_pe");
  std::string folder = test_folder.path();
  std::ofstream(folder + "text.dll") << "MZ but nothing more";
  std::vector<std::string> names;
  EXPECT_FALSE(ReadPeImports(folder + "text.dll", &names));
  EXPECT_FALSE(ReadPeImports(folder + "none.dll", &names));
}

TEST(PeImports, AFolderLackingTheThreadLibraryIsToldSoAndOnlyThat) {
  std::vector<std::string> imports;
  ASSERT_TRUE(ReadPeImports(ProcessDirectory() + kCurl, &imports));
  if (!Holds(imports, kThreads)) GTEST_SKIP() << "this libcurl.dll does not need " << kThreads;
  // Emptied first: a folder an earlier run left (Wine hands out the same
  // process ids again after a new wineserver) must not lend it a library.
  TestFolder test_folder("pe_imports_lacking");
  std::string folder = test_folder.path();
  ASSERT_TRUE(CopyFromBuild(kCurl, folder));
  // The other runtime libraries it needs from the build (the i686 one also
  // needs libgcc_s_dw2-1.dll), so that only the thread library is missing.
  for (const std::string& name : imports) {
    if (Lower(name) != Lower(kThreads) && FileThere(ProcessDirectory() + name))
      ASSERT_TRUE(CopyFromBuild(name, folder)) << name;
  }
  // The system's own libraries (kernel32, ws2_32, ...) are not reported.
  EXPECT_EQ(AbsentDependencies(folder, kCurl), std::vector<std::string>{kThreads});
  // Present, it is looked into in turn: what it needs the system has.
  ASSERT_TRUE(CopyFromBuild(kThreads, folder));
  EXPECT_TRUE(AbsentDependencies(folder, kCurl).empty());
}

}  // namespace
