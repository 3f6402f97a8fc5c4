// The file allocation table of a FAT12, FAT16 or FAT32 volume: entry N decoded from the
// table's bytes, whole or as consecutive pieces read from the device.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disk/volume.h"
#include "foundation/endian.h"

namespace sorvani {

// Bits per entry for kFsFat12, kFsFat16 or kFsFat32; 0 for any other type.
constexpr unsigned FatEntryBits(std::uint32_t fatType) {
  return fatType == kFsFat12 ? 12 : fatType == kFsFat16 ? 16 : fatType == kFsFat32 ? 32 : 0;
}

// Byte range [first, end) of the table that holds entry `n`.
constexpr std::uint64_t FatEntryFirstByte(std::uint32_t fatType, std::uint64_t n) {
  return n * FatEntryBits(fatType) / 8;
}
constexpr std::uint64_t FatEntryEndByte(std::uint32_t fatType, std::uint64_t n) {
  return ((n + 1) * FatEntryBits(fatType) + 7) / 8;
}

// Decodes entry `n` from `bytes`, the table's bytes from FatEntryFirstByte(n) on. FAT12 packs
// two entries in three bytes (the even one in the low 12 bits); FAT32 keeps 28 bits, the top
// four are reserved. Returns 0 where `bytes` is too short, so callers check the range first.
inline std::uint32_t DecodeFatEntryAt(ByteSpan bytes, std::uint32_t fatType, std::uint64_t n) {
  switch (fatType) {
    case kFsFat12: {
      std::uint32_t pair = ReadLe16(bytes, 0);
      return n & 1 ? pair >> 4 : pair & 0xFFF;
    }
    case kFsFat16:
      return ReadLe16(bytes, 0);
    case kFsFat32:
      return ReadLe32(bytes, 0) & 0x0FFFFFFF;
    default:
      return 0;
  }
}

// Reads entry `n` of a table whose first `table.size()` bytes are given. False when the entry
// does not lie wholly inside them or the type is not FAT.
bool ReadFatEntry(ByteSpan table, std::uint32_t fatType, std::uint64_t n, std::uint32_t& value);

// Counts the free (zero) entries among `count` entries from `firstCluster` on, in a table whose
// first `table.size()` bytes are given. Entries not wholly inside them are not counted.
std::uint64_t CountFreeFatEntries(ByteSpan table, std::uint32_t fatType, std::uint64_t firstCluster,
                                  std::uint64_t count);
inline std::uint64_t CountFreeFatEntries(const std::uint8_t* fat, std::size_t size,
                                         std::uint32_t fatType, std::uint64_t firstCluster,
                                         std::uint64_t count) {
  return CountFreeFatEntries(ByteSpan(fat, size), fatType, firstCluster, count);
}

// Decodes a table fed as consecutive pieces from its first byte on, in any sizes: an entry
// split between two pieces is completed by the second.
class CFatEntryDecoder {
 public:
  explicit CFatEntryDecoder(std::uint32_t fatType) : m_type(FatEntryBits(fatType) ? fatType : 0) {}
  bool Valid() const { return m_type != 0; }
  // Calls `entry(n, value)` for every entry completed by `bytes`.
  template <typename F>
  void Feed(const std::uint8_t* bytes, std::size_t size, F&& entry) {
    if (!m_type) return;
    const std::uint64_t pieceStart = m_fed;
    m_fed += size;
    for (;;) {
      const std::uint64_t first = FatEntryFirstByte(m_type, m_next);
      const std::uint64_t end = FatEntryEndByte(m_type, m_next);
      if (end > m_fed) break;
      std::uint32_t value;
      if (first >= pieceStart) {
        value =
            DecodeFatEntryAt(ByteSpan(bytes + (first - pieceStart), end - first), m_type, m_next);
      } else {
        // The entry began in earlier pieces: its head is in m_carry.
        std::uint8_t joined[4] = {};
        std::size_t head = static_cast<std::size_t>(pieceStart - first);
        for (std::size_t i = 0; i < head; ++i) joined[i] = m_carry[m_carryLength - head + i];
        for (std::size_t i = head; i < end - first; ++i) joined[i] = bytes[i - head];
        value = DecodeFatEntryAt(ByteSpan(joined, end - first), m_type, m_next);
      }
      entry(m_next++, value);
    }
    // Keep the bytes of the entry not yet complete (fewer than four).
    const std::uint64_t first = FatEntryFirstByte(m_type, m_next);
    const std::size_t keep = static_cast<std::size_t>(m_fed - first);
    std::uint8_t tail[4] = {};
    for (std::size_t i = 0; i < keep; ++i) {
      const std::uint64_t at = first + i;
      tail[i] =
          at >= pieceStart ? bytes[at - pieceStart] : m_carry[m_carryLength - (pieceStart - at)];
    }
    for (std::size_t i = 0; i < keep; ++i) m_carry[i] = tail[i];
    m_carryLength = keep;
  }

 private:
  std::uint32_t m_type = 0;
  std::uint64_t m_fed = 0;   // bytes fed so far
  std::uint64_t m_next = 0;  // next entry to complete
  std::uint8_t m_carry[4] = {};
  std::size_t m_carryLength = 0;
};

}  // namespace sorvani
