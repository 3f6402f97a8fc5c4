#include <gtest/gtest.h>

#include <fstream>

#include "disk/drive_table.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

TEST(DriveTable, BadSourcesGiveOneLineReasons) {
  CDriveTable& table = CDriveTable::Instance();
  table.Clear();
  std::string dir = test::ScratchFolder("DriveTableBad");
  std::string error;

  struct Case {
    std::string path;
    std::vector<std::uint8_t> bytes;
    bool create;
    std::string reason;
  } cases[] = {
      {dir + "/missing.img", {}, false, "no such file or device"},
      {dir, {}, false, "is a directory"},
      {dir + "/empty.img", {}, true, "the file is empty"},
      {dir + "/short.img", std::vector<std::uint8_t>(100, 0xAA), true, "too short"},
      {dir + "/zeros.img", std::vector<std::uint8_t>(8192, 0), true, "no NTFS or FAT file system"},
  };
  for (const Case& c : cases) {
    if (c.create) WriteFile(c.path, c.bytes);
    auto letters = table.RegisterImage(c.path, error);
    EXPECT_TRUE(letters.empty()) << c.path;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(error.rfind(c.path, 0), 0u) << "the reason names the source: " << error;
  }
  EXPECT_TRUE(table.Snapshot().empty());
}

TEST(DriveTable, LettersStartAtCAndSkipTakenOnes) {
  CDriveTable& table = CDriveTable::Instance();
  table.Clear();
  EXPECT_EQ(table.NextFreeLetter(), 'C');
  DriveSource s;
  s.path = "/dev/null";
  table.Assign('c', s);  // letters are case-insensitive
  table.Assign('D', s);
  EXPECT_TRUE(table.Find('C').has_value());
  EXPECT_EQ(table.NextFreeLetter(), 'E');
  EXPECT_FALSE(table.Assign('1', s));
  table.Clear();
}

TEST(DriveTable, PartitionedImagesGiveOneDrivePerPartition) {
  struct Image {
    std::string name;
    std::vector<std::string> schemes;
    std::size_t count;
  };
  CDriveTable& table = CDriveTable::Instance();
  for (const Image& img :
       {Image{"mbr-ntfs-fat32.img", {"MBR"}, 2}, Image{"gpt-ntfs-fat.img", {"GPT"}, 2}}) {
    table.Clear();
    std::string path = test::Fixture(img.name);
    if (path.empty()) continue;
    std::string error;
    auto letters = table.RegisterImage(path, error);
    ASSERT_EQ(letters.size(), img.count) << img.name << ": " << error;
    EXPECT_EQ(letters.front(), 'C');
    for (char l : letters) {
      auto src = table.Find(l);
      ASSERT_TRUE(src);
      EXPECT_EQ(src->partitionScheme, img.schemes[0]);
      EXPECT_GT(src->offset, 0u);
    }
  }
  table.Clear();
}

}  // namespace
}  // namespace sorvani
