#include "app/update_handoff.h"

#include <gtest/gtest.h>

#include <string>

#include "app/app_state.h"
#include "app/system_utils.h"
#include "tests/app/test_folder.h"

namespace {

// Our common.dll stand-in records each hand-off's arguments beside itself.
std::string RecordPath() { return ProcessDirectory() + "common_update_calls.txt"; }

std::string LastLine(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) trimmed.pop_back();
  return trimmed.substr(trimmed.find_last_of('\n') + 1);
}

std::string WaitForRecord(size_t previous_size) {
  for (int i = 0; i < 200; ++i) {
    std::string text = ReadWholeFile(RecordPath());
    if (text.size() > previous_size && text.back() == '\n') return text;
    ::Sleep(10);
  }
  return "";
}

class UpdateHandOffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::DeleteFileA(RecordPath().c_str());
    App().run_directory = "C:\\pos\\";
  }
};

TEST_F(UpdateHandOffTest, HiddenModePassesTheNineArgumentsInOrder) {
  HandOffUpdate(UpdateMode::kHidden);
  EXPECT_EQ(LastLine(ReadWholeFile(RecordPath())),
            "C:\\pos\\TarnUpdate.dat|POS背屏|Tarn-POS背屏|hide|(null)|temp|(null)|a|Tarnlumo.exe");
}

TEST_F(UpdateHandOffTest, VisibleModePassesAnEmptyTextNotANullPointer) {
  HandOffUpdate(UpdateMode::kVisible);
  EXPECT_EQ(LastLine(ReadWholeFile(RecordPath())),
            "C:\\pos\\TarnUpdate.dat|POS背屏|Tarn-POS背屏||(null)|temp|(null)|a|Tarnlumo.exe");
}

TEST_F(UpdateHandOffTest, DetachedHandOffRunsOnItsOwnThread) {
  HandOffUpdateDetached(UpdateMode::kVisible);
  std::string text = WaitForRecord(0);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(LastLine(text).find("|Tarn-POS背屏||(null)|"), std::string::npos);
}

}  // namespace
