// The file-system factory: picks the reader a drive's bytes call for. It sits above the NTFS
// and FAT readers, so neither they nor the raw volume depend on it.
#pragma once

#include <memory>

#include "disk/volume.h"

namespace sorvani {

// Opens the drive as NTFS, else as FAT. Hands out the volume and returns true on success.
bool OpenVolume(char driveLetter, std::unique_ptr<CVolume>& out);

}  // namespace sorvani
