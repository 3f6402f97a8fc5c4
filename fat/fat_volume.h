// A FAT12, FAT16 or FAT32 volume: the boot sector and the geometry that locates the active
// allocation table and the data area. No directory is ever read; carving uses this geometry.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "disk/volume.h"

namespace sorvani {

class CFatVolume : public CVolume {
 public:
  bool Initialize(char driveLetter) override;
  std::uint32_t GetFsType() const override { return m_fatType; }

  std::uint32_t NumberOfFats() const { return m_numberOfFats; }
  std::uint32_t SectorsPerFat() const { return m_sectorsPerFat; }
  std::uint32_t ActiveFat() const { return m_activeFat; }
  std::uint16_t ReservedSectors() const { return m_reservedSectors; }
  std::uint32_t FirstDataSector() const { return m_firstDataSector; }
  // Sectors the boot sector says the volume holds (16-bit field, else the 32-bit one).
  std::uint64_t TotalSectors() const { return m_totalSectors; }
  // Clusters of the data area that exist on the volume (cluster numbers 2 .. count + 1).
  std::uint64_t DataClusters() const;
  // Volume label from the extended boot record, blanks trimmed; "NO NAME" stays as written.
  std::string Label() const;

  // Byte offset of the active FAT and its length, per the geometry contract.
  std::uint64_t ActiveFatOffset() const;
  std::uint64_t FatBytes() const;
  // Byte offset of data cluster n (n >= 2) from the start of the volume.
  std::uint64_t ClusterOffset(std::uint64_t n) const;
  // The same position as ReadRaw addresses it: volume cluster and offset inside it.
  std::uint64_t ClusterToRawUnit(std::uint64_t n) const;
  std::uint32_t DataAreaOffsetInUnit() const;

  const std::array<std::uint8_t, 512>& BootSector() const { return m_bootSector; }

 private:
  std::array<std::uint8_t, 512> m_bootSector{};
  std::uint32_t m_fatType = kFsNone;
  std::uint32_t m_numberOfFats = 0;
  std::uint32_t m_sectorsPerFat = 0;
  std::uint32_t m_activeFat = 0;
  std::uint16_t m_reservedSectors = 0;
  std::uint32_t m_firstDataSector = 0;
  std::uint64_t m_totalSectors = 0;
};

}  // namespace sorvani
