// What the command does with input it must not trust: names on an image that carry terminal
// controls, damaged folder indexes, cut-off FAT images, arguments that cannot be honoured, and
// failures whose reason must reach the person.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using test::JsonLines;
using test::Lines;
using test::RunSorvani;
using Bytes = std::vector<std::uint8_t>;

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes Utf16(const std::u16string& text) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

std::size_t Find(const Bytes& hay, const Bytes& needle, std::size_t from = 0) {
  auto it = std::search(hay.begin() + static_cast<std::ptrdiff_t>(from), hay.end(), needle.begin(),
                        needle.end());
  return it == hay.end() ? std::string::npos : static_cast<std::size_t>(it - hay.begin());
}

// A byte that drives a terminal: C0 controls other than the allowed layout characters, DEL,
// and the C1 controls (UTF-8 C2 80..C2 9F).
std::string FirstControl(const std::string& text, const std::string& allowed) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    bool control =
        (c < 0x20 && allowed.find(static_cast<char>(c)) == std::string::npos) || c == 0x7F ||
        (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
         static_cast<unsigned char>(text[i + 1]) <= 0x9F);
    if (control) return "byte " + std::to_string(c) + " at " + std::to_string(i);
  }
  return {};
}

// ntfs-512.img with the deleted file "ads-deleted.txt" (record 79) renamed, in its MFT record,
// to a name of the same length full of terminal controls: an OSC title sequence ended by BEL,
// a line break followed by what looks like the next row, a C1 CSI and DEL.
const std::u16string kHostileName =
    u"\x1b]0;\a\nD\x9b"
    u"2J\x7f.txt";
const std::string kHostileUtf8 =
    "\x1b]0;\a\nD\xc2\x9b"
    "2J\x7f.txt";
const std::string kHostileShown =
    "\\x1b]0;\\x07\\x0aD\\xc2\\x9b"
    "2J\\x7f.txt";

std::string HostileImage(const std::string& folder) {
  Bytes image = test::ReadWholeFile(test::Fixture("ntfs-512.img"));
  Bytes from = Utf16(u"ads-deleted.txt"), to = Utf16(kHostileName);
  EXPECT_EQ(from.size(), to.size());
  int replaced = 0;
  for (std::size_t at = Find(image, from); at != std::string::npos;
       at = Find(image, from, at + 1)) {
    // The last two bytes of each sector of a record hold its update sequence number; a name
    // across them would need the fixup array changed too.
    for (std::size_t k = at; k < at + from.size(); ++k)
      EXPECT_LT(k % 512, 510u) << "name crosses a fixup";
    std::copy(to.begin(), to.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    ++replaced;
  }
  EXPECT_GE(replaced, 1);
  std::string path = folder + "/hostile-names.img";
  WriteFile(path, image);
  return path;
}

TEST(CliHostileInput, NamesFromTheImageCannotDriveTheTerminal) {
  std::string image = HostileImage(test::ScratchFolder("cli_hostile_names"));
  const struct {
    std::vector<std::string> args;
    std::string shown;   // what the row or line shows of the name
    std::string layout;  // layout characters the output may hold
  } kCases[] = {
      {{"list", image}, "C:\\" + kHostileShown, "\n"},
      {{"list", image, "--recursive", "--deleted-only"}, "C:\\" + kHostileShown, "\n"},
      {{"search", image, "--name", "txt"}, "C:\\" + kHostileShown, "\n"},
      {{"dump-record", image, "79"}, "  Name=" + kHostileShown, "\n\t"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 2 ? " " + c.args[2] : ""));
    auto r = RunSorvani(c.args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(FirstControl(r.out, c.layout), "") << r.out;
    int shownOn = 0;
    for (const std::string& line : Lines(r.out)) {
      if (line.size() >= c.shown.size() &&
          line.compare(line.size() - c.shown.size(), c.shown.size(), c.shown) == 0)
        ++shownOn;
      // The line break in the name must not start a line of its own.
      EXPECT_NE(line.rfind("D\xc2\x9b", 0), 0u) << line;
      EXPECT_NE(line.rfind("D\\xc2", 0), 0u) << line;
    }
    EXPECT_EQ(shownOn, 1) << r.out;
  }

  // The JSON rows carry the name exactly, every control escaped the JSON way.
  auto r = RunSorvani({"list", image, "--json", "--deleted-only"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(FirstControl(r.out, "\n"), "") << r.out;
  EXPECT_NE(r.out.find("\\u001b]0;\\u0007\\nD\\u009b2J\\u007f.txt"), std::string::npos) << r.out;
  bool found = false;
  for (const auto& row : JsonLines(r.out))
    found |= row.at("name") == kHostileUtf8 && row.at("record") == 79;
  EXPECT_TRUE(found) << r.out;
}

TEST(CliHostileInput, AVolumeLabelCannotDriveTheTerminal) {
  // The FAT16 label is eleven bytes of the boot sector at 43, in whatever code page wrote it.
  Bytes image = test::ReadWholeFile(test::Fixture("fat16.img"));
  ASSERT_GT(image.size(), 512u);
  const char label[] = "\x1b[2JX\a\x82\n  ";
  std::memcpy(&image[43], label, 11);
  std::string path = test::ScratchFolder("cli_hostile_label") + "/label.img";
  WriteFile(path, image);

  auto r = RunSorvani({"info", path});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(FirstControl(r.out, "\n"), "") << r.out;
  EXPECT_NE(r.out.find("Label:               \\x1b[2JX\\x07\\x82\\x0a\n"), std::string::npos)
      << r.out;

  auto j = RunSorvani({"info", path, "--json"});
  ASSERT_EQ(j.exitCode, 0) << j.err;
  EXPECT_EQ(FirstControl(j.out, "\n"), "") << j.out;
  auto drives = JsonLines(j.out);  // throws on a line that is not JSON
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].at("label"), "\x1b[2JX\a\xef\xbf\xbd\n");
}

// A copy of ntfs-512.img with one structure made unreadable.
enum class Damage { kNone, kRootIndexBlock, kFolderRecord };

std::string DamagedImage(const std::string& folder, Damage damage) {
  Bytes image = test::ReadWholeFile(test::Fixture("ntfs-512.img"));
  if (damage == Damage::kRootIndexBlock) {
    // The root's index block is the one that lists the root's live files.
    Bytes rootFile = Utf16(u"zero-live.dat");
    std::size_t block = std::string::npos;
    for (std::size_t at = 0; at + 4096 <= image.size(); at += 512) {
      if (std::memcmp(&image[at], "INDX", 4) != 0) continue;
      if (Find(Bytes(image.begin() + static_cast<std::ptrdiff_t>(at),
                     image.begin() + static_cast<std::ptrdiff_t>(at + 4096)),
               rootFile) != std::string::npos) {
        block = at;
        break;
      }
    }
    EXPECT_NE(block, std::string::npos);
    if (block != std::string::npos) std::memcpy(&image[block], "XXXX", 4);
  } else if (damage == Damage::kFolderRecord) {
    // MFT record 64 is the live folder "Folder": its record number sits at 0x2C.
    bool broken = false;
    for (std::size_t at = 0; at + 1024 <= image.size() && !broken; at += 1024) {
      if (std::memcmp(&image[at], "FILE", 4) != 0) continue;
      std::uint32_t number = image[at + 0x2C] | image[at + 0x2D] << 8 | image[at + 0x2E] << 16 |
                             static_cast<std::uint32_t>(image[at + 0x2F]) << 24;
      if (number != 64) continue;
      std::memcpy(&image[at], "BAAD", 4);
      broken = true;
    }
    EXPECT_TRUE(broken);
  }
  std::string path = folder + "/damaged.img";
  WriteFile(path, image);
  return path;
}

TEST(CliHostileInput, ListSaysWhatADamagedIndexKeptOut) {
  const struct {
    Damage damage;
    std::vector<std::string> extra;
    int exitCode;
    std::string message;  // "" when stderr must stay empty
    std::string absent;   // a live row the damage hides, "" for none
    std::string kept;     // a deleted row it leaves readable
  } kCases[] = {
      {Damage::kNone, {"--recursive"}, 0, "", "", "C:\\ads-deleted.txt"},
      {Damage::kRootIndexBlock,
       {},
       1,
       "sorvani: list: C:\\: 1 block of the folder's index cannot be read; the existing items in "
       "it are not listed",
       "C:\\zero-live.dat",
       "C:\\ads-deleted.txt"},
      {Damage::kRootIndexBlock,
       {"--recursive", "--deleted-only"},
       1,
       "sorvani: list: C:\\: 1 block of the folder's index cannot be read",
       "",
       "small-deleted.txt"},
      {Damage::kFolderRecord,
       {"--recursive"},
       1,
       "sorvani: list: C:\\Folder\\: the folder's index cannot be read; its existing items are not "
       "listed",
       "",
       "C:\\ads-deleted.txt"},
      {Damage::kFolderRecord,
       {"--path", "C:\\Folder\\"},
       1,
       "sorvani: list: C:\\Folder\\: the folder's index cannot be read",
       "",
       "C:\\Folder\\small-deleted.txt"},
  };
  int n = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(n);
    std::string image =
        DamagedImage(test::ScratchFolder("cli_list_damage_" + std::to_string(n++)), c.damage);
    std::vector<std::string> args = {"list", image};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    auto r = RunSorvani(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    if (c.message.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    if (!c.absent.empty()) {
      EXPECT_EQ(r.out.find(c.absent), std::string::npos) << r.out;
    }
    // What the damage leaves readable is still listed.
    EXPECT_NE(r.out.find(c.kept), std::string::npos) << r.out;
  }
}

TEST(CliHostileInput, SearchRefusesWhatItCannotHonour) {
  std::string image = test::Fixture("ntfs-512.img");
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  } kCases[] = {
      {{"--min-kb", "-5"},
       2,
       "search: --min-kb takes a whole number of KB from 0 to 4294967295, not '-5'"},
      {{"--max-kb", "10x"}, 2, "not '10x'"},
      {{"--max-kb", "1.5"}, 2, "not '1.5'"},
      {{"--min-kb", ""}, 2, "not ''"},
      {{"--min-kb", "4294967296"}, 2, "not '4294967296'"},
      {{"--min-kb", "10", "--max-kb", "5"}, 2, "search: --min-kb 10 is larger than --max-kb 5"},
      {{"--created", "2021-02-30", "2021-03-01"}, 2, "search: '2021-02-30' is not a date"},
      {{"--created", "2021-02-29", "2021-03-01"}, 2, "'2021-02-29' is not a date"},
      {{"--modified", "2021-01-01", "2021-13-01"}, 2, "'2021-13-01' is not a date"},
      {{"--modified", "2021-01-01T24:00", "2021-02-01"}, 2, "'2021-01-01T24:00' is not a date"},
      {{"--modified", "2021-1-01", "2021-02-01"}, 2, "'2021-1-01' is not a date"},
      {{"--modified", "+021-01-01", "2021-02-01"}, 2, "'+021-01-01' is not a date"},
      {{"--modified", "yesterday", "2021-02-01"}, 2, "'yesterday' is not a date"},
      {{"--modified", "1899-12-31", "2021-02-01"},
       2,
       "'1899-12-31' is not a date; dates are YYYY-MM-DD[THH:MM[:SS]] in local time, from 1900 on"},
      {{"--created", "2021-05-01", "2021-01-01"},
       2,
       "search: FROM 2021-05-01 is later than TO 2021-01-01"},
      {{"--created", "2021-05-01T10:00:01", "2021-05-01T10:00"}, 2, "is later than TO"},
      // What can be honoured still runs.
      {{"--min-kb", "0", "--max-kb", "4294967295"}, 0, ""},
      {{"--min-kb", "7", "--max-kb", "7"}, 0, ""},
      {{"--created", "2020-02-29", "2020-02-29T23:59:59"}, 0, ""},
      {{"--modified", "1900-01-01", "9999-12-31"}, 0, ""},
  };
  for (const auto& c : kCases) {
    std::vector<std::string> args = {"search", image};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    auto r = RunSorvani(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    if (c.exitCode == 2) {
      EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
      EXPECT_EQ(r.out, "");
    } else {
      EXPECT_EQ(r.err, "");
    }
  }
}

TEST(CliHostileInput, AFolderThatDoesNotExistIsRefusedByListAndRecover) {
  std::string image = test::Fixture("ntfs-512.img");
  std::string dest = test::ScratchFolder("cli_recover_missing_folder");
  const struct {
    std::string path;
    int exitCode;
  } kCases[] = {
      {"C:\\Nope\\", 2},  {"C:\\Gone\\Nope\\", 2}, {"C:\\ads-host.txt", 2},  // a file, not a folder
      {"Nope/Deeper", 2}, {"C:\\Gone\\", 0},                                 // a deleted folder
      {"Folder/Sub", 0},  // a live folder, written "/"-separated
  };
  int n = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.path);
    auto r = RunSorvani(
        {"recover", image, "--to", dest + "/" + std::to_string(n++), "--path", c.path, "--quiet"});
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    if (c.exitCode == 2) {
      EXPECT_EQ(r.err, "sorvani: recover: no folder " + c.path + "\n");
      auto listed = RunSorvani({"list", image, "--path", c.path});
      EXPECT_EQ(listed.exitCode, 2);
      EXPECT_NE(listed.err.find("no folder"), std::string::npos) << listed.err;
    } else {
      EXPECT_EQ(r.err.find("no deleted items"), std::string::npos) << r.err;
    }
  }
}

TEST(CliHostileInput, ACutOffFatVolumeIsReportedWithWhatIsMissing) {
  std::string folder = test::ScratchFolder("cli_fat_cut_off");
  Bytes fat16 = test::ReadWholeFile(test::Fixture("fat16.img"));
  Bytes partitioned = test::ReadWholeFile(test::Fixture("mbr-ntfs-fat32.img"));
  ASSERT_GT(fat16.size(), 10000000u);
  ASSERT_GT(partitioned.size(), 50000000u);
  std::uint64_t fat16Size = fat16.size();
  WriteFile(folder + "/fat16-cut.img", Bytes(fat16.begin(), fat16.begin() + 10000000));
  // The FAT32 partition starts at 22,020,096 and claims 37,748,736 bytes.
  WriteFile(folder + "/mbr-cut.img", Bytes(partitioned.begin(), partitioned.begin() + 50000000));
  const std::string missing16 = std::to_string(fat16Size - 10000000) + " bytes";
  const std::string missing32 = std::to_string(22020096ull + 37748736 - 50000000) + " bytes";
  const struct {
    std::string command;
    std::string image;
    int exitCode;
    std::string warning;  // "" when none is due
  } kCases[] = {
      {"info", folder + "/fat16-cut.img", 0,
       "(drive C:): the FAT16 volume is cut off: its boot sector claims " +
           std::to_string(fat16Size) + " bytes, the source holds 10000000; " + missing16},
      {"carve", folder + "/fat16-cut.img", 1, "the FAT16 volume is cut off"},
      {"info", folder + "/mbr-cut.img", 0, "(drive D:): the FAT32 volume is cut off"},
      {"carve", folder + "/mbr-cut.img", 1, missing32},
      {"info", test::Fixture("fat16.img"), 0, ""},
      {"carve", test::Fixture("fat16.img"), 0, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.command + " " + c.image);
    auto r = RunSorvani({c.command, c.image});
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    if (c.warning.empty()) {
      EXPECT_EQ(r.err.find("cut off"), std::string::npos) << r.err;
    } else {
      EXPECT_NE(r.err.find("sorvani: warning: "), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(c.warning), std::string::npos) << r.err;
    }
  }
}

TEST(CliHostileInput, AFileThatCannotBeCreatedSaysWhy) {
  // Both the file's name and its numbered name are taken by folders, so neither can be made.
  std::string dest = test::ScratchFolder("cli_create_reason");
  fs::create_directories(dest + "/ads-deleted.txt");
  fs::create_directories(dest + "/ads-deleted (79).txt");
  auto r = RunSorvani({"recover", test::Fixture("ntfs-512.img"), "--to", dest, "--record", "79",
                       "--quiet", "--yes-to-all"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("The destination file could not be created. Is a directory (" + dest +
                       "/ads-deleted (79).txt)"),
            std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace sorvani
