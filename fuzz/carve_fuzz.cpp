// Fuzzes the four picture tests over a volume made of the input: the first byte picks the
// unit size and the candidate offset, the rest is the volume. Every unit start is tried with
// every format, as the FAT scan would.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "disk/drive_table.h"
#include "disk/volume.h"
#include "surfacescan/carvers.h"

namespace {

class CFuzzVolume : public sorvani::CVolume {
 public:
  CFuzzVolume(std::vector<std::uint8_t> bytes, std::uint32_t unitSize) {
    sorvani::DriveSource source;
    source.memory = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    sorvani::CDriveTable::Instance().Assign('Z', source);
    m_driveLetter = 'Z';
    m_bytesPerSector = 512;
    m_bytesPerCluster = unitSize;
    Open();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvani;
  if (size < 1) return 0;
  // Every unit start is walked to the end of the volume at worst; a few hundred kilobytes
  // keep each run quick without hiding anything a larger volume would show.
  size = std::min<std::size_t>(size, (256u << 10) + 1);
  const std::uint32_t unitSize = 512u << (data[0] & 3);
  const std::uint32_t offset = (data[0] >> 2) * 16 % unitSize;
  CFuzzVolume volume(std::vector<std::uint8_t>(data + 1, data + size), unitSize);
  CCarveReader reader(volume);
  using Test = bool (*)(CarveCandidate&);
  const Test tests[] = {CarveJpeg, CarveBmp, CarvePng, CarveGif};
  const std::uint64_t limits[] = {kJpegEndLimit + 1024, kBmpSizeLimit, kPngWalkLimit + 12,
                                  kGifWalkLimit + 1};
  for (std::uint64_t unit = 0; unit * unitSize < size; ++unit) {
    for (int f = 0; f < 4; ++f) {
      CarveCandidate c;
      c.reader = &reader;
      c.startUnit = unit;
      c.offset = offset;
      if (!tests[f](c)) continue;
      if (c.size > limits[f] || c.name.empty()) std::abort();
    }
  }
  return 0;
}
