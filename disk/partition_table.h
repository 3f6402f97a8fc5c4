// MBR (with extended partitions) and GPT partition tables of a disk or disk image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/byte_source.h"

namespace sorvani {

struct PartitionEntry {
  int number = 0;            // 1-4 primary, 5.. logical (MBR); 1.. entry order (GPT)
  std::uint64_t offset = 0;  // bytes from the start of the disk
  std::uint64_t length = 0;  // bytes
  std::uint8_t mbrType = 0;  // MBR type byte; 0 for GPT
  std::string gptType;       // GPT type GUID in its usual text form; empty for MBR
  std::string name;          // GPT partition name (UTF-8)
};

struct PartitionTable {
  std::string scheme;  // "MBR" or "GPT"; empty when no table was found
  std::uint32_t sectorSize = 512;
  std::vector<PartitionEntry> partitions;
  std::vector<std::string> warnings;  // damage that was worked around (bad primary GPT, ...)
};

// Reads the table of `disk`. Entries that lie past the end of the disk are cut to it or
// dropped; chains of extended boot records are followed at most a bounded number of steps.
PartitionTable ReadPartitionTable(IByteSource& disk);

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

}  // namespace sorvani
