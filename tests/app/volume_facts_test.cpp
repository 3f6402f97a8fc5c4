#include "app/volume_facts.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <regex>

#include "disk/drive_enum.h"
#include "disk/drive_table.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

// Sectors The Sleuth Kit lists as allocated in its FAT contents: "a-b (n) -> ...".
std::uint64_t AllocatedSectorsInKey(const std::string& fsstat) {
  std::uint64_t total = 0;
  std::regex run(R"(\d+-\d+ \((\d+)\) ->)");
  for (auto it = std::sregex_iterator(fsstat.begin(), fsstat.end(), run);
       it != std::sregex_iterator(); ++it)
    total += std::stoull((*it)[1].str());
  return total;
}

TEST(VolumeInformation, UnmountedImagesCountFromTheirOwnStructures) {
  CDriveTable& table = CDriveTable::Instance();
  table.Clear();
  LogicalDiskMap.clear();
  std::string error;

  // Every FAT width, against The Sleuth Kit's cluster range and allocation runs.
  struct FatCase {
    const char* image;
    const char* fsName;
    const char* label;
  };
  for (const FatCase& c :
       {FatCase{"fat12.img", "FAT12", "SORVANIF12"}, FatCase{"fat16.img", "FAT16", "SORVANIF16"},
        FatCase{"fat32.img", "FAT32", "SORVANIF32"}}) {
    auto fat = table.RegisterImage(test::Fixture(c.image), error);
    ASSERT_EQ(fat.size(), 1u) << error;
    VolumeInformation info;
    ASSERT_TRUE(GetVolumeInformation(fat[0], info)) << c.image;
    EXPECT_EQ(info.fsName, c.fsName);
    EXPECT_EQ(info.label, c.label);
    EXPECT_EQ(info.mountPoint, "");
    auto key = nlohmann::json::parse(test::FixtureText(std::string(c.image) + ".key.json"));
    std::string fsstat = key["fsstat_text"].get<std::string>();
    std::smatch range, size, sector;
    ASSERT_TRUE(std::regex_search(fsstat, range, std::regex(R"(Total Cluster Range: 2 - (\d+))")));
    ASSERT_TRUE(std::regex_search(fsstat, size, std::regex(R"(Cluster Size: (\d+))")));
    ASSERT_TRUE(std::regex_search(fsstat, sector, std::regex(R"(Sector Size: (\d+))")));
    std::uint64_t clusters = std::stoull(range[1].str()) - 2 + 1;
    std::uint64_t clusterBytes = std::stoull(size[1].str());
    ASSERT_TRUE(info.capacityKnown && info.freeKnown) << c.image;
    EXPECT_EQ(info.capacity, clusters * clusterBytes) << c.image;
    EXPECT_EQ(info.free, clusters * clusterBytes -
                             AllocatedSectorsInKey(fsstat) * std::stoull(sector[1].str()))
        << c.image;
  }

  auto ntfs = table.RegisterImage(test::Fixture("ntfs-4k.img"), error);
  ASSERT_EQ(ntfs.size(), 1u) << error;
  VolumeInformation info;
  ASSERT_TRUE(GetVolumeInformation(ntfs[0], info));
  EXPECT_EQ(info.fsName, "NTFS");
  EXPECT_EQ(info.label, "SORVANI4K");
  EXPECT_EQ(info.capacity, 12287u * 4096);
  ASSERT_TRUE(info.freeKnown);
  EXPECT_GT(info.free, 0u);
  EXPECT_LT(info.free, info.capacity);

  // An image that vanished after it was registered: known letter, problem told, no crash.
  std::string dir = test::ScratchFolder("VolumeInfoGone");
  std::string copy = dir + "/gone.img";
  {
    auto bytes = test::ReadWholeFile(test::Fixture("fat32.img"));
    std::FILE* f = std::fopen(copy.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  auto gone = table.RegisterImage(copy, error);
  ASSERT_EQ(gone.size(), 1u) << error;
  ::unlink(copy.c_str());
  ASSERT_TRUE(GetVolumeInformation(gone[0], info));
  EXPECT_FALSE(info.freeKnown);
  EXPECT_EQ(info.fsName, "");
  EXPECT_TRUE(info.unopenable);
  ASSERT_TRUE(GetVolumeInformation(ntfs[0], info));
  EXPECT_FALSE(info.unopenable);

  EXPECT_FALSE(GetVolumeInformation('Y', info)) << "a letter nobody holds";
  table.Clear();
}

}  // namespace
}  // namespace sorvani
