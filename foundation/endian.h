// Little-endian field readers for on-disk structures. Each read is checked against the
// span it comes from: a field that would run past the end reads as 0 and flags nothing,
// so callers check the buffer size before trusting a header (see FitsIn).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace sorvani {

using ByteSpan = std::span<const std::uint8_t>;

// True when [offset, offset + length) lies inside a buffer of `size` bytes, without overflow.
constexpr bool FitsIn(std::uint64_t size, std::uint64_t offset, std::uint64_t length) {
  return offset <= size && length <= size - offset;
}

inline std::uint8_t ReadLe8(ByteSpan b, std::size_t off) { return off < b.size() ? b[off] : 0; }

inline std::uint16_t ReadLe16(ByteSpan b, std::size_t off) {
  if (!FitsIn(b.size(), off, 2)) return 0;
  return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

inline std::uint32_t ReadLe32(ByteSpan b, std::size_t off) {
  if (!FitsIn(b.size(), off, 4)) return 0;
  return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
         (static_cast<std::uint32_t>(b[off + 2]) << 16) |
         (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

inline std::uint64_t ReadLe64(ByteSpan b, std::size_t off) {
  if (!FitsIn(b.size(), off, 8)) return 0;
  return static_cast<std::uint64_t>(ReadLe32(b, off)) |
         (static_cast<std::uint64_t>(ReadLe32(b, off + 4)) << 32);
}

// Reads `width` (0..8) bytes as an unsigned little-endian number.
inline std::uint64_t ReadLeN(ByteSpan b, std::size_t off, unsigned width) {
  if (width > 8 || !FitsIn(b.size(), off, width)) return 0;
  std::uint64_t v = 0;
  for (unsigned i = 0; i < width; ++i) v |= static_cast<std::uint64_t>(b[off + i]) << (8 * i);
  return v;
}

// Same, sign-extended from the top bit of the last byte (run-list deltas).
inline std::int64_t ReadLeSignedN(ByteSpan b, std::size_t off, unsigned width) {
  if (width == 0 || width > 8 || !FitsIn(b.size(), off, width)) return 0;
  std::uint64_t v = ReadLeN(b, off, width);
  if (width < 8 && (b[off + width - 1] & 0x80)) v |= ~std::uint64_t{0} << (8 * width);
  return static_cast<std::int64_t>(v);
}

inline void WriteLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void WriteLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void WriteLe64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace sorvani
