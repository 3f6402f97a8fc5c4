#include "foundation/res_strings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sorvani {
namespace {

// The placeholder kinds of a text, one letter each: s text, i integer, f floating point.
std::string PlaceholderKinds(const std::string& text) {
  std::string kinds;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    std::size_t j = i + 1;
    if (j < text.size() && text[j] == '%') {
      i = j;
      continue;
    }
    while (j < text.size() &&
           std::string("-+ #0123456789.hlLqjztI").find(text[j]) != std::string::npos)
      ++j;
    if (j >= text.size()) return "?";
    char c = text[j];
    kinds += c == 's'                                               ? 's'
             : std::string("diuoxXc").find(c) != std::string::npos  ? 'i'
             : std::string("eEfFgGaA").find(c) != std::string::npos ? 'f'
                                                                    : '?';
    i = j;
  }
  return kinds;
}

// Every number the recovery engine and the indexing window load, with the arguments they pass.
const std::map<unsigned, std::string> kEngineStrings = {
    {35, "s"}, {36, ""},  {37, "i"}, {38, "s"}, {39, ""},  {40, ""},   {42, ""},  {1, ""},
    {3, "s"},  {4, "ss"}, {12, "s"}, {13, "s"}, {14, "i"}, {15, "ss"}, {16, "s"}, {17, "ss"},
    {62, ""},  {63, ""},  {64, ""},  {65, ""},  {66, ""},  {67, ""},   {68, ""},  {69, ""},
    {70, ""},  {71, ""},  {72, ""},  {73, ""},  {74, ""},  {75, ""},   {76, ""},  {77, ""},
    {78, "s"}, {79, "s"}, {80, "s"}, {81, "s"}, {82, "s"}, {83, "s"},  {84, "s"}, {85, "s"},
};

TEST(ResStringsTest, EveryEngineStringHasATextWithItsPlaceholders) {
  for (const auto& [id, kinds] : kEngineStrings) {
    std::string text = LoadResString(id);
    EXPECT_NE(text, kResourceNotAvailable) << id;
    EXPECT_FALSE(text.empty()) << id;
    EXPECT_LT(text.size(), 512u) << id;  // the desktop loads strings into 512-byte buffers
    EXPECT_EQ(PlaceholderKinds(text), kinds) << id << ": " << text;
  }
  EXPECT_EQ(LoadResString(kIdsOrphanFolderName).find_first_of("\\/:*?\"<>| "), std::string::npos);
}

TEST(ResStringsTest, UnknownNumbersSayNotAvailable) {
  for (unsigned id : {0u, 2u, 5u, 11u, 19u, 41u, 61u, 86u, 65535u, 4294967295u}) {
    EXPECT_EQ(LoadResString(id), "Resource not available!") << id;
  }
}

TEST(ResStringsTest, FormattingFillsTheTextsPlaceholders) {
  EXPECT_EQ(FormatResString(kIdsOrphanFolderName, std::uint32_t{1234}), "_OrphanFolder_1234");
  EXPECT_EQ(FormatResString(kIdsOrphanFolderName, 4294967295u), "_OrphanFolder_4294967295");
  std::string path = "/mnt/out/50%.txt";
  std::string message = FormatResString(kIdsFileExists, path);
  EXPECT_NE(message.find("\n/mnt/out/50%.txt\n"), std::string::npos) << message;
  std::string twoArgs = FormatResString(kIdsWriteFailed, "No space left on device", path);
  EXPECT_LT(twoArgs.find("No space left"), twoArgs.find(path));
}

TEST(ResStringsTest, MismatchedArgumentsAreNeverRead) {
  // The text comes back unformatted instead of reading arguments that are not there.
  EXPECT_EQ(FormatResString(kIdsFileExists), LoadResString(kIdsFileExists));
  EXPECT_EQ(FormatResString(kIdsFileExists, 42), LoadResString(kIdsFileExists));
  EXPECT_EQ(FormatResString(kIdsFileExists, "a", "b"), LoadResString(kIdsFileExists));
  EXPECT_EQ(FormatResString(kIdsOrphanFolderName, "x"), LoadResString(kIdsOrphanFolderName));

  std::string out;
  ResArg text = MakeResArg("t");
  ResArg number = MakeResArg(-5);
  ResArg real = MakeResArg(2.5);
  EXPECT_TRUE(FormatResText("%-4d|%05.1f|%x|%c|%%|%I64u|%lu",
                            std::vector<ResArg>{number, real, MakeResArg(255u), MakeResArg('A'),
                                                MakeResArg(7ull), MakeResArg(8l)},
                            out));
  EXPECT_EQ(out, "-5  |002.5|ff|A|%|7|8");
  EXPECT_FALSE(FormatResText("%n", std::vector<ResArg>{number}, out));
  EXPECT_FALSE(FormatResText("%*d", std::vector<ResArg>{number, number}, out));
  EXPECT_FALSE(FormatResText("%p", std::vector<ResArg>{number}, out));
  EXPECT_FALSE(FormatResText("%f", std::vector<ResArg>{text}, out));
  EXPECT_FALSE(FormatResText("end %", std::vector<ResArg>{}, out));
  EXPECT_FALSE(FormatResText("%99999999d", std::vector<ResArg>{number}, out));  // absurd width
  EXPECT_TRUE(out.empty());
}

// A stand-in for a loaded resource library.
const char* FakeLibraryString(unsigned id) {
  static const std::string kLong = std::string(509, 'a') + "\xC3\xA9\xE2\x82\xAC";  // 509 + é + €
  static const std::string kShort = "%s from the library";
  if (id == kIdsFileExists) return kShort.c_str();
  if (id == kIdsCaption) return kLong.c_str();
  return nullptr;
}

TEST(ResStringsTest, ALoadedLibraryIsAskedInsteadOfTheTable) {
  std::string builtIn = LoadResString(kIdsFileExists);
  SetResourceStringSource(&FakeLibraryString);
  EXPECT_EQ(LoadResString(kIdsFileExists), "%s from the library");
  EXPECT_EQ(FormatResString(kIdsFileExists, "/x"), "/x from the library");
  // A number the library lacks is missing even when the built-in table has it.
  EXPECT_EQ(LoadResString(kIdsFolderExists), kResourceNotAvailable);
  // 511 bytes would end inside the euro sign: the text stops before it, after the whole é.
  std::string cut = LoadResString(kIdsCaption);
  EXPECT_EQ(cut.size(), 511u);
  EXPECT_EQ(cut.substr(509), "\xC3\xA9");
  SetResourceStringSource(nullptr);
  EXPECT_EQ(LoadResString(kIdsFileExists), builtIn);
}

TEST(ResStringsTest, CutUtf8NeverSplitsASequence) {
  const std::string euro = "\xE2\x82\xAC";
  EXPECT_EQ(CutUtf8("abc", 3), "abc");
  EXPECT_EQ(CutUtf8("abcd", 3), "abc");
  EXPECT_EQ(CutUtf8("a" + euro, 1), "a");
  EXPECT_EQ(CutUtf8("a" + euro, 2), "a");
  EXPECT_EQ(CutUtf8("a" + euro, 3), "a");
  EXPECT_EQ(CutUtf8("a" + euro, 4), "a" + euro);
  EXPECT_EQ(CutUtf8("a" + euro + "b", 4), "a" + euro);
  EXPECT_EQ(CutUtf8(euro, 0), "");
}

}  // namespace
}  // namespace sorvani
