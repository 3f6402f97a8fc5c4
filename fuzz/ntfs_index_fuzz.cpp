// INDX blocks and $INDEX_ROOT nodes: fixups, entry walks and key decoding.
#include <cstdint>
#include <vector>

#include "fuzz/ntfs_fuzz_common.h"
#include "ntfs/ntfs_index.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvani;
  if (size > sorvani::kMaxIndexBlockSize) return 0;
  auto visit = [](const IndexEntryView& e) {
    NtfsDirEntry entry;
    DecodeIndexKey(e.reference, e.key, entry);
    std::size_t units = 0;
    IndexKeyName(e.key, units);
    return true;
  };
  // As a root value and, after its fixups, as an INDX block.
  WalkIndexEntries(ByteSpan(data, size), 16, visit);
  std::vector<std::uint8_t> block(data, data + size);
  fuzz::MapBytes(data, size);
  CNtfsVolume volume;
  volume.AttachGeometry(fuzz::kFuzzDrive, 512, 4096, 1024, 1);
  if (volume.ApplyIndexFixup(block, static_cast<std::uint32_t>(block.size()))) {
    WalkIndexEntries(block, 24, visit);
  }
  return 0;
}
