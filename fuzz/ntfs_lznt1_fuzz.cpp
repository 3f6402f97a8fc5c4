// LZNT1 chunks and compression units: output never runs past either buffer.
#include <cstdint>
#include <vector>

#include "ntfs/lznt1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvani;
  std::vector<std::uint8_t> out(16 * 4096);
  std::size_t n = Lznt1DecompressChunk({data, size}, std::span<std::uint8_t>(out.data(), 4096));
  if (n > 4096) __builtin_trap();
  n = Lznt1DecompressUnit({data, size}, out);
  if (n > out.size()) __builtin_trap();
  // An output buffer that is not a whole number of chunks.
  std::vector<std::uint8_t> odd(5000);
  Lznt1DecompressUnit({data, size}, odd);
  return 0;
}
