#include "app/config_file.h"

#include <gtest/gtest.h>

#include "tests/app/test_folder.h"

namespace {

class ConfigFileTest : public ::testing::Test {
 protected:
  ConfigFileTest() : folder_("config") { SetConfigPath(folder_.File("config.ini")); }
  std::string Content() { return ReadWholeFile(folder_.File("config.ini")); }
  TestFolder folder_;
};

TEST_F(ConfigFileTest, MissingFileSectionOrKeyGiveTheDefault) {
  EXPECT_EQ(ReadIni("server", "ip", "127.0.0.1"), "127.0.0.1");
  ASSERT_TRUE(WriteIni("server", "ip", "10.0.0.5"));
  EXPECT_EQ(ReadIni("server", "webport", "8099"), "8099");
  EXPECT_EQ(ReadIni("local", "index", "0"), "0");
  EXPECT_EQ(ReadIni("server", "ip", "127.0.0.1"), "10.0.0.5");
}

TEST_F(ConfigFileTest, ExistingEmptyValueIsEmptyNotTheDefault) {
  WriteWholeFile(folder_.File("config.ini"), "[server]\r\nip=\r\n");
  EXPECT_EQ(ReadIni("server", "ip", "127.0.0.1"), "");
}

TEST_F(ConfigFileTest, EmptyValueDeletesTheKeyAndEmptyKeyTheSection) {
  ASSERT_TRUE(WriteIni("local", "index", "2"));
  ASSERT_TRUE(WriteIni("local", "debug", "1"));
  ASSERT_TRUE(WriteIni("local", "index", ""));
  EXPECT_EQ(ReadIni("local", "index", "gone"), "gone");
  EXPECT_EQ(ReadIni("local", "debug", "0"), "1");
  ASSERT_TRUE(WriteIni("local", "", ""));
  EXPECT_EQ(ReadIni("local", "debug", "0"), "0");
  EXPECT_EQ(Content().find("[local]"), std::string::npos);
}

TEST_F(ConfigFileTest, LeadingControlCharactersAreSkippedInSectionKeyAndPath) {
  ASSERT_TRUE(WriteIni(" \t server", "\r\n ip", "10.1.1.1"));
  EXPECT_EQ(ReadIni("server", "ip"), "10.1.1.1");
  EXPECT_EQ(ReadIniFile("  " + folder_.File("config.ini"), "server", "ip"), "10.1.1.1");
  EXPECT_NE(Content().find("[server]"), std::string::npos);
  EXPECT_NE(Content().find("ip=10.1.1.1"), std::string::npos);
}

TEST_F(ConfigFileTest, EmptyPathSectionOrKeyGiveEmptyTextNotTheDefault) {
  ASSERT_TRUE(WriteIni("server", "ip", "10.0.0.5"));
  EXPECT_EQ(ReadIni("", "ip", "fallback"), "");
  EXPECT_EQ(ReadIni("server", "", "fallback"), "");
  EXPECT_EQ(ReadIni("   ", "ip", "fallback"), "");
  EXPECT_EQ(ReadIniFile("", "server", "ip", "fallback"), "");
  EXPECT_EQ(ReadIniFile(" \t", "server", "ip", "fallback"), "");
}

TEST_F(ConfigFileTest, LongValuesAreCutToTheReadBuffer) {
  std::string value(20000, 'x');
  ASSERT_TRUE(WriteIni("page", "long", value));
  EXPECT_EQ(ReadIni("page", "long").size(), static_cast<size_t>(kIniReadBufferSize - 1));
}

TEST_F(ConfigFileTest, ChineseTextRoundTripsInCodePage936) {
  ASSERT_TRUE(WriteIni("page", "shop", "苹果店"));
  EXPECT_EQ(ReadIni("page", "shop"), "苹果店");
}

TEST(LeadingIntegerTest, ReadsLeadingDigitsOnly) {
  EXPECT_EQ(LeadingInteger("8100"), 8100);
  EXPECT_EQ(LeadingInteger("8100abc"), 8100);
  EXPECT_EQ(LeadingInteger("abc"), 0);
  EXPECT_EQ(LeadingInteger(""), 0);
  EXPECT_EQ(LeadingInteger("-5"), 0);
  EXPECT_EQ(LeadingInteger("99999999999999"), 0x7FFFFFFF);
}

TEST_F(ConfigFileTest, LoadConfigReadsHostAndPortWithDefaults) {
  ASSERT_TRUE(WriteIni("server", "ip", "10.0.0.5"));
  LoadConfig(folder_.File("config.ini"));
  EXPECT_EQ(LoadedServerSettings().host, "10.0.0.5");
  EXPECT_EQ(LoadedServerSettings().web_port, 8099);
  EXPECT_EQ(LoadedServerSettings().scheme, "http://");
  ASSERT_TRUE(WriteIni("server", "webport", "8100"));
  std::string before = Content();
  LoadConfig(folder_.File("config.ini"));
  EXPECT_EQ(LoadedServerSettings().web_port, 8100);
  EXPECT_EQ(Content(), before);  // reading never rewrites the file
  ASSERT_TRUE(WriteIni("server", "webport", "web"));
  LoadConfig(folder_.File("config.ini"));
  EXPECT_EQ(LoadedServerSettings().web_port, 0);
}

}  // namespace
