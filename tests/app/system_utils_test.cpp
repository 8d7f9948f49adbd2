#include "app/system_utils.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "lumo_version.h"  // generated beside this test's copy of the program's resources

namespace {

TEST(SystemUtilsTest, ProcessDirectoryEndsWithExactlyOneBackslash) {
  std::string folder = ProcessDirectory();
  ASSERT_GE(folder.size(), 3u);
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_NE(folder[folder.size() - 2], '\\');
  EXPECT_EQ(folder + ProcessFileName(), [] {
    char path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path);
  }());
  EXPECT_EQ(ProcessFileName(), "app_tests.exe");
}

TEST(SystemUtilsTest, DirectoryOf) {
  EXPECT_EQ(DirectoryOf("C:\\pos\\screen.exe"), "C:\\pos\\");
  EXPECT_EQ(DirectoryOf("C:\\pos\\sub\\"), "C:\\pos\\");
  EXPECT_EQ(DirectoryOf("screen.exe"), "\\");
  EXPECT_EQ(DirectoryOf(""), "");
  EXPECT_EQ(DirectoryOf("C:\\pos中文\\屏幕.exe"), "C:\\pos中文\\");
}

TEST(SystemUtilsTest, TrailingBackslashHelpers) {
  EXPECT_EQ(StripTrailingBackslash("C:\\pos\\"), "C:\\pos");
  EXPECT_EQ(StripTrailingBackslash("C:\\pos"), "C:\\pos");
  EXPECT_EQ(StripTrailingBackslash(""), "");
  EXPECT_EQ(WithTrailingBackslash("C:\\pos"), "C:\\pos\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\pos\\"), "C:\\pos\\");
  EXPECT_EQ(WithTrailingBackslash(""), "\\");
}

TEST(SystemUtilsTest, FileExtension) {
  EXPECT_EQ(FileExtension("C:\\pos\\Tarnlumo.exe"), ".exe");
  EXPECT_EQ(FileExtension("C:\\pos.d\\name"), "");
  EXPECT_EQ(FileExtension("a.tar.gz"), ".gz");
  EXPECT_EQ(FileExtension(""), "");
}

unsigned long WrappedTickCount() { return 0x80000000UL + 5000; }  // 24.8 days and more
unsigned long ZeroTickCount() { return 0; }

TEST(SystemUtilsTest, UptimeStaysPositiveAfterTheTickCountWraps) {
  EXPECT_GT(UptimeMs(), 0);
  SetTickCountSourceForTest(WrappedTickCount);
  int64_t wrapped = UptimeMs();
  SetTickCountSourceForTest(ZeroTickCount);
  int64_t zero = UptimeMs();
  SetTickCountSourceForTest(nullptr);
  // The fallback reads the boot time the kernel reports, so it is positive
  // instead of the negative 32-bit value (or zero) of the tick count.
  EXPECT_GT(wrapped, 0);
  EXPECT_GT(zero, 0);
}

TEST(SystemUtilsTest, FileVersionReadsTheVersionResource) {
  char path[MAX_PATH];
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  EXPECT_EQ(FileVersion(path), LUMO_VERSION_TEXT);  // this test carries the program's resource
  EXPECT_EQ(FileVersion(""), "");
  EXPECT_EQ(FileVersion(ProcessDirectory() + "no_such_file.exe"), "");
}

TEST(SystemUtilsTest, FileVersionOfAFileWithoutVersionIsEmpty) {
  char path[MAX_PATH];
  ::GetTempPathA(MAX_PATH, path);
  std::string file = std::string(path) + "lumo_no_version.txt";
  FILE* f = fopen(file.c_str(), "wb");
  fputs("plain", f);
  fclose(f);
  EXPECT_EQ(FileVersion(file), "");
  ::DeleteFileA(file.c_str());
}

TEST(SystemUtilsTest, PcNameComesFromTheCompanionLibrary) {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  ASSERT_TRUE(::GetComputerNameA(name, &size));
  EXPECT_EQ(GetPcName(), name);
}

TEST(SystemUtilsTest, EnablePrivilegeDefaultsToTheDebugPrivilege) {
  EXPECT_TRUE(EnablePrivilege(""));
  EXPECT_FALSE(EnablePrivilege("NoSuchPrivilegeName"));
}

}  // namespace
