#include "disk/fs_probe.h"

#include <cstring>

namespace sorvani {
namespace {

bool TextAt(ByteSpan b, std::size_t off, const char* text) {
  std::size_t n = std::strlen(text);
  return FitsIn(b.size(), off, n) && std::memcmp(b.data() + off, text, n) == 0;
}

}  // namespace

const char* ProbeFileSystem(ByteSpan b) {
  if (b.size() < 512 || ReadLe16(b, 510) != 0xAA55) return nullptr;
  if (TextAt(b, 3, "NTFS")) return "NTFS";
  if (TextAt(b, 54, "FAT12")) return "FAT12";
  if (TextAt(b, 54, "FAT16")) return "FAT16";
  if (TextAt(b, 82, "FAT32")) return "FAT32";
  return nullptr;
}

}  // namespace sorvani
