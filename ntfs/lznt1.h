// LZNT1, the compression of NTFS compressed units: a unit's data is a sequence of chunks,
// each a 16-bit header and up to 4096 bytes of output, stored or LZ77-coded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace sorvani {

inline constexpr std::size_t kLznt1ChunkOutput = 4096;

// Decodes the LZ77 body of one compressed chunk (the bytes after its header) into `out`.
// Returns the bytes produced; stops at the end of either span or at a back-reference that
// points before the start of the output.
std::size_t Lznt1DecompressChunk(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

// Decodes the chunk sequence of one compression unit into `out`, each chunk filling its own
// 4096-byte slot (a short chunk leaves zeros behind it). Returns the bytes of `out` covered by
// the chunks that were decoded; a zero header or truncated input ends the unit.
std::size_t Lznt1DecompressUnit(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

}  // namespace sorvani
