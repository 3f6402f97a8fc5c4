#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "disk/drive_table.h"
#include "fat/fat_volume.h"
#include "foundation/endian.h"
#include "foundation/log.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct BootFields {
  std::uint16_t bytesPerSector = 512;
  std::uint8_t sectorsPerCluster = 4;
  std::uint16_t reserved = 32;
  std::uint8_t fats = 2;
  std::uint16_t rootEntries = 512;
  std::uint16_t sectorsPerFat16 = 256;
  std::uint32_t sectorsPerFat32 = 0;
  std::uint8_t extFlags = 0;
  const char* type16 = "FAT16   ";
  const char* type32 = nullptr;
};

Bytes BootSector(const BootFields& f, std::size_t volumeBytes = 1 << 20) {
  Bytes b(volumeBytes);
  WriteLe16(&b[11], f.bytesPerSector);
  b[13] = f.sectorsPerCluster;
  WriteLe16(&b[14], f.reserved);
  b[16] = f.fats;
  WriteLe16(&b[17], f.rootEntries);
  WriteLe16(&b[19], static_cast<std::uint16_t>(volumeBytes / 512));
  WriteLe16(&b[22], f.sectorsPerFat16);
  if (f.type32) {
    WriteLe32(&b[36], f.sectorsPerFat32);
    b[40] = f.extFlags;
    std::memcpy(&b[82], f.type32, 8);
  } else if (f.type16) {
    std::memcpy(&b[54], f.type16, 8);
  }
  WriteLe16(&b[510], 0xAA55);
  return b;
}

bool InitFrom(CFatVolume& v, Bytes bytes) {
  DriveSource src;
  src.memory = std::make_shared<Bytes>(std::move(bytes));
  CDriveTable::Instance().Assign('F', src);
  bool ok = v.Initialize('F');
  CDriveTable::Instance().Remove('F');
  return ok;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(FatGeometry, Fat16DataAreaFollowsTheRootDirectory) {
  CFatVolume v;
  ASSERT_TRUE(InitFrom(v, BootSector({})));
  EXPECT_EQ(v.GetFsType(), kFsFat16);
  EXPECT_EQ(v.FirstDataSector(), 2u * 256 + 32 + 32);  // 576
  EXPECT_EQ(v.BytesPerCluster(), 2048u);
  EXPECT_EQ(v.ActiveFatOffset(), 32u * 512);
  EXPECT_EQ(v.FatBytes(), 256u * 512);
  // Data cluster 2 starts at byte 576 * 512, which is cluster 144 of the volume exactly.
  EXPECT_EQ(v.ClusterOffset(2), 576u * 512);
  EXPECT_EQ(v.ClusterToRawUnit(2), 144u);
  EXPECT_EQ(v.DataAreaOffsetInUnit(), 0u);

  // A data area off the cluster grid: 33 reserved sectors put cluster 2 mid-unit.
  BootFields odd;
  odd.reserved = 33;
  CFatVolume w;
  ASSERT_TRUE(InitFrom(w, BootSector(odd)));
  EXPECT_EQ(w.FirstDataSector(), 577u);
  EXPECT_EQ(w.ClusterToRawUnit(3), 577u * 512 / 2048 + 1);
  EXPECT_EQ(w.DataAreaOffsetInUnit(), 577u * 512 % 2048);
  std::uint64_t raw = w.ClusterToRawUnit(3) * 2048 + w.DataAreaOffsetInUnit();
  EXPECT_EQ(raw, w.ClusterOffset(3));
}

TEST(FatGeometry, RootDirectoryTakesWholeSectors) {
  // The data area starts after reserved sectors, both FATs and the root directory, whose last
  // sector counts even when the entries fill only part of it.
  const struct {
    std::uint16_t bytesPerSector;
    std::uint16_t rootEntries;
    std::uint32_t rootSectors;
  } kCases[] = {
      {512, 512, 32}, {512, 500, 32}, {512, 497, 32}, {512, 496, 31}, {512, 1, 1},
      {512, 16, 1},   {512, 17, 2},   {512, 0, 0},    {4096, 512, 4}, {4096, 129, 2},
  };
  for (const auto& c : kCases) {
    BootFields f;
    f.bytesPerSector = c.bytesPerSector;
    f.sectorsPerCluster = 1;
    f.rootEntries = c.rootEntries;
    CFatVolume v;
    ASSERT_TRUE(InitFrom(v, BootSector(f))) << c.rootEntries;
    EXPECT_EQ(v.FirstDataSector(), 32u + 2u * 256 + c.rootSectors)
        << c.rootEntries << " entries of " << c.bytesPerSector << "-byte sectors";
  }
}

TEST(FatGeometry, CutOffSourceSaysHowMuchIsMissing) {
  const std::size_t kClaimed = 1 << 20;
  const struct {
    std::size_t held;
    std::uint64_t missing;
  } kCases[] = {{kClaimed, 0},
                {kClaimed + 4096, 0},
                {kClaimed - 512, 512},
                {600 * 1024, kClaimed - 600 * 1024}};
  for (const auto& c : kCases) {
    Bytes bytes = BootSector({}, kClaimed);
    bytes.resize(c.held, 0);
    CFatVolume v;
    ASSERT_TRUE(InitFrom(v, bytes)) << c.held;
    EXPECT_EQ(v.ClaimedSize(), kClaimed);
    EXPECT_EQ(v.MissingBytes(), c.missing) << c.held;
  }
}

TEST(FatGeometry, Fat32ActiveFatFromExtendedFlags) {
  BootFields f;
  f.type16 = nullptr;
  f.type32 = "FAT32   ";
  f.rootEntries = 0;
  f.sectorsPerFat16 = 0;
  f.sectorsPerFat32 = 1000;
  for (auto [flags, active] : {std::pair{0x81, 1u}, {0x01, 0u}, {0x80, 0u}, {0x8F, 0u}}) {
    f.extFlags = static_cast<std::uint8_t>(flags);
    CFatVolume v;
    ASSERT_TRUE(InitFrom(v, BootSector(f)));
    EXPECT_EQ(v.GetFsType(), kFsFat32);
    EXPECT_EQ(v.ActiveFat(), active) << "flags " << flags;
    EXPECT_EQ(v.SectorsPerFat(), 1000u);
    EXPECT_EQ(v.FirstDataSector(), 2u * 1000 + 32);  // no fixed root directory on FAT32
    EXPECT_EQ(v.ActiveFatOffset(), (active * 1000 + 32) * 512ull);
  }
}

TEST(FatGeometry, UnknownTypesFailSilentlyAndBadGeometryIsLogged) {
  std::string log = test::ScratchFolder("FatGeometry") + "/log.txt";
  ASSERT_TRUE(LogFile.Open(log));

  BootFields blank;
  blank.type16 = "FAT     ";  // some formatters write the bare word
  CFatVolume a;
  EXPECT_FALSE(InitFrom(a, BootSector(blank)));

  Bytes ntfs(4096);
  std::memcpy(&ntfs[3], "NTFS    ", 8);
  WriteLe16(&ntfs[510], 0xAA55);
  CFatVolume b;
  EXPECT_FALSE(InitFrom(b, ntfs));

  Bytes noMarker = BootSector({});
  noMarker[510] = 0;
  CFatVolume c;
  EXPECT_FALSE(InitFrom(c, noMarker));
  EXPECT_EQ(Slurp(log), "") << "unrecognised volumes are not errors";

  for (auto mutate :
       {+[](BootFields& f) { f.bytesPerSector = 0; },
        +[](BootFields& f) { f.sectorsPerCluster = 3; }, +[](BootFields& f) { f.fats = 0; },
        +[](BootFields& f) { f.sectorsPerFat16 = 0; }}) {
    BootFields f;
    mutate(f);
    CFatVolume v;
    EXPECT_FALSE(InitFrom(v, BootSector(f)));
  }
  std::string text = Slurp(log);
  EXPECT_NE(text.find("FAT boot sector has an invalid geometry: 0 bytes per sector"),
            std::string::npos)
      << text;

  CFatVolume shortVolume;
  EXPECT_FALSE(InitFrom(shortVolume, Bytes(300)));
  LogFile.Close();
  EXPECT_NE(Slurp(log).find("Cannot read the boot sector\n"), std::string::npos);
}

}  // namespace
}  // namespace sorvani
