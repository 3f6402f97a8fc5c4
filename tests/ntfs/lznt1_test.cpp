#include "ntfs/lznt1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorvani {
namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> v) {
  std::vector<std::uint8_t> out;
  for (int b : v) out.push_back(static_cast<std::uint8_t>(b));
  return out;
}

TEST(Lznt1, DecodesLiteralsAndBackReferences) {
  // "abc" then a back-reference of displacement 3, length 6: "abcabcabc".
  // At output position 3 the token has 12 length bits; (3-1) << 12 | (6-3).
  auto in = Bytes({0x08, 'a', 'b', 'c', 0x03, 0x20});
  std::vector<std::uint8_t> out(4096);
  std::size_t n = Lznt1DecompressChunk(in, out);
  EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<long>(n)), "abcabcabc");

  // A run of one byte repeated: displacement 1 copies overlapping bytes.
  in = Bytes({0x02, 'x', 0x05, 0x00});
  n = Lznt1DecompressChunk(in, out);
  EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<long>(n)), std::string(9, 'x'));

  // Past 16 output bytes the split moves: at p = 17..32 the length has 11 bits.
  std::vector<std::uint8_t> lit = {0x00};
  for (int i = 0; i < 8; ++i) lit.push_back(static_cast<std::uint8_t>('a' + i));
  lit.push_back(0x00);
  for (int i = 0; i < 8; ++i) lit.push_back(static_cast<std::uint8_t>('i' + i));
  // Flags 0x02: a literal 'q' at p = 16, then displacement 17 -> (16 << 11) | (4 - 3).
  lit.push_back(0x02);
  lit.push_back('q');
  lit.push_back(0x01);
  lit.push_back(0x80);
  n = Lznt1DecompressChunk(lit, out);
  ASSERT_EQ(n, 21u);
  EXPECT_EQ(std::string(out.begin() + 16, out.begin() + 21), "qabcd");
}

TEST(Lznt1, HostileInputStopsInsideBothBuffers) {
  // A back-reference before any output, and one reaching before the start.
  auto in = Bytes({0x01, 0xFF, 0xFF});
  std::vector<std::uint8_t> out(4096);
  EXPECT_EQ(Lznt1DecompressChunk(in, out), 0u);
  in = Bytes({0x02, 'a', 0x00, 0x10});  // displacement 2 at position 1
  EXPECT_EQ(Lznt1DecompressChunk(in, out), 1u);
  // A token cut in half ends the chunk.
  in = Bytes({0x02, 'a', 0x00});
  EXPECT_EQ(Lznt1DecompressChunk(in, out), 1u);
  // Output smaller than the chunk: never written past.
  in = Bytes({0x02, 'x', 0xFF, 0x0F});
  std::vector<std::uint8_t> small(10);
  EXPECT_EQ(Lznt1DecompressChunk(in, small), 10u);
}

TEST(Lznt1, UnitChunksFillWholeSlots) {
  // A compressed chunk of 3 bytes of output, then a stored chunk of 2 bytes, then the end.
  // Headers: 0xB003 = compressed, 4 body bytes; 0x3001 = stored, 2 bytes.
  std::vector<std::uint8_t> unit = {0x03, 0xB0, 0x00, 'a', 'b',  'c',
                                    0x01, 0x30, 'd',  'e', 0x00, 0x00};
  std::vector<std::uint8_t> out(16 * 1024, 0xEE);
  std::size_t n = Lznt1DecompressUnit(unit, out);
  EXPECT_EQ(n, 8192u);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 3), "abc");
  EXPECT_EQ(out[3], 0);  // rest of the first chunk's slot is zero
  EXPECT_EQ(out[4095], 0);
  EXPECT_EQ(std::string(out.begin() + 4096, out.begin() + 4098), "de");
  EXPECT_EQ(out[4098], 0);
  EXPECT_EQ(out[8192], 0xEE);  // untouched after the end header

  // A chunk header claiming more bytes than remain is cut to what is there.
  std::vector<std::uint8_t> cut = {0xFF, 0xBF, 0x00, 'q'};
  n = Lznt1DecompressUnit(cut, out);
  EXPECT_EQ(n, 4096u);
  EXPECT_EQ(out[0], 'q');
}

}  // namespace
}  // namespace sorvani
