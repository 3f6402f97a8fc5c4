#include "index/nameless_folders.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/endian.h"
#include "index/file_index.h"
#include "ntfs/ntfs_attr.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_text.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

// An index entry: u64 file reference, u16 entry length, u16 key length, u32 flags, then the
// key, a $FILE_NAME: u64 parent reference, four times, two sizes, u32 flags, u32 reparse
// tag, u8 name length, u8 name space, the name in UTF-16.
constexpr std::size_t kEntryKey = 16;
constexpr std::size_t kKeyFlags = 56;
constexpr std::size_t kKeyNameLength = 64;
constexpr std::size_t kKeyNameSpace = 65;
constexpr std::size_t kKeyName = 66;
constexpr std::uint32_t kKeyIndexPresent = 0x10000000;  // the name is a folder's
constexpr std::uint8_t kNameSpaceDos = 2;
// A folder's index larger than this is not read for lost names.
constexpr std::uint64_t kMaxIndexBytes = 16u << 20;

struct FoundName {
  std::string name;
  std::uint32_t parent = 0;
  std::uint32_t attributes = 0;
  bool dosOnly = true;
};

// Looks at every 8-byte boundary of `bytes` (entries are aligned so, in use or stale) for an
// entry of a wanted record whose key names `folder` as its parent folder.
void ScanForNames(ByteSpan bytes, std::uint32_t folder, const std::vector<std::uint32_t>& wanted,
                  std::map<std::uint32_t, FoundName>& found) {
  for (std::size_t at = 0; at + kEntryKey + kKeyName <= bytes.size(); at += 8) {
    const std::uint32_t record = ReadLe32(bytes, at);
    if (!std::binary_search(wanted.begin(), wanted.end(), record)) continue;
    if (ReadLe16(bytes, at + 4) != 0) continue;  // high bits of a 48-bit record number
    const std::size_t key = at + kEntryKey;
    const std::size_t units = ReadLe8(bytes, key + kKeyNameLength);
    const std::uint8_t nameSpace = ReadLe8(bytes, key + kKeyNameSpace);
    const std::uint16_t keyLength = ReadLe16(bytes, at + 10);
    const std::uint32_t flags = ReadLe32(bytes, key + kKeyFlags);
    if (units == 0 || nameSpace > 3 || keyLength < kKeyName + 2 * units ||
        key + kKeyName + 2 * units > bytes.size() || ReadLe32(bytes, key) != folder ||
        ReadLe16(bytes, key + 4) != 0 || !(flags & kKeyIndexPresent))
      continue;
    FoundName& f = found[record];
    const bool dos = nameSpace == kNameSpaceDos;
    if (!f.name.empty() && (dos || !f.dosOnly)) continue;  // a long name beats a DOS one
    f.name = Utf16LeToUtf8(bytes.subspan(key + kKeyName, 2 * units), units);
    f.parent = folder;
    f.attributes = NormalizeFileAttributes(flags) | kAttrFolderBit;
    f.dosOnly = dos;
  }
}

// Whether the record's attributes include an $INDEX_ALLOCATION, or an $ATTRIBUTE_LIST that
// may place one elsewhere (a damaged walk says yes, so nothing is missed).
bool MayHaveIndexBlocks(ByteSpan raw) {
  if (raw.size() < 0x18) return true;
  std::size_t at = ReadLe16(raw, 0x14);
  for (int guard = 0; guard < 256; ++guard) {
    if (at + 8 > raw.size()) return true;
    const std::uint32_t type = ReadLe32(raw, at);
    if (type == 0xFFFFFFFFu) return false;
    if (type == kAttrIndexAllocation || type == kAttrAttributeList) return true;
    const std::uint32_t length = ReadLe32(raw, at + 4);
    if (length < 16 || length % 8 != 0) return true;
    at += length;
  }
  return true;
}

// Reads the index of folder `record` whole and scans it: the record itself (its $INDEX_ROOT,
// and the record's slack past its attributes, where entries of a root that has shrunk stay)
// and every block of $INDEX_ALLOCATION, in use or not.
void ScanFolder(CNtfsVolume& volume, std::uint32_t record, const std::vector<std::uint32_t>& wanted,
                std::map<std::uint32_t, FoundName>& found) {
  std::lock_guard<std::mutex> lock(index_lock);
  std::vector<std::uint8_t> raw;
  if (!volume.ReadMftRecord(record, raw)) return;
  ScanForNames(raw, record, wanted, found);
  // Most deleted folders are small: their whole index was in the record just read.
  if (!MayHaveIndexBlocks(raw)) return;
  CNtfsFile dir;
  if (!dir.LoadRecord(&volume, record, false)) return;
  CNtfsFileAttr* root = dir.FindAttribute(kAttrIndexRoot, "$I30");
  if (!root || root->IsNonResident()) return;
  const std::vector<std::uint8_t>& value = root->ResidentValue();
  CNtfsFileAttr* allocation = dir.FindAttribute(kAttrIndexAllocation, "$I30");
  if (!allocation || value.size() < 12) return;
  const std::uint32_t blockSize = ReadLe32(value, 8);
  if (blockSize < 512 || blockSize > kMaxIndexBlockSize || blockSize % 512 != 0) return;
  const std::uint64_t bytes =
      std::min({allocation->RealSize(), volume.DeviceSize(), kMaxIndexBytes});
  std::vector<std::uint8_t> block(blockSize);
  for (std::uint64_t offset = 0; offset + blockSize <= bytes; offset += blockSize) {
    std::uint32_t got = 0;
    if (!allocation->Seek(offset) || !allocation->Read(block.data(), blockSize, got) ||
        got != blockSize)
      break;
    // A block that fails its fixups may still hold whole entries between sector ends; only
    // the last two bytes of each sector are wrong then, which the checks above tolerate.
    if (block[0] == 'I' && block[1] == 'N' && block[2] == 'D' && block[3] == 'X')
      volume.ApplyIndexFixup(block, blockSize);
    ScanForNames(block, record, wanted, found);
  }
}

}  // namespace

std::size_t NameNamelessFolders(CNtfsVolume& volume, CFileIndex& index) {
  // The orphan folders that are free folder records without a name.
  std::vector<std::uint32_t> wanted;
  for (std::uint32_t record : index.OrphanFolders()) {
    if (record == kNamelessFolderRecord || index.FindEntry(record)) continue;
    std::lock_guard<std::mutex> lock(index_lock);
    CNtfsFile file;
    if (file.LoadRecord(&volume, record, false) && !file.InUse() &&
        !file.FindAttribute(kAttrFileName) && file.FindAttribute(kAttrIndexRoot))
      wanted.push_back(record);
  }
  if (wanted.empty()) return 0;
  std::sort(wanted.begin(), wanted.end());

  std::vector<std::uint32_t> folders;
  index.ForEachEntry([&](const FileIndexEntry& e) {
    if (e.IsFolder()) folders.push_back(e.record);
    return true;
  });
  std::map<std::uint32_t, FoundName> found;
  for (std::uint32_t folder : folders) ScanFolder(volume, folder, wanted, found);

  std::size_t named = 0;
  for (const auto& [record, f] : found) {
    if (f.parent == record || !index.InsertEntry(record, f.name, f.attributes, f.parent)) continue;
    index.InsertChild(f.parent, record);
    index.RemoveOrphanFolder(record);
    ++named;
  }
  return named;
}

}  // namespace sorvani
