#include "volumes/open_volume.h"

#include "fat/fat_volume.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {

bool OpenVolume(char driveLetter, std::unique_ptr<CVolume>& out) {
  // NTFS first: a volume that passes both tests is read as NTFS. Each attempt opens its own
  // device handle, released with the object when the attempt fails.
  auto ntfs = std::make_unique<CNtfsVolume>();
  if (ntfs->Initialize(driveLetter)) {
    out = std::move(ntfs);
    return true;
  }
  ntfs.reset();
  auto fat = std::make_unique<CFatVolume>();
  if (fat->Initialize(driveLetter)) {
    out = std::move(fat);
    return true;
  }
  return false;
}

}  // namespace sorvani
