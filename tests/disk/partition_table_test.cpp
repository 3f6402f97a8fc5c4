#include <gtest/gtest.h>

#include <cstring>

#include "disk/fs_probe.h"
#include "disk/partition_table.h"
#include "foundation/endian.h"

namespace sorvani {
namespace {

using Bytes = std::vector<std::uint8_t>;

void MbrEntry(Bytes& disk, std::uint64_t sectorOffset, int slot, std::uint8_t type,
              std::uint32_t start, std::uint32_t count) {
  std::uint8_t* e = disk.data() + sectorOffset + 446 + slot * 16;
  e[4] = type;
  WriteLe32(e + 8, start);
  WriteLe32(e + 12, count);
  WriteLe16(disk.data() + sectorOffset + 510, 0xAA55);
}

PartitionTable Read(const Bytes& disk) {
  CMemorySource src(std::make_shared<Bytes>(disk));
  return ReadPartitionTable(src);
}

TEST(MbrTable, PrimaryAndLogicalPartitionsInTableOrder) {
  Bytes disk(256 * 512);
  MbrEntry(disk, 0, 0, 0x07, 8, 16);
  MbrEntry(disk, 0, 1, 0x0F, 40, 100);  // extended
  // First EBR at sector 40: logical at +2 for 10 sectors, next EBR at +20.
  MbrEntry(disk, 40 * 512, 0, 0x0B, 2, 10);
  MbrEntry(disk, 40 * 512, 1, 0x05, 20, 30);
  // Second EBR at sector 60: logical at +4 for 8 sectors, end of chain.
  MbrEntry(disk, 60 * 512, 0, 0x06, 4, 8);

  PartitionTable t = Read(disk);
  EXPECT_EQ(t.scheme, "MBR");
  ASSERT_EQ(t.partitions.size(), 3u);
  EXPECT_EQ(t.partitions[0].number, 1);
  EXPECT_EQ(t.partitions[0].offset, 8u * 512);
  EXPECT_EQ(t.partitions[0].mbrType, 0x07);
  EXPECT_EQ(t.partitions[1].number, 5);
  EXPECT_EQ(t.partitions[1].offset, 42u * 512);
  EXPECT_EQ(t.partitions[1].length, 10u * 512);
  EXPECT_EQ(t.partitions[2].number, 6);
  EXPECT_EQ(t.partitions[2].offset, 64u * 512);
}

TEST(MbrTable, HostileTablesAreBoundedAndCut) {
  Bytes disk(200 * 512);
  MbrEntry(disk, 0, 0, 0x05, 10, 100);
  // EBR at sector 10 links to sector 20, whose next link points back at itself.
  MbrEntry(disk, 10 * 512, 0, 0x0B, 1, 5);
  MbrEntry(disk, 10 * 512, 1, 0x05, 10, 5);
  MbrEntry(disk, 20 * 512, 0, 0x0B, 1, 5);
  MbrEntry(disk, 20 * 512, 1, 0x05, 10, 5);
  // Entry 2 starts inside the disk and runs past it; entry 3 starts beyond it.
  MbrEntry(disk, 0, 1, 0x07, 150, 1000);
  MbrEntry(disk, 0, 2, 0x07, 5000, 10);

  PartitionTable t = Read(disk);
  ASSERT_EQ(t.scheme, "MBR");
  std::vector<int> numbers;
  for (auto& p : t.partitions) numbers.push_back(p.number);
  EXPECT_EQ(numbers, (std::vector<int>{5, 6, 2}));
  EXPECT_EQ(t.partitions[2].length, 50u * 512);  // cut at the end of the disk
  EXPECT_EQ(t.warnings.size(), 2u);
}

TEST(MbrTable, VolumeBootSectorIsNotATable) {
  Bytes disk(4096);
  std::memcpy(disk.data() + 3, "NTFS    ", 8);
  MbrEntry(disk, 0, 0, 0x07, 1, 2);  // bytes that would parse as an entry
  EXPECT_STREQ(ProbeFileSystem(ByteSpan(disk).subspan(0, 512)), "NTFS");
  EXPECT_TRUE(Read(disk).scheme.empty());

  Bytes fat(4096);
  std::memcpy(fat.data() + 82, "FAT32   ", 8);
  WriteLe16(fat.data() + 510, 0xAA55);
  EXPECT_STREQ(ProbeFileSystem(ByteSpan(fat).subspan(0, 512)), "FAT32");
  std::memcpy(fat.data() + 82, "FAT     ", 8);
  EXPECT_EQ(ProbeFileSystem(ByteSpan(fat).subspan(0, 512)), nullptr);
}

// Writes a GPT header (and its entry array) at `lba`, with correct CRCs.
void WriteGpt(Bytes& disk, std::uint64_t lba, std::uint64_t entriesLba,
              const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges) {
  const std::uint32_t count = 128, size = 128;
  std::uint8_t* entries = disk.data() + entriesLba * 512;
  std::memset(entries, 0, count * size);
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    std::uint8_t* e = entries + i * size;
    for (int k = 0; k < 16; ++k) e[k] = static_cast<std::uint8_t>(0xA0 + k);  // type GUID
    WriteLe64(e + 32, ranges[i].first);
    WriteLe64(e + 40, ranges[i].second);
    const char16_t name[] = u"data";
    for (int k = 0; k < 4; ++k) WriteLe16(e + 56 + 2 * k, name[k]);
  }
  std::uint8_t* h = disk.data() + lba * 512;
  std::memset(h, 0, 512);
  std::memcpy(h, "EFI PART", 8);
  WriteLe32(h + 8, 0x00010000);
  WriteLe32(h + 12, 92);
  WriteLe64(h + 24, lba);
  WriteLe64(h + 72, entriesLba);
  WriteLe32(h + 80, count);
  WriteLe32(h + 84, size);
  WriteLe32(h + 88, Crc32(entries, count * size));
  WriteLe32(h + 16, Crc32(h, 92));
}

TEST(GptTable, ReadsEntriesAndFallsBackToTheBackupHeader) {
  const std::uint64_t sectors = 2048;
  Bytes disk(sectors * 512);
  MbrEntry(disk, 0, 0, 0xEE, 1, sectors - 1);
  WriteGpt(disk, 1, 2, {{34, 99}, {100, 1999}});
  WriteGpt(disk, sectors - 1, sectors - 33, {{34, 99}, {100, 1999}});

  PartitionTable t = Read(disk);
  ASSERT_EQ(t.scheme, "GPT");
  ASSERT_EQ(t.partitions.size(), 2u);
  EXPECT_EQ(t.partitions[0].offset, 34u * 512);
  EXPECT_EQ(t.partitions[0].length, 66u * 512);
  EXPECT_EQ(t.partitions[1].number, 2);
  EXPECT_EQ(t.partitions[1].name, "data");
  EXPECT_EQ(t.partitions[0].gptType, "A3A2A1A0-A5A4-A7A6-A8A9-AAABACADAEAF");
  EXPECT_TRUE(t.warnings.empty());

  // One flipped byte in the primary entry array breaks its CRC: the backup is used.
  disk[2 * 512 + 40] ^= 1;
  t = Read(disk);
  ASSERT_EQ(t.scheme, "GPT");
  EXPECT_EQ(t.partitions.size(), 2u);
  EXPECT_EQ(t.warnings.size(), 1u);

  // Both copies damaged: no GPT; the protective entry is not a partition.
  disk[(sectors - 33) * 512 + 40] ^= 1;
  t = Read(disk);
  EXPECT_TRUE(t.partitions.empty());
}

TEST(GptTable, HostileEntryCountIsRefused) {
  Bytes disk(64 * 512);
  MbrEntry(disk, 0, 0, 0xEE, 1, 63);
  WriteGpt(disk, 1, 2, {{34, 40}});
  // Claim four million entries: the header CRC is recomputed, so only the bound stops it.
  std::uint8_t* h = disk.data() + 512;
  WriteLe32(h + 80, 4u << 20);
  WriteLe32(h + 16, 0);
  WriteLe32(h + 16, Crc32(h, 92));
  PartitionTable t = Read(disk);
  EXPECT_TRUE(t.partitions.empty());
}

}  // namespace
}  // namespace sorvani
