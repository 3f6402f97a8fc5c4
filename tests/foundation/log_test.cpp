#include "foundation/log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

std::string ReadText(const std::string& path) {
  auto bytes = test::ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

// Opens the process-wide log on a fresh file and closes it again, so other tests see no log.
class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = test::ScratchFolder("LogTest") + "/test.log";
    ASSERT_TRUE(LogFile.Open(m_path));
    LogFile.SetSizeLimit(CLogFile::kDefaultSizeLimit);
    LogFile.SetLevel(0);
  }
  void TearDown() override {
    LogFile.Close();
    LogFile.SetLevel(0);
    LogFile.SetSizeLimit(CLogFile::kDefaultSizeLimit);
  }
  std::string m_path;
};

TEST_F(LogTest, LevelsDecideWhatIsWritten) {
  LogFile.Write(0, "normal\n");
  LogFile.Write(1, "verbose\n");
  LogFile.WriteAlways("always %d\n", 1);
  LogFile.SetLevel(1);
  LogFile.Write(1, "verbose now\n");
  LogFile.Write(2, "detail\n");
  LogFile.SetLevel(-1);  // a threshold below 0 silences Write, never WriteAlways
  LogFile.Write(0, "silenced\n");
  LogFile.WriteAlways("always %d\n", 2);
  EXPECT_EQ(ReadText(m_path), "normal\nalways 1\nverbose now\nalways 2\n");
}

TEST_F(LogTest, TextIsWrittenUnchangedExceptCarriageReturns) {
  LogFile.Write(0, "%s\n", "50%.txt");
  LogFile.Write(0, "line one\r\nline two\r\n");
  LogFile.Write(0, "%s", "arg\r\n");
  std::string longName(2000, 'x');  // longer than any stack buffer the writer might use
  LogFile.Write(0, "[%s]\n", longName.c_str());
  EXPECT_EQ(ReadText(m_path), "50%.txt\nline one\nline two\narg\n[" + longName + "]\n");
}

TEST_F(LogTest, CrashLineClosesTheLogWithinItsLimit) {
  LogFile.SetLevel(-1);
  LogFile.Write(0, "silenced\n");
  LogFile.WriteAlwaysAndClose("last words\n");  // like WriteAlways: whatever the level
  EXPECT_FALSE(LogFile.IsOpen());
  LogFile.WriteAlways("after the close\n");
  LogFile.WriteAlwaysAndClose("again\n");
  EXPECT_EQ(ReadText(m_path), "last words\n");

  ASSERT_TRUE(LogFile.Open(m_path));
  LogFile.SetSizeLimit(4);
  LogFile.WriteAlways("full\n");
  LogFile.WriteAlwaysAndClose("over the limit\n");
  EXPECT_FALSE(LogFile.IsOpen()) << "closed even when the line is dropped";
  EXPECT_EQ(ReadText(m_path), "full\n");
}

TEST_F(LogTest, SizeLimitDropsTheNextMessageWhateverItsLevel) {
  LogFile.SetSizeLimit(10);
  LogFile.Write(0, "0123456789AB\n");  // under the limit when it starts: passes it by one message
  LogFile.Write(0, "error\n");
  LogFile.WriteAlways("always\n");
  EXPECT_EQ(ReadText(m_path), "0123456789AB\n");

  LogFile.SetSizeLimit(1024);  // raising the limit lets writing resume
  LogFile.Write(0, "again\n");
  EXPECT_EQ(ReadText(m_path), "0123456789AB\nagain\n");
}

TEST_F(LogTest, ErrorLineCarriesCodeInDecimalAndHexThenSystemText) {
  LogFile.WriteError(0, 26);
  std::string text = ReadText(m_path);
  std::string expectedStart = "Error 26(1AH): ";
  ASSERT_EQ(text.compare(0, expectedStart.size(), expectedStart), 0) << text;
  std::string systemText = SystemErrorText(26);
  EXPECT_FALSE(systemText.empty());
  EXPECT_EQ(systemText, std::strerror(26));
  EXPECT_EQ(text, expectedStart + systemText + "\n");

  LogFile.WriteError(1, 26);  // above the threshold: nothing
  EXPECT_EQ(ReadText(m_path), text);
}

TEST_F(LogTest, ScopeTraceBracketsTheScopeOnOneLine) {
  LogFile.SetLevel(1);
  { ScopeTrace trace(1, "CTest::OnInit"); }
  std::string text = ReadText(m_path);
  const std::string head = "Entering: CTest::OnInit\nLeaving: CTest::OnInit.    Completed in: 0.00";
  ASSERT_EQ(text.size(), head.size() + 7) << text;  // one digit, " sec.\n"
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_TRUE(text[head.size()] >= '0' && text[head.size()] <= '9') << text;
  EXPECT_EQ(text.substr(head.size() + 1), " sec.\n");

  LogFile.SetLevel(0);
  { ScopeTrace trace(1, "CTest::Hidden"); }
  EXPECT_EQ(ReadText(m_path), text);

  // Left by an exception: the exit line is still written.
  LogFile.SetLevel(1);
  try {
    ScopeTrace trace(1, "Throwing");
    throw 1;
  } catch (int) {
  }
  EXPECT_NE(ReadText(m_path).find("Leaving: Throwing.    Completed in: "), std::string::npos);
}

TEST(LogClosedTest, WritesWithoutAnOpenFileDoNothing) {
  CLogFile log;
  EXPECT_FALSE(log.Open(test::ScratchFolder("LogClosedTest") + "/missing/dir/x.log"));
  EXPECT_FALSE(log.IsOpen());
  log.Write(0, "lost %s\n", "text");
  log.WriteAlways("lost\n");
  log.WriteLastError(0);
  EXPECT_FALSE(log.IsOpen());
}

}  // namespace
}  // namespace sorvani
