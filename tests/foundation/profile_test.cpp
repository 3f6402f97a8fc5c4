#include "foundation/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>

#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = test::ScratchFolder(std::string("Profile.") +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    m_path = m_folder + "/Profile.xml";
    m_profile.SetPath(m_path);
  }
  bool LoadText(const std::string& text) {
    std::ofstream(m_path, std::ios::binary) << text;
    return m_profile.Load();
  }
  // The file as an independent parser sees it after a save.
  pugi::xml_node SaveAndParse() {
    EXPECT_TRUE(m_profile.Save());
    EXPECT_TRUE(m_saved.load_file(m_path.c_str(), pugi::parse_default | pugi::parse_comments));
    return m_saved.document_element();
  }
  std::size_t EntryCount() const {
    auto it = fs::directory_iterator(m_folder);
    return static_cast<std::size_t>(std::distance(it, fs::directory_iterator()));
  }
  std::string m_folder;
  std::string m_path;
  CXMLProfile m_profile;
  pugi::xml_document m_saved;
};

TEST_F(ProfileTest, FirstStartWritesOnlyTheVersion) {
  ASSERT_TRUE(m_profile.Load());  // no file yet is not a failure
  m_profile.SetString("Application", "Version", "1.1.20 ");
  pugi::xml_node root = SaveAndParse();
  EXPECT_STREQ(root.name(), "profile");
  ASSERT_EQ(std::distance(root.begin(), root.end()), 1);
  EXPECT_STREQ(root.child("Application").child("Version").text().get(), "1.1.20 ");

  struct stat st {};
  ASSERT_EQ(::stat(m_path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(EntryCount(), 1u);  // no temporary file left beside it
}

TEST_F(ProfileTest, ReadingNeverLeavesAnEmptyKeyBehind) {
  ASSERT_TRUE(m_profile.Load());
  EXPECT_EQ(m_profile.GetInt("Logging", "Type", 1), 1);
  m_profile.SetString("Recover", "LastDestinationFolders", "");
  EXPECT_EQ(m_profile.GetString("Recover", "LastDestinationFolders", "dflt"), "dflt");
  pugi::xml_node root = SaveAndParse();
  ASSERT_TRUE(root.child("Logging"));  // the section created on the way stays, empty
  EXPECT_FALSE(root.child("Logging").first_child());
  EXPECT_FALSE(root.child("Recover").first_child());

  ASSERT_TRUE(LoadText("<profile><Logging><Type/><MaxLogSize>7</MaxLogSize></Logging></profile>"));
  EXPECT_EQ(m_profile.GetInt("Logging", "Type", 3), 3);
  root = SaveAndParse();
  EXPECT_FALSE(root.child("Logging").child("Type"));
  EXPECT_STREQ(root.child("Logging").child("MaxLogSize").text().get(), "7");
}

TEST_F(ProfileTest, IntegersReadTheLeadingNumberOnly) {
  ASSERT_TRUE(
      LoadText("<profile><N><A>51abc</A><B>-17</B><C>abc</C><D>  8</D><E>99999999999</E>"
               "<F>-99999999999</F><G>-</G><H>3.9</H></N></profile>"));
  EXPECT_EQ(m_profile.GetInt("N", "A", 0), 51);
  EXPECT_EQ(m_profile.GetInt("N", "B", 0), -17);
  EXPECT_EQ(m_profile.GetInt("N", "C", 5), 0);  // not a number: 0, not the default
  EXPECT_EQ(m_profile.GetInt("N", "D", 0), 8);
  EXPECT_EQ(m_profile.GetInt("N", "E", 0), INT_MAX);
  EXPECT_EQ(m_profile.GetInt("N", "F", 0), INT_MIN);
  EXPECT_EQ(m_profile.GetInt("N", "G", 5), 0);
  EXPECT_EQ(m_profile.GetInt("N", "H", 0), 3);
  for (int value : {0, -1, INT_MAX, INT_MIN}) {
    m_profile.SetInt("N", "RoundTrip", value);
    EXPECT_EQ(m_profile.GetInt("N", "RoundTrip", 12345), value);
  }
}

TEST_F(ProfileTest, StringsRoundTripAndBuffersMustHoldTheTerminator) {
  ASSERT_TRUE(m_profile.Load());
  const std::string tricky = "<&> \"q\" 'x' Müller \xE2\x82\xAC |C:\\out\\ a\x01z";
  m_profile.SetString("S", "Tricky", tricky);
  m_profile.SetString("S", "Ten", "|D:\\a|E:\\b");
  ASSERT_TRUE(m_profile.Save());
  CXMLProfile again;
  again.SetPath(m_path);
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.GetString("S", "Tricky", ""), tricky);

  char buffer[16];
  EXPECT_STREQ(again.GetString("S", "Ten", "", buffer, 11), "|D:\\a|E:\\b");
  try {
    again.GetString("S", "Ten", "", buffer, 10);
    ADD_FAILURE() << "no exception";
  } catch (const CXMLProfile::CXMLProfileException& e) {
    EXPECT_STREQ(e.what(), "Buffer overflow");
  }
  const char* def = "none";
  EXPECT_EQ(again.GetString("S", "Missing", def, buffer, sizeof buffer), def);
  EXPECT_EQ(std::strlen(CXMLProfile::CXMLProfileException(std::string(400, 'm')).what()), 255u);
}

TEST_F(ProfileTest, BinaryValuesDecodeIntoTheCallersBuffer) {
  ASSERT_TRUE(m_profile.Load());
  std::uint8_t widths[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  ASSERT_TRUE(m_profile.SetBinary("LayoutMain", "ColumnWidths", widths, sizeof widths));
  std::uint8_t read[20];
  std::memset(read, 0xEE, sizeof read);
  ASSERT_TRUE(m_profile.GetBinary("LayoutMain", "ColumnWidths", read, sizeof read));
  EXPECT_EQ(std::memcmp(read, widths, 12), 0);
  EXPECT_EQ(std::count(read + 12, read + 20, 0xEE), 8);  // the rest is left alone
  EXPECT_FALSE(m_profile.GetBinary("LayoutMain", "ColumnWidths", read, 11));
  EXPECT_FALSE(m_profile.GetBinary("LayoutMain", "Missing", read, sizeof read));

  // A 44-byte placement is 60 characters on one line.
  std::uint8_t placement[44] = {44};
  ASSERT_TRUE(m_profile.SetBinary("LayoutMain", "WindowPos", placement, sizeof placement));
  EXPECT_EQ(std::strlen(SaveAndParse().child("LayoutMain").child("WindowPos").text().get()), 60u);

  // 375 bytes: 500 characters in 7 lines + 6 CR LF = 512, the most allowed. 376: 504 + 12.
  std::vector<std::uint8_t> big(376, 0xA5), bytes;
  EXPECT_FALSE(m_profile.SetBinary("LayoutMain", "WindowPos", big.data(), 376));
  ASSERT_TRUE(m_profile.GetBinary("LayoutMain", "WindowPos", bytes));
  EXPECT_EQ(bytes, std::vector<std::uint8_t>(placement, placement + 44));  // unchanged
  ASSERT_TRUE(m_profile.SetBinary("B", "Big", big.data(), 375));
  ASSERT_TRUE(m_profile.Save());
  CXMLProfile again;
  again.SetPath(m_path);
  ASSERT_TRUE(again.Load());
  ASSERT_TRUE(again.GetBinary("B", "Big", bytes));
  EXPECT_EQ(bytes, std::vector<std::uint8_t>(375, 0xA5));

  // Hand-edited text decodes what it can and fails only when it does not fit.
  ASSERT_TRUE(
      LoadText("<profile><L><A>AQID\n  BA== junk</A><B>!!!</B><C>AQIDBAUG</C></L></profile>"));
  ASSERT_TRUE(m_profile.GetBinary("L", "A", read, sizeof read));
  EXPECT_EQ(read[3], 4);
  EXPECT_TRUE(m_profile.GetBinary("L", "B", read, sizeof read));
  EXPECT_FALSE(m_profile.GetBinary("L", "C", read, 5));
}

TEST_F(ProfileTest, FirstSectionAndKeyOfANameWin) {
  ASSERT_TRUE(
      LoadText("<profile><A><K>1</K><K>9</K></A><!-- note --><A><K>2</K><Z>3</Z></A></profile>"));
  EXPECT_EQ(m_profile.GetInt("A", "K", 0), 1);
  EXPECT_EQ(m_profile.GetInt("A", "Z", 0), 0);  // lives in the second section: never seen
  m_profile.SetInt("A", "K", 5);
  pugi::xml_node first = SaveAndParse().child("A");
  EXPECT_STREQ(first.child("K").text().get(), "5");
  EXPECT_STREQ(first.child("K").next_sibling("K").text().get(), "9");
  EXPECT_STREQ(first.next_sibling("A").child("K").text().get(), "2");
  EXPECT_STREQ(first.next_sibling("A").child("Z").text().get(), "3");
  EXPECT_EQ(first.next_sibling().type(), pugi::node_comment);  // a hand-written note is kept
}

TEST_F(ProfileTest, MissingEmptyAndRootlessFilesGiveAnEmptyProfile) {
  for (const char* text : {"", "<?xml version=\"1.0\"?>", "<!-- nothing -->", "   \n"}) {
    ASSERT_TRUE(LoadText(text)) << text;
    m_profile.SetInt("Logging", "Type", 2);
    EXPECT_EQ(m_profile.GetInt("Logging", "Type", 1), 2) << text;
    EXPECT_STREQ(SaveAndParse().name(), "profile");
  }
  // Prefixed names match by their local part.
  ASSERT_TRUE(
      LoadText("<p:profile xmlns:p='u'><p:Logging><p:Type>2</p:Type></p:Logging></p:profile>"));
  EXPECT_EQ(m_profile.GetInt("Logging", "Type", 1), 2);
}

TEST_F(ProfileTest, BrokenFileLeavesNoDocumentAndIsNotOverwritten) {
  const std::string broken = "<profile><Logging><Type>2</Type></Logging>";  // unclosed root
  ASSERT_FALSE(LoadText(broken));
  EXPECT_FALSE(m_profile.HasDocument());
  EXPECT_EQ(m_profile.GetInt("Logging", "Type", 1), 1);
  m_profile.SetInt("Logging", "Type", 0);
  EXPECT_EQ(m_profile.GetInt("Logging", "Type", 7), 7);
  EXPECT_FALSE(m_profile.SetBinary("B", "K", "x", 1));
  EXPECT_FALSE(m_profile.Save());
  auto bytes = test::ReadWholeFile(m_path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), broken);

  // A path that exists but is no readable file is a failure too, not a first start.
  fs::create_directory(m_folder + "/Dir.xml");
  m_profile.SetPath(m_folder + "/Dir.xml");
  EXPECT_FALSE(m_profile.Load());
  m_profile.SetPath(m_path);
  ASSERT_TRUE(LoadText("<profile><Logging><Type>2</Type></Logging></profile>"));
  EXPECT_EQ(m_profile.GetInt("Logging", "Type", 1), 2);
}

TEST_F(ProfileTest, FailedSaveKeepsValuesAndLeavesNoTemporary) {
  ASSERT_TRUE(LoadText("<profile><A><K>1</K></A></profile>"));
  m_profile.SetInt("A", "K", 2);
  m_profile.SetPath(m_folder + "/missing/Profile.xml");
  EXPECT_FALSE(m_profile.Save());
  // The rename cannot replace a folder: the save fails after writing and removes its temporary.
  fs::create_directory(m_folder + "/Busy.xml");
  m_profile.SetPath(m_folder + "/Busy.xml");
  std::size_t before = EntryCount();
  EXPECT_FALSE(m_profile.Save());
  EXPECT_EQ(EntryCount(), before);

  m_profile.SetPath(m_path);
  EXPECT_STREQ(SaveAndParse().child("A").child("K").text().get(), "2");
}

TEST_F(ProfileTest, HostileNamesAndValuesAreHarmless) {
  ASSERT_TRUE(LoadText("<profile><A><K>1<b>x</b>2<![CDATA[3]]></K><E><s>5</s></E></A></profile>"));
  EXPECT_EQ(m_profile.GetString("A", "K", ""), "123");  // the key's own text, as the DOM gives it
  EXPECT_EQ(m_profile.GetInt("A", "E", 4), 4);          // no text of its own: the default
  m_profile.SetInt("Bad Name", "Key", 1);               // would make the file unreadable
  m_profile.SetInt("Section", "<x>", 1);
  m_profile.SetInt("", "Key", 1);
  EXPECT_EQ(m_profile.GetInt("Bad Name", "Key", 7), 7);
  EXPECT_TRUE(SaveAndParse());

  // Deep nesting is refused: it would blow the indented file up quadratically on save.
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<d>";
    for (int i = 0; i < depth; ++i) text += "</d>";
    return "<profile><A><K>6" + text + "</K></A></profile>";
  };
  ASSERT_TRUE(LoadText(nested(29)));  // 32 levels with profile, A and K
  EXPECT_EQ(m_profile.GetInt("A", "K", 0), 6);
  EXPECT_FALSE(LoadText(nested(200000)));
  EXPECT_FALSE(m_profile.Save());
}

}  // namespace
}  // namespace sorvani
