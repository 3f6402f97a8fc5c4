// Builds MFT records and attributes in memory for the reader's focused tests and fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sorvani::test {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::size_t off, std::uint16_t v) {
  b[off] = static_cast<std::uint8_t>(v);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, std::size_t off, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put64(Bytes& b, std::size_t off, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) b[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline Bytes Utf16(const std::u16string& s) {
  Bytes out;
  for (char16_t c : s) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

inline void PadTo8(Bytes& b) {
  while (b.size() % 8) b.push_back(0);
}

inline Bytes ResidentAttr(std::uint32_t type, const Bytes& value, const std::u16string& name = u"",
                          std::uint16_t id = 0) {
  Bytes nameBytes = Utf16(name);
  std::size_t valueOffset = 24 + nameBytes.size();
  valueOffset = (valueOffset + 7) & ~std::size_t{7};
  Bytes a(valueOffset + value.size(), 0);
  Put32(a, 0, type);
  a[8] = 0;
  a[9] = static_cast<std::uint8_t>(name.size());
  Put16(a, 10, 24);
  Put16(a, 14, id);
  Put32(a, 16, static_cast<std::uint32_t>(value.size()));
  Put16(a, 20, static_cast<std::uint16_t>(valueOffset));
  std::copy(nameBytes.begin(), nameBytes.end(), a.begin() + 24);
  std::copy(value.begin(), value.end(), a.begin() + static_cast<long>(valueOffset));
  PadTo8(a);
  Put32(a, 4, static_cast<std::uint32_t>(a.size()));
  return a;
}

inline Bytes NonResidentAttr(std::uint32_t type, const Bytes& runs, std::uint64_t realSize,
                             std::uint64_t initSize, std::uint16_t compressionUnit = 0,
                             const std::u16string& name = u"", std::uint64_t startVcn = 0,
                             std::uint16_t id = 0) {
  Bytes nameBytes = Utf16(name);
  std::size_t runOffset = (64 + nameBytes.size() + 7) & ~std::size_t{7};
  Bytes a(runOffset + runs.size() + 1, 0);
  Put32(a, 0, type);
  a[8] = 1;
  a[9] = static_cast<std::uint8_t>(name.size());
  Put16(a, 10, 64);
  Put16(a, 14, id);
  Put64(a, 16, startVcn);
  Put16(a, 32, static_cast<std::uint16_t>(runOffset));
  Put16(a, 34, compressionUnit);
  if (compressionUnit) Put16(a, 12, 0x0001);  // the compressed flag
  Put64(a, 40, realSize);
  Put64(a, 48, realSize);
  Put64(a, 56, initSize);
  std::copy(nameBytes.begin(), nameBytes.end(), a.begin() + 64);
  std::copy(runs.begin(), runs.end(), a.begin() + static_cast<long>(runOffset));
  PadTo8(a);
  Put32(a, 4, static_cast<std::uint32_t>(a.size()));
  return a;
}

inline Bytes FileNameValue(const std::u16string& name, std::uint32_t parent, std::uint8_t nameSpace,
                           std::uint32_t flags = 0x20, std::uint64_t size = 0) {
  Bytes v(66, 0);
  Put64(v, 0, parent | (std::uint64_t{1} << 48));
  Put64(v, 8, 0x01D0000000000001ull);
  Put64(v, 16, 0x01D0000000000002ull);
  Put64(v, 48, size);
  Put32(v, 56, flags);
  v[64] = static_cast<std::uint8_t>(name.size());
  v[65] = nameSpace;
  Bytes n = Utf16(name);
  v.insert(v.end(), n.begin(), n.end());
  return v;
}

inline Bytes StandardInfoValue(std::uint32_t attributes) {
  Bytes v(72, 0);
  Put32(v, 32, attributes);
  return v;
}

// A FILE record of `size` bytes holding `attrs`, protected by an update sequence.
inline Bytes Record(const std::vector<Bytes>& attrs, std::uint16_t flags = 1,
                    std::uint32_t size = 1024, std::uint64_t baseReference = 0,
                    std::uint16_t usn = 0x0102) {
  Bytes r(size, 0);
  r[0] = 'F';
  r[1] = 'I';
  r[2] = 'L';
  r[3] = 'E';
  std::uint16_t strides = static_cast<std::uint16_t>(size / 512);
  Put16(r, 4, 48);
  Put16(r, 6, static_cast<std::uint16_t>(strides + 1));
  std::size_t first = (48 + 2 * (strides + 1) + 7) & ~std::size_t{7};
  Put16(r, 20, static_cast<std::uint16_t>(first));
  Put16(r, 22, flags);
  Put64(r, 32, baseReference);
  std::size_t off = first;
  for (const Bytes& a : attrs) {
    std::copy(a.begin(), a.end(), r.begin() + static_cast<long>(off));
    off += a.size();
  }
  Put32(r, off, 0xFFFFFFFF);
  Put16(r, 48, usn);
  for (std::uint16_t i = 0; i < strides; ++i) {
    std::size_t pos = (i + 1) * 512u - 2;
    r[48 + 2 * (i + 1)] = r[pos];
    r[48 + 2 * (i + 1) + 1] = r[pos + 1];
    Put16(r, pos, usn);
  }
  return r;
}

}  // namespace sorvani::test
