#include "disk/volume.h"
#include "fat/fat_volume.h"

namespace sorvani {

bool OpenVolume(char driveLetter, std::unique_ptr<CVolume>& out) {
  auto fat = std::make_unique<CFatVolume>();
  if (fat->Initialize(driveLetter)) {
    out = std::move(fat);
    return true;
  }
  return false;
}

}  // namespace sorvani
