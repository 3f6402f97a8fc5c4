#include "disk/partition_table.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <set>

#include "disk/fs_probe.h"
#include "foundation/endian.h"

namespace sorvani {
namespace {

constexpr std::size_t kMbrEntries = 446;
constexpr std::size_t kMbrEntrySize = 16;
constexpr int kMaxLogicalPartitions = 128;
constexpr std::uint64_t kMaxGptEntryBytes = 1u << 20;

bool IsExtendedType(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

bool ReadSector(IByteSource& disk, std::uint64_t offset, std::vector<std::uint8_t>& out,
                std::size_t size) {
  out.resize(size);
  return disk.ReadAt(offset, out.data(), size) == static_cast<std::int64_t>(size);
}

std::string GuidText(ByteSpan b, std::size_t off) {
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                ReadLe32(b, off), ReadLe16(b, off + 4), ReadLe16(b, off + 6), b[off + 8],
                b[off + 9], b[off + 10], b[off + 11], b[off + 12], b[off + 13], b[off + 14],
                b[off + 15]);
  return text;
}

bool AllZero(ByteSpan b) {
  for (auto c : b)
    if (c) return false;
  return true;
}

std::string Utf16NameToUtf8(ByteSpan b) {
  std::string out;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    std::uint32_t c = ReadLe16(b, i);
    if (c == 0) break;
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < b.size()) {
      std::uint32_t lo = ReadLe16(b, i + 2);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      } else {
        c = 0xFFFD;
      }
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Adds a partition after cutting it to the disk; an entry that starts past the end is dropped.
void AddPartition(PartitionTable& table, PartitionEntry entry, std::uint64_t diskSize) {
  if (entry.length == 0 || entry.offset >= diskSize) {
    table.warnings.push_back("partition " + std::to_string(entry.number) +
                             " lies outside the disk and was skipped");
    return;
  }
  if (entry.length > diskSize - entry.offset) {
    entry.length = diskSize - entry.offset;
    table.warnings.push_back("partition " + std::to_string(entry.number) +
                             " runs past the end of the disk and was cut");
  }
  table.partitions.push_back(std::move(entry));
}

// Returns true when the header at `lba` is a valid GPT header and fills the table from it.
bool ReadGptAt(IByteSource& disk, std::uint32_t sectorSize, std::uint64_t lba,
               PartitionTable& table) {
  std::vector<std::uint8_t> sector;
  std::uint64_t headerOffset = 0;
  if (__builtin_mul_overflow(lba, std::uint64_t{sectorSize}, &headerOffset) ||
      !ReadSector(disk, headerOffset, sector, sectorSize))
    return false;
  ByteSpan h(sector);
  if (std::memcmp(sector.data(), "EFI PART", 8) != 0) return false;
  std::uint32_t headerSize = ReadLe32(h, 12);
  if (headerSize < 92 || headerSize > sectorSize) return false;
  std::uint32_t storedCrc = ReadLe32(h, 16);
  std::vector<std::uint8_t> copy(sector.begin(), sector.begin() + headerSize);
  std::memset(copy.data() + 16, 0, 4);
  if (Crc32(copy.data(), copy.size()) != storedCrc) return false;

  std::uint64_t entriesLba = ReadLe64(h, 72);
  std::uint32_t count = ReadLe32(h, 80);
  std::uint32_t entrySize = ReadLe32(h, 84);
  std::uint32_t entriesCrc = ReadLe32(h, 88);
  if (entrySize < 128 || entrySize % 8 != 0) return false;
  std::uint64_t bytes = std::uint64_t{count} * entrySize;
  std::uint64_t entriesOffset = 0;
  if (bytes > kMaxGptEntryBytes ||
      __builtin_mul_overflow(entriesLba, std::uint64_t{sectorSize}, &entriesOffset))
    return false;
  std::vector<std::uint8_t> entries;
  if (!ReadSector(disk, entriesOffset, entries, static_cast<std::size_t>(bytes))) return false;
  if (Crc32(entries.data(), entries.size()) != entriesCrc) return false;

  table.scheme = "GPT";
  table.sectorSize = sectorSize;
  for (std::uint32_t i = 0; i < count; ++i) {
    ByteSpan e = ByteSpan(entries).subspan(std::size_t{i} * entrySize, entrySize);
    if (AllZero(e.subspan(0, 16))) continue;  // unused entry
    std::uint64_t first = ReadLe64(e, 32), last = ReadLe64(e, 40);
    PartitionEntry p;
    p.number = static_cast<int>(i + 1);
    p.gptType = GuidText(e, 0);
    p.name = Utf16NameToUtf8(e.subspan(56, std::min<std::size_t>(72, entrySize - 56)));
    if (last < first || __builtin_mul_overflow(first, std::uint64_t{sectorSize}, &p.offset) ||
        __builtin_mul_overflow(last - first + 1, std::uint64_t{sectorSize}, &p.length)) {
      table.warnings.push_back("GPT entry " + std::to_string(i + 1) + " has an invalid range");
      continue;
    }
    AddPartition(table, std::move(p), disk.Size());
  }
  return true;
}

bool ReadGpt(IByteSource& disk, PartitionTable& table) {
  for (std::uint32_t sectorSize : {512u, 4096u}) {
    if (ReadGptAt(disk, sectorSize, 1, table)) return true;
    // A damaged primary header: the backup sits in the last sector of the disk.
    std::uint64_t sectors = disk.Size() / sectorSize;
    if (sectors > 2 && ReadGptAt(disk, sectorSize, sectors - 1, table)) {
      table.warnings.push_back("the primary GPT header is damaged; the backup was used");
      return true;
    }
  }
  return false;
}

void ReadExtended(IByteSource& disk, std::uint64_t extendedStart, PartitionTable& table) {
  std::set<std::uint64_t> visited;
  std::uint64_t ebr = extendedStart;
  int number = 5;
  std::vector<std::uint8_t> sector;
  while (number < 5 + kMaxLogicalPartitions && visited.insert(ebr).second) {
    if (!ReadSector(disk, ebr, sector, 512) || ReadLe16(sector, 510) != 0xAA55) break;
    ByteSpan s(sector);
    std::size_t e0 = kMbrEntries, e1 = kMbrEntries + kMbrEntrySize;
    std::uint8_t type = s[e0 + 4];
    std::uint64_t rel = ReadLe32(s, e0 + 8), len = ReadLe32(s, e0 + 12);
    if (type != 0 && len != 0) {
      PartitionEntry p;
      p.number = number++;
      p.mbrType = type;
      p.offset = ebr + rel * 512;
      p.length = len * 512;
      AddPartition(table, std::move(p), disk.Size());
    }
    std::uint8_t nextType = s[e1 + 4];
    std::uint64_t nextRel = ReadLe32(s, e1 + 8);
    if (!IsExtendedType(nextType) || nextRel == 0) break;
    ebr = extendedStart + nextRel * 512;
  }
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

PartitionTable ReadPartitionTable(IByteSource& disk) {
  PartitionTable table;
  std::vector<std::uint8_t> mbr;
  if (!ReadSector(disk, 0, mbr, 512) || ReadLe16(mbr, 510) != 0xAA55) return table;
  // A volume boot sector also ends in 0xAA55; it is not a partition table.
  if (ProbeFileSystem(mbr)) return table;

  ByteSpan m(mbr);
  bool protective = false;
  for (int i = 0; i < 4; ++i) {
    std::size_t e = kMbrEntries + i * kMbrEntrySize;
    if (m[e + 4] == 0xEE) protective = true;
    std::uint8_t status = m[e];
    if (status != 0 && status != 0x80) return table;  // not a partition table after all
  }
  if (protective) {
    if (ReadGpt(disk, table)) return table;
    table.warnings.push_back("a protective MBR without a readable GPT");
  }

  table.scheme = "MBR";
  for (int i = 0; i < 4; ++i) {
    std::size_t e = kMbrEntries + i * kMbrEntrySize;
    std::uint8_t type = m[e + 4];
    std::uint64_t start = ReadLe32(m, e + 8), count = ReadLe32(m, e + 12);
    if (type == 0 || type == 0xEE || count == 0) continue;
    if (IsExtendedType(type)) {
      ReadExtended(disk, start * 512, table);
      continue;
    }
    PartitionEntry p;
    p.number = i + 1;
    p.mbrType = type;
    p.offset = start * 512;
    p.length = count * 512;
    AddPartition(table, std::move(p), disk.Size());
  }
  if (table.partitions.empty() && table.warnings.empty()) table.scheme.clear();
  return table;
}

}  // namespace sorvani
