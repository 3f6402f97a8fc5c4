#include "fat/fat_table.h"

namespace sorvani {

bool ReadFatEntry(ByteSpan table, std::uint32_t fatType, std::uint64_t n, std::uint32_t& value) {
  if (!FatEntryBits(fatType) || n > (~std::uint64_t{0} >> 6)) return false;
  const std::uint64_t first = FatEntryFirstByte(fatType, n);
  const std::uint64_t end = FatEntryEndByte(fatType, n);
  if (!FitsIn(table.size(), first, end - first)) return false;
  value = DecodeFatEntryAt(table.subspan(first, end - first), fatType, n);
  return true;
}

std::uint64_t CountFreeFatEntries(ByteSpan table, std::uint32_t fatType, std::uint64_t firstCluster,
                                  std::uint64_t count) {
  std::uint64_t free = 0;
  for (std::uint64_t n = firstCluster; count > 0; ++n, --count) {
    std::uint32_t value = 0;
    if (!ReadFatEntry(table, fatType, n, value)) break;
    if (value == 0) ++free;
  }
  return free;
}

}  // namespace sorvani
