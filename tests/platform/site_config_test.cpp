#include "platform/site_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;

void WriteText(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST(SiteConfigTest, ParsesKeyValueLines) {
  SiteSettings s = ParseSiteConfig(
      "# crash reports\n"
      "   SendCrashReportsTo =  mailto:ops@example.org  \r\n"
      "\n"
      "\t# indented comment = not a key\n"
      "UpdateURL=https://example.org/update?product=a&x=1#frag\n"
      "no equals sign here\n"
      " = value without a key\n"
      "FutureKey=kept\n"
      "WebSite=first\n"
      "WebSite=second\n"
      "HelpURL=\n"
      "SupportURL=last line without newline");
  EXPECT_EQ(s["SendCrashReportsTo"], "mailto:ops@example.org");
  EXPECT_EQ(s["UpdateURL"], "https://example.org/update?product=a&x=1#frag");
  EXPECT_EQ(s["FutureKey"], "kept");
  EXPECT_EQ(s["WebSite"], "second");
  EXPECT_EQ(s["SupportURL"], "last line without newline");
  ASSERT_TRUE(s.count("HelpURL"));
  EXPECT_EQ(s["HelpURL"], "");
  EXPECT_EQ(s.count("# indented comment"), 0u);
  EXPECT_EQ(s.count("no equals sign here"), 0u);
  EXPECT_EQ(s.count(""), 0u);
  EXPECT_EQ(s.count("sendcrashreportsto"), 0u) << "keys keep their case";
  EXPECT_EQ(s.size(), 6u);
  EXPECT_TRUE(ParseSiteConfig("").empty());
}

TEST(SiteConfigTest, UserFileOverridesTheSystemFile) {
  std::string dir = test::ScratchFolder("SiteConfigOverride");
  std::string system = dir + "/etc.conf", user = dir + "/user/site.conf";
  WriteText(system,
            "SendCrashReportsTo=mailto:a@example.org\nUpdateURL=https://u.example.org\n"
            "WebSite=https://w.example.org\n");
  WriteText(user, "UpdateURL=https://mine.example.org\nWebSite=\n");
  SiteSettings s = LoadSiteConfig(system, user);
  EXPECT_EQ(s["SendCrashReportsTo"], "mailto:a@example.org");
  EXPECT_EQ(s["UpdateURL"], "https://mine.example.org");
  EXPECT_EQ(s["WebSite"], "") << "an empty value in the user's file turns a setting off";

  EXPECT_EQ(LoadSiteConfig(dir + "/absent.conf", user).size(), 2u) << "missing system file";
  EXPECT_EQ(LoadSiteConfig(system, dir + "/absent.conf").at("UpdateURL"), "https://u.example.org");
  EXPECT_TRUE(LoadSiteConfig(dir + "/absent.conf", "").empty());
}

TEST(SiteConfigTest, RefusesOversizeAndUnsafeFiles) {
  std::string dir = test::ScratchFolder("SiteConfigRefuse");
  SiteSettings s{{"Kept", "yes"}};

  std::string exact = dir + "/exact.conf";
  std::string text = "WebSite=w\n";
  text += std::string(kMaxSiteConfigSize - text.size(), '#');
  WriteText(exact, text);
  EXPECT_TRUE(ReadSiteConfigFile(exact, s)) << "a file of exactly the limit";
  EXPECT_EQ(s["WebSite"], "w");

  std::string big = dir + "/big.conf";
  WriteText(big, "HelpURL=h\n" + std::string(kMaxSiteConfigSize, '#'));
  EXPECT_FALSE(ReadSiteConfigFile(big, s));
  EXPECT_EQ(s.count("HelpURL"), 0u) << "an oversize file is refused whole";

  std::string open = dir + "/writable.conf";
  WriteText(open, "HelpURL=h\n");
  ::chmod(open.c_str(), 0666);
  EXPECT_FALSE(ReadSiteConfigFile(open, s)) << "writable by others";
  ::chmod(open.c_str(), 0644);
  EXPECT_TRUE(ReadSiteConfigFile(open, s));
  EXPECT_EQ(s["HelpURL"], "h");

  EXPECT_FALSE(ReadSiteConfigFile(dir + "/absent.conf", s));
  EXPECT_FALSE(ReadSiteConfigFile(dir, s)) << "a folder";
  EXPECT_EQ(s["Kept"], "yes");
  EXPECT_EQ(s.size(), 3u);
}

TEST(SiteConfigTest, SiteSettingReadsTheUsersFile) {
  std::string dir = test::ScratchFolder("SiteSetting");
  std::optional<std::string> old;
  if (const char* v = std::getenv("XDG_CONFIG_HOME")) old = v;
  ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  EXPECT_EQ(UserSiteConfigPath(), dir + "/SorvaniRecovery/site.conf");
  WriteText(UserSiteConfigPath(), "FeedbackURL=https://f.example.org/post\n");
  EXPECT_EQ(SiteSetting("FeedbackURL"), "https://f.example.org/post");
  EXPECT_EQ(SiteSetting("NoSuchKey"), "");
  WriteText(UserSiteConfigPath(), "FeedbackURL=https://g.example.org/post\n");
  EXPECT_EQ(SiteSetting("FeedbackURL"), "https://g.example.org/post") << "read afresh";
  if (old)
    ::setenv("XDG_CONFIG_HOME", old->c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace sorvani
