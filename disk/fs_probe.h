// Recognises the file system of a boot sector by the same tests the readers apply.
#pragma once

#include "foundation/endian.h"

namespace sorvani {

// "NTFS", "FAT12", "FAT16", "FAT32", or nullptr when the sector is none of them.
const char* ProbeFileSystem(ByteSpan bootSector);

}  // namespace sorvani
