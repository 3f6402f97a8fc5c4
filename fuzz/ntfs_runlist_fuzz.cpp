// Run-list decoding and the joining of attribute pieces.
#include <cstdint>
#include <vector>

#include "ntfs/ntfs_attr.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvani;
  std::vector<DataRun> runs;
  for (std::uint64_t maxClusters : {std::uint64_t{1} << 20, std::uint64_t{1} << 54}) {
    if (!DecodeRunList(ByteSpan(data, size), maxClusters, runs)) continue;
    std::uint64_t total = 0;
    for (const DataRun& r : runs) total += r.length;
    if (total > maxClusters) __builtin_trap();
  }
  return 0;
}
