// The local screen's URL: the shop's offline.html or the built-in screen,
// carried whole in a data: URL that the program can recognise again.
#include "page/offline_screen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "log/text_encoding.h"

namespace {

namespace fs = std::filesystem;

constexpr char kPrefix[] = "data:text/html;lumo=offline;base64,";

// An independent decoder, so the test does not trust the encoder it checks.
std::string FromBase64(const std::string& text) {
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    size_t value = digits.find(c);
    if (value == std::string::npos) return "<bad digit>";
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return out;
}

std::string Payload(const std::string& url) {
  if (url.compare(0, sizeof(kPrefix) - 1, kPrefix) != 0) return "<not the local screen>";
  return FromBase64(url.substr(sizeof(kPrefix) - 1));
}

class OfflineScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("lumo_offline_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    // The program folder as the program holds it: with a trailing separator.
    run_directory_ = (folder_ / "").string();
  }
  void TearDown() override { fs::remove_all(folder_); }
  void WriteOfflinePage(const std::string& bytes) {
    std::ofstream(folder_ / kOfflinePageName, std::ios::binary) << bytes;
  }
  fs::path folder_;
  std::string run_directory_;
};

TEST_F(OfflineScreenTest, WithoutOfflineHtmlTheBuiltInScreenShowsWaitAndTheTime) {
  std::string url = LocalScreenUrl(run_directory_, "09:41");
  std::string html = Payload(url);
  EXPECT_EQ(html, BuiltInScreenHtml("09:41"));
  // "请稍候" in UTF-8, the page's declared encoding.
  EXPECT_NE(html.find("\xe8\xaf\xb7\xe7\xa8\x8d\xe5\x80\x99"), std::string::npos);
  EXPECT_NE(html.find("09:41"), std::string::npos);
  EXPECT_NE(html.find("charset=\"utf-8\""), std::string::npos);
  // Pushes that reach the screen meanwhile find a function to call.
  EXPECT_NE(html.find("function clientJS2"), std::string::npos);
  EXPECT_TRUE(IsLocalScreenUrl(url));
}

TEST_F(OfflineScreenTest, TheShopsOfflineHtmlIsShownByteForByte) {
  // Every length modulo 3 and bytes of every value, to cover the encoding's edges.
  std::string page = "<html><body>\xe6\x9c\xac\xe5\xba\x97</body></html>";
  for (int extra = 0; extra < 3; ++extra) {
    std::string bytes = page + std::string(static_cast<size_t>(extra), '\xff');
    WriteOfflinePage(bytes);
    std::string url = LocalScreenUrl(run_directory_, "09:41");
    EXPECT_EQ(Payload(url), bytes) << extra;
    EXPECT_TRUE(IsLocalScreenUrl(url));
  }
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  WriteOfflinePage(all);
  EXPECT_EQ(Payload(LocalScreenUrl(run_directory_, "")), all);
}

TEST_F(OfflineScreenTest, AnEmptyOrOversizedOfflineHtmlFallsBackToTheBuiltInScreen) {
  WriteOfflinePage("");
  EXPECT_EQ(Payload(LocalScreenUrl(run_directory_, "23:59")), BuiltInScreenHtml("23:59"));
  // A browser takes URLs up to 2 MB: 1 MiB of file is the most that fits.
  WriteOfflinePage(std::string(1024 * 1024, 'a'));
  EXPECT_EQ(Payload(LocalScreenUrl(run_directory_, "")).size(), 1024u * 1024u);
  WriteOfflinePage(std::string(1024 * 1024 + 1, 'a'));
  EXPECT_EQ(Payload(LocalScreenUrl(run_directory_, "23:59")), BuiltInScreenHtml("23:59"));
}

TEST(LocalScreenUrl, OnlyTheLocalScreenIsRecognised) {
  EXPECT_TRUE(IsLocalScreenUrl(LocalScreenUrlOf("<p>x</p>")));
  EXPECT_TRUE(IsLocalScreenUrl(LocalScreenUrlOf("")));
  EXPECT_FALSE(IsLocalScreenUrl("http://127.0.0.1:8099/client/app/lumo/"));
  EXPECT_FALSE(IsLocalScreenUrl("data:text/html;base64,PHA+eDwvcD4="));
  EXPECT_FALSE(IsLocalScreenUrl("data:text/html;lumo=offline"));
  EXPECT_FALSE(IsLocalScreenUrl("about:blank"));
  EXPECT_FALSE(IsLocalScreenUrl(""));
  EXPECT_FALSE(IsLocalScreenUrl("http://evil.example/?data:text/html;lumo=offline;base64,"));
}

}  // namespace
