// One MFT record with its attributes: the first 1024 bytes are the record, the rest is the
// volume its non-resident attributes point into.
#include <cstdint>
#include <vector>

#include "fuzz/ntfs_fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvani;
  constexpr std::size_t kRecord = 1024;
  if (size < kRecord) return 0;
  fuzz::MapBytes(data, size);
  CNtfsVolume volume;
  volume.AttachGeometry(fuzz::kFuzzDrive, 512, 512, kRecord, size / 512);
  std::vector<std::uint8_t> record(data, data + kRecord);
  CNtfsFile file;
  // The record doubles as $Bitmap so the overwritten share has a bitmap to read.
  std::vector<std::uint8_t> copy = record;
  volume.BitmapFile().ParseRecord(&volume, copy, 6, false);
  for (bool namesOnly : {true, false}) {
    std::vector<std::uint8_t> r = record;
    if (file.ParseRecord(&volume, r, 42, namesOnly)) fuzz::ExerciseFile(file);
  }
  (void)file.DumpText();
  return 0;
}
