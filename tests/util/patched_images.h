// Copies of ntfs-4k.img patched in memory for faults no tool makes on purpose: a deleted
// folder with the name of an existing one, and a deleted folder that lost its name.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/endian.h"
#include "tests/util/fixtures.h"

namespace sorvani::test {

// Records of ntfs-4k.img (from its answer key).
inline constexpr std::uint32_t kLiveBig = 135;      // "Big", existing, in the root
inline constexpr std::uint32_t kDeletedFile = 139;  // "Big/large-deleted.bin"
inline constexpr std::uint32_t kOldProject = 91;    // deleted folders: OldProject\src\lib\deep
inline constexpr std::uint32_t kSrc = 93;
inline constexpr std::uint32_t kLib = 95;
inline constexpr std::uint32_t kDeep = 97;
inline constexpr std::uint32_t kUtil = 103;  // OldProject/src/lib/util.txt, 200 bytes
inline constexpr std::uint64_t kOldProjectBytes = 700 + 30000 + 200 + 50000 + 5000;

inline std::uint8_t* FindRecord(std::vector<std::uint8_t>& image, std::uint32_t number) {
  constexpr std::size_t kRecordSize = 1024;
  for (std::size_t at = 0; at + kRecordSize <= image.size(); at += 512) {
    std::uint8_t* r = image.data() + at;
    if (r[0] == 'F' && r[1] == 'I' && r[2] == 'L' && r[3] == 'E' &&
        ReadLe32(ByteSpan(r, kRecordSize), 0x2C) == number)
      return r;
  }
  return nullptr;
}

// ntfs-4k.img with deleted folder OldProject\src (93) renamed "Big" and moved to the root,
// beside the existing folder "Big" (135): two folders of one name, one live, one deleted.
inline std::shared_ptr<std::vector<std::uint8_t>> SameNameImage() {
  std::string path = Fixture("ntfs-4k.img");
  if (path.empty()) return nullptr;
  auto image = std::make_shared<std::vector<std::uint8_t>>(ReadWholeFile(path));
  std::uint8_t* record = FindRecord(*image, kSrc);
  if (!record) return nullptr;
  ByteSpan view(record, 1024);
  int patched = 0;
  for (std::size_t a = ReadLe16(view, 0x14); a + 8 <= 1024;) {
    std::uint32_t type = ReadLe32(view, a), length = ReadLe32(view, a + 4);
    if (type == 0xFFFFFFFFu || length < 16) break;
    if (type == 0x30) {
      std::size_t value = a + ReadLe16(view, a + 0x14);
      if (value + 0x42 + 6 > 510 || ReadLe8(view, value + 0x40) != 3) return nullptr;
      WriteLe64(record + value, 5 | (std::uint64_t{5} << 48));  // parent: the root
      const char name[] = {'B', 0, 'i', 0, 'g', 0};
      std::copy(name, name + 6, record + value + 0x42);
      ++patched;
    }
    a += length;
  }
  return patched == 1 ? image : nullptr;
}

// ntfs-4k.img where OldProject\src (93) has lost its $FILE_NAME, and OldProject (91) keeps
// the stale index entry that names it, in the slack of its record: the indexing names src
// again from there.
inline std::shared_ptr<std::vector<std::uint8_t>> NamelessFolderImage() {
  std::string path = Fixture("ntfs-4k.img");
  if (path.empty()) return nullptr;
  auto image = std::make_shared<std::vector<std::uint8_t>>(ReadWholeFile(path));
  constexpr std::size_t kRecordSize = 1024, kStale = 520;  // past the used bytes, no fixup inside
  std::uint8_t* src = FindRecord(*image, kSrc);
  std::uint8_t* oldProject = FindRecord(*image, kOldProject);
  if (!src || !oldProject) return nullptr;
  int patched = 0;
  ByteSpan record(src, kRecordSize);
  for (std::size_t a = ReadLe16(record, 0x14); a + 8 <= kRecordSize;) {
    std::uint32_t type = ReadLe32(record, a), length = ReadLe32(record, a + 4);
    if (type == 0xFFFFFFFFu || length < 16) break;
    if (type == 0x30 && a % 512 < 508) {
      WriteLe32(src + a, 0x40);  // now an $OBJECT_ID: the record has no name left
      ++patched;
    }
    a += length;
  }
  if (patched != 1 || ReadLe32(ByteSpan(oldProject, kRecordSize), 0x18) > kStale) return nullptr;
  std::uint8_t* e = oldProject + kStale;
  std::fill(e, e + 88, std::uint8_t{0});
  WriteLe64(e, kSrc | (std::uint64_t{2} << 48));
  WriteLe16(e + 8, 88);
  WriteLe16(e + 10, 72);
  WriteLe64(e + 16, kOldProject | (std::uint64_t{1} << 48));
  WriteLe32(e + 16 + 56, 0x10000000);
  e[16 + 64] = 3;
  e[16 + 65] = 1;
  const char name[] = {'s', 0, 'r', 0, 'c', 0};
  std::copy(name, name + 6, e + 16 + 66);
  return image;
}

}  // namespace sorvani::test
