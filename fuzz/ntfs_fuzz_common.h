// Shared by the NTFS fuzz targets: a volume over the fuzzer's bytes in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "disk/drive_table.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani::fuzz {

inline constexpr char kFuzzDrive = 'F';

inline void MapBytes(const std::uint8_t* data, std::size_t size) {
  DriveSource s;
  s.memory = std::make_shared<const std::vector<std::uint8_t>>(data, data + size);
  CDriveTable::Instance().Assign(kFuzzDrive, std::move(s));
}

// Reads a bounded prefix of every attribute of `file` as a stream and dumps it.
inline void ExerciseFile(CNtfsFile& file) {
  std::vector<std::uint8_t> buf(65536);
  for (std::size_t i = 0; i < file.AttributeCount(); ++i) {
    CNtfsFileAttr* a = file.AttributeAt(i);
    (void)a->DumpText();
    std::uint32_t got = 0;
    if (a->Seek(0)) a->Read(buf.data(), static_cast<std::uint32_t>(buf.size()), got);
    if (a->Seek(a->RealSize() / 2)) a->Read(buf.data(), 4096, got, true);
    (void)a->GetOverwrittenPercent();
  }
  std::string name;
  std::uint64_t size = 0, created = 0, modified = 0;
  std::uint32_t attributes = 0, parent = 0;
  file.GetNameInfo(name, size, attributes, parent, created, modified);
  (void)file.GetDataSize();
}

}  // namespace sorvani::fuzz
