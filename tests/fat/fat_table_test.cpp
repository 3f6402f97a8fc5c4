#include "fat/fat_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace sorvani {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Packs `values` as a table of `type`, bit by bit from the least significant end, the way
// the entries lie on disk; independent of the decoder under test.
Bytes Pack(std::uint32_t type, const std::vector<std::uint64_t>& values) {
  unsigned width = FatEntryBits(type);
  Bytes packed((values.size() * width + 7) / 8, 0);
  for (std::size_t n = 0; n < values.size(); ++n)
    for (unsigned bit = 0; bit < width; ++bit)
      if (values[n] >> bit & 1)
        packed[(n * width + bit) / 8] |= std::uint8_t(1u << ((n * width + bit) % 8));
  return packed;
}

std::vector<std::uint64_t> SomeEntries(std::uint32_t type, std::size_t count) {
  unsigned width = FatEntryBits(type);
  std::vector<std::uint64_t> values(count);
  for (std::size_t n = 0; n < count; ++n)
    values[n] = n % 7 == 0 ? 0 : (n * 2654435761u) & ((1ull << width) - 1);
  return values;
}

std::uint32_t Expected(std::uint32_t type, std::uint64_t packed) {
  return static_cast<std::uint32_t>(type == kFsFat32 ? packed & 0x0FFFFFFF : packed);
}

TEST(FatTable, EveryEntryWholeAndFedInPiecesOfAnySize) {
  // Entries straddle piece boundaries at every offset: pieces of 1 to 7 bytes and a sector.
  for (std::uint32_t type : {kFsFat12, kFsFat16, kFsFat32}) {
    auto values = SomeEntries(type, 1500);
    Bytes table = Pack(type, values);
    for (std::size_t n = 0; n < values.size(); ++n) {
      std::uint32_t v = 0xDEAD;
      ASSERT_TRUE(ReadFatEntry(table, type, n, v)) << type << " entry " << n;
      ASSERT_EQ(v, Expected(type, values[n])) << type << " entry " << n;
    }
    for (std::size_t piece : {1, 2, 3, 5, 7, 512}) {
      CFatEntryDecoder decoder(type);
      ASSERT_TRUE(decoder.Valid());
      std::vector<std::uint32_t> seen;
      for (std::size_t off = 0; off < table.size(); off += piece)
        decoder.Feed(table.data() + off, std::min(piece, table.size() - off),
                     [&](std::uint64_t n, std::uint32_t v) {
                       ASSERT_EQ(n, seen.size());
                       seen.push_back(v);
                     });
      ASSERT_EQ(seen.size(), values.size()) << type << " pieces of " << piece;
      for (std::size_t n = 0; n < values.size(); ++n)
        ASSERT_EQ(seen[n], Expected(type, values[n]))
            << type << " pieces of " << piece << " entry " << n;
    }
  }
}

TEST(FatTable, BoundsAndReservedBits) {
  struct Case {
    const char* what;
    std::uint32_t type;
    Bytes table;
    std::uint64_t entry;
    bool readable;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"FAT12 even entry in the low 12 bits",
       kFsFat12,
       {0xF0, 0xFF, 0xFF, 0x03, 0x40, 0x00},
       2,
       true,
       0x003},
      {"FAT12 odd entry in the high 12 bits",
       kFsFat12,
       {0xF0, 0xFF, 0xFF, 0x03, 0x40, 0x00},
       3,
       true,
       0x004},
      {"FAT12 entry cut by the end", kFsFat12, {0xF0, 0xFF, 0xFF, 0x03, 0x40}, 3, false, 0},
      {"FAT16 little-endian", kFsFat16, {0xF8, 0xFF, 0xFF, 0xFF, 0x34, 0x12}, 2, true, 0x1234},
      {"FAT16 past the end", kFsFat16, {0xF8, 0xFF, 0xFF, 0xFF}, 2, false, 0},
      {"FAT32 top four bits reserved",
       kFsFat32,
       {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0xF0},
       2,
       true,
       0},
      {"FAT32 28 bits kept",
       kFsFat32,
       {0, 0, 0, 0, 0, 0, 0, 0, 0x78, 0x56, 0x34, 0xF2},
       2,
       true,
       0x02345678},
      {"FAT32 cut last entry", kFsFat32, {0, 0, 0, 0, 0, 0, 0, 0, 0x78, 0x56, 0x34}, 2, false, 0},
      {"not a FAT type", kFsNtfs, {0, 0, 0, 0, 0, 0, 0, 0}, 1, false, 0},
      {"an entry number that would overflow",
       kFsFat32,
       {0, 0, 0, 0},
       ~std::uint64_t{0} / 2,
       false,
       0},
  };
  for (const Case& c : cases) {
    std::uint32_t value = 0xDEAD;
    EXPECT_EQ(ReadFatEntry(c.table, c.type, c.entry, value), c.readable) << c.what;
    if (c.readable) {
      EXPECT_EQ(value, c.value) << c.what;
    }
  }
  EXPECT_FALSE(CFatEntryDecoder(kFsNtfs).Valid());
}

TEST(FatTable, FreeCountStopsAtTheEndOfTheBytes) {
  // FAT12: entries 0 and 1 reserved; 2 free, 3 -> 4 (odd entry), 4 free, 5 end of chain.
  const Bytes fat12 = {0xF0, 0xFF, 0xFF, 0x00, 0x40, 0x00, 0x00, 0xF0, 0xFF};
  EXPECT_EQ(CountFreeFatEntries(fat12, kFsFat12, 2, 4), 2u);
  // Six bytes hold entries 0 to 3 whole, and only entry 2 of them is free.
  EXPECT_EQ(CountFreeFatEntries(ByteSpan(fat12).first(6), kFsFat12, 2, 100), 1u);
  const Bytes fat16 = {0xF8, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  EXPECT_EQ(CountFreeFatEntries(fat16, kFsFat16, 2, 3), 2u);
  const Bytes fat32 = {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F,
                       0x00, 0x00, 0x00, 0xF0, 0x03, 0x00, 0x00, 0x00};
  EXPECT_EQ(CountFreeFatEntries(fat32, kFsFat32, 2, 2), 1u);
  EXPECT_EQ(CountFreeFatEntries(ByteSpan(fat32).first(15), kFsFat32, 2, 2), 1u)
      << "a cut last entry is not read";
  // A count reaching the end of the 64-bit range stops at the bytes, not at the wrap.
  EXPECT_EQ(CountFreeFatEntries(fat16, kFsFat16, 2, ~std::uint64_t{0}), 2u);
}

}  // namespace
}  // namespace sorvani
