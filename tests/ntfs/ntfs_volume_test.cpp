// The volume against what The Sleuth Kit's fsstat says of the same images, and name
// comparison through the volume's own $UpCase table.
#include <gtest/gtest.h>

#include <cctype>

#include "disk/drive_table.h"
#include "ntfs/ntfs_volume.h"
#include "tests/ntfs/ntfs_test_support.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

DriveSource ImageSource(const std::string& path, std::uint64_t offset) {
  DriveSource s;
  s.path = path;
  s.offset = offset;
  return s;
}

TEST(NtfsVolumeInfo, GeometryLabelAndClustersMatchFsstat) {
  std::string text = test::FixtureText("realimages.fsstat.json");
  if (text.empty()) GTEST_SKIP() << "no fsstat key";
  auto json = test::ParseJson(text);
  ASSERT_TRUE(json.has_value());
  int checked = 0;
  for (const auto& [image, volumes] : json->members) {
    for (const test::Json& v : volumes.items) {
      const test::Json* fs = v.Get("fsstat");
      if (!fs || fs->Str("type") != "NTFS" || image == "dissect-ntfs-cloud.bin") continue;
      auto path = test::RealImage(image);
      if (!path) continue;
      SCOPED_TRACE(image);
      ASSERT_TRUE(CDriveTable::Instance().Assign(
          'N', ImageSource(*path, static_cast<std::uint64_t>(v.Int("offset", 0)))));
      CNtfsVolume volume;
      ASSERT_TRUE(volume.Initialize('N'));
      NtfsVolumeInfo info;
      ASSERT_TRUE(volume.GetVolumeInfo(info));
      EXPECT_EQ(info.label, fs->Str("volume_name"));
      EXPECT_EQ(info.bytesPerSector, fs->Int("sector_size"));
      EXPECT_EQ(info.bytesPerCluster, fs->Int("cluster_size"));
      EXPECT_EQ(info.mftRecordSize, fs->Int("mft_entry_size"));
      EXPECT_EQ(static_cast<std::int64_t>(info.mftStartCluster), fs->Int("mft_first_cluster"));
      EXPECT_EQ(static_cast<std::int64_t>(info.clusters),
                fs->Get("total_cluster_range")->items[1].number + 1);
      EXPECT_GT(info.freeClusters, 0u);
      EXPECT_LT(info.freeClusters, info.clusters);
      ++checked;
    }
  }
  CDriveTable::Instance().Remove('N');
  if (checked == 0) GTEST_SKIP() << "no third-party NTFS images";
}

TEST(NtfsNames, ComparisonAndLookupGoThroughUpCase) {
  auto path = test::RealImage("dftt-8-jpeg-search.dd");
  if (!path) GTEST_SKIP() << "no third-party images";
  ASSERT_TRUE(CDriveTable::Instance().Assign('N', ImageSource(*path, 0)));
  CNtfsVolume v;
  ASSERT_TRUE(v.Initialize('N'));
  EXPECT_EQ(v.CompareNames("abc", "abcd"), -1);
  EXPECT_EQ(v.CompareNames("abd", "abc"), 1);
  EXPECT_EQ(v.CompareNames("ABC", "abc"), 0);
  EXPECT_EQ(v.CompareNames("\xC3\x84rger", "\xC3\xA4RGER"), 0);          // Ärger / äRGER: page 0
  EXPECT_EQ(v.CompareNames("\xCE\xA3\xCE\xAF", "\xCF\x83\xCE\xAF"), 0);  // Σί / σί: page 3
  EXPECT_EQ(v.CompareNames("\xD0\x96", "\xD0\xB6"), 0);  // Ж / ж: page 4, then page 0 again
  EXPECT_EQ(v.CompareNames("b", "A"), 1);

  // Every live name of the volume is found in its folder under another letter case.
  auto keyText = test::RealImageText("keys/8-jpeg-search.dd.key.json");
  ASSERT_TRUE(keyText.has_value());
  auto key = test::ParseJson(*keyText);
  ASSERT_TRUE(key.has_value());
  int found = 0;
  for (const test::Json& item : key->Get("items")->items) {
    std::string p = item.Str("path");
    if (item.Bool("name_deleted") || !item.Bool("record_allocated") ||
        p.find(':') != std::string::npos || p.rfind("$OrphanFiles", 0) == 0) {
      continue;
    }
    std::size_t slash = p.rfind('/');
    std::string folder = slash == std::string::npos ? "" : p.substr(0, slash);
    std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    for (char& c : folder)
      if (c == '/') c = '\\';
    std::uint32_t dir = v.ResolvePath("N:\\" + folder);
    ASSERT_NE(dir, 0u) << folder;
    std::string flipped = name;
    for (char& c : flipped) {
      if (std::islower(static_cast<unsigned char>(c)))
        c = static_cast<char>(std::toupper(c));
      else if (std::isupper(static_cast<unsigned char>(c)))
        c = static_cast<char>(std::tolower(c));
    }
    EXPECT_EQ(v.FindInDirectory(flipped, dir), item.Int("record")) << p;
    EXPECT_EQ(v.FindInDirectory(flipped + "~none", dir), 0u) << p;
    ++found;
  }
  EXPECT_GT(found, 10);
  EXPECT_EQ(v.ResolvePath(""), kRootRecord);
  EXPECT_EQ(v.ResolvePath("N:\\"), kRootRecord);
  CDriveTable::Instance().Remove('N');
}

}  // namespace
}  // namespace sorvani
