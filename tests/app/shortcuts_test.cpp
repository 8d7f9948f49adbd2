#include "app/shortcuts.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include "app/app_state.h"
#include "tests/app/test_folder.h"

namespace {

FILETIME WriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

class ShortcutsTest : public ::testing::Test {
 protected:
  ShortcutsTest() : folder_("shortcuts"), program_("program") {
    App().run_directory = program_.path();
    App().executable_name = "Tarnlumo.exe";
    // The target must exist for the shell to keep it as written.
    WriteWholeFile(program_.File("Tarnlumo.exe"), "MZ");
  }
  std::string ShortcutPath() { return folder_.File(kShortcutFileName); }
  TestFolder folder_;
  TestFolder program_;
};

TEST_F(ShortcutsTest, FirstRunCreatesTheShortcutToTheProgram) {
  EnsureShortcut(folder_.path());
  ASSERT_TRUE(FileExists(ShortcutPath()));
  EXPECT_EQ(ReadShortcutTarget(ShortcutPath()), program_.File("Tarnlumo.exe"));
}

TEST_F(ShortcutsTest, ACorrectShortcutIsLeftUntouched) {
  EnsureShortcut(folder_.path());
  FILETIME before = WriteTime(ShortcutPath());
  ::Sleep(1100);  // file times on some file systems have a one-second grain
  EnsureShortcut(folder_.path());
  FILETIME after = WriteTime(ShortcutPath());
  EXPECT_EQ(::CompareFileTime(&before, &after), 0);
}

TEST_F(ShortcutsTest, AMovedProgramFolderRewritesTheShortcut) {
  EnsureShortcut(folder_.path());
  TestFolder moved("moved");
  WriteWholeFile(moved.File("Tarnlumo.exe"), "MZ");
  App().run_directory = moved.path();
  EnsureShortcut(folder_.path());
  EXPECT_EQ(ReadShortcutTarget(ShortcutPath()), moved.File("Tarnlumo.exe"));
}

TEST_F(ShortcutsTest, AnUnreadableShortcutIsOverwritten) {
  WriteWholeFile(ShortcutPath(), "not a shortcut");
  EnsureShortcut(folder_.path());
  EXPECT_EQ(ReadShortcutTarget(ShortcutPath()), program_.File("Tarnlumo.exe"));
}

TEST_F(ShortcutsTest, ShortcutCarriesTheFolderAndTheFirstIcon) {
  EnsureShortcut(folder_.path());
  IShellLinkA* link = nullptr;
  ::CoInitialize(nullptr);
  ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkA, reinterpret_cast<void**>(&link))));
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  wchar_t wide[MAX_PATH];
  ::MultiByteToWideChar(936, 0, ShortcutPath().c_str(), -1, wide, MAX_PATH);
  ASSERT_TRUE(SUCCEEDED(file->Load(wide, STGM_READ)));
  char directory[MAX_PATH] = {};
  link->GetWorkingDirectory(directory, MAX_PATH);
  EXPECT_EQ(std::string(directory) + "\\", program_.path());
  char icon[MAX_PATH] = {};
  int index = -1;
  link->GetIconLocation(icon, MAX_PATH, &index);
  EXPECT_EQ(std::string(icon), program_.File("Tarnlumo.exe"));
  EXPECT_EQ(index, 0);
  file->Release();
  link->Release();
  ::CoUninitialize();
}

TEST_F(ShortcutsTest, NoFolderMakesNoShortcut) {
  EnsureShortcut("");
  EXPECT_FALSE(FileExists(kShortcutFileName));
}

TEST(SpecialFolderTest, DesktopAndStartupEndWithABackslash) {
  std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  std::string startup = SpecialFolder(CSIDL_STARTUP);
  ASSERT_FALSE(desktop.empty());
  ASSERT_FALSE(startup.empty());
  EXPECT_EQ(desktop.back(), '\\');
  EXPECT_EQ(startup.back(), '\\');
}

}  // namespace
