#include "ntfs/lznt1.h"

#include <algorithm>
#include <cstring>

#include "foundation/endian.h"

namespace sorvani {

std::size_t Lznt1DecompressChunk(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  std::size_t ip = 0;
  std::size_t op = 0;
  const std::size_t limit = std::min(out.size(), kLznt1ChunkOutput);
  while (ip < in.size() && op < limit) {
    std::uint8_t flags = in[ip++];
    for (int bit = 0; bit < 8 && ip < in.size() && op < limit; ++bit, flags >>= 1) {
      if ((flags & 1) == 0) {
        out[op++] = in[ip++];
        continue;
      }
      if (ip + 2 > in.size()) return op;
      std::uint16_t token = ReadLe16(in, ip);
      ip += 2;
      // The split between displacement and length moves as the output grows: the
      // displacement needs just enough bits to reach back to the chunk's start.
      unsigned lengthBits = 12;
      std::uint16_t lengthMask = 0x0FFF;
      if (op == 0) return op;  // nothing to refer back to
      for (std::size_t q = op - 1; q >= 16; q >>= 1) {
        --lengthBits;
        lengthMask >>= 1;
      }
      std::size_t displacement = (static_cast<std::size_t>(token) >> lengthBits) + 1;
      std::size_t length = (token & lengthMask) + 3u;
      if (displacement > op) return op;
      for (std::size_t k = 0; k < length && op < limit; ++k, ++op) out[op] = out[op - displacement];
    }
  }
  return op;
}

std::size_t Lznt1DecompressUnit(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  std::size_t ip = 0;
  std::size_t op = 0;
  while (ip + 2 <= in.size() && op < out.size()) {
    std::uint16_t header = ReadLe16(in, ip);
    if (header == 0) break;
    std::size_t bodyLength = (header & 0x0FFFu) + 1;
    ip += 2;
    std::size_t avail = std::min(bodyLength, in.size() - ip);
    std::span<const std::uint8_t> body = in.subspan(ip, avail);
    std::size_t slot = std::min(kLznt1ChunkOutput, out.size() - op);
    std::span<std::uint8_t> dst = out.subspan(op, slot);
    std::size_t produced;
    if (header & 0x8000) {
      produced = Lznt1DecompressChunk(body, dst);
    } else {
      produced = std::min(body.size(), slot);
      std::memcpy(dst.data(), body.data(), produced);
    }
    std::fill(dst.begin() + static_cast<std::ptrdiff_t>(produced), dst.end(), std::uint8_t{0});
    op += slot;
    if (avail < bodyLength) break;
    ip += bodyLength;
  }
  return op;
}

}  // namespace sorvani
