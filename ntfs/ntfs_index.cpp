// Directory indexes ($INDEX_ROOT and the INDX blocks of $INDEX_ALLOCATION), name lookups
// through $UpCase, folder paths from parent references, and folder listings.
#include <algorithm>
#include <set>

#include "foundation/log.h"
#include "ntfs/ntfs_attr_types.h"
#include "ntfs/ntfs_index.h"
#include "ntfs/ntfs_text.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

// $INDEX_ROOT value fields.
constexpr std::size_t kRootBlockSize = 8;
constexpr std::size_t kRootHeader = 16;
constexpr std::size_t kRootFlags = 28;
// INDX block fields.
constexpr std::size_t kBlockVcn = 16;
constexpr std::size_t kBlockHeader = 24;
// Index header fields, relative to the header.
constexpr std::size_t kHeaderFirstEntry = 0;
constexpr std::size_t kHeaderBytesInUse = 4;
// Index entry fields.
constexpr std::size_t kEntryLength = 8;
constexpr std::size_t kEntryKeyLength = 10;
constexpr std::size_t kEntryFlags = 12;
constexpr std::size_t kEntryKey = 16;
constexpr std::uint8_t kEntryHasChild = 0x01;
constexpr std::uint8_t kEntryLast = 0x02;

// A directory B-tree deeper than this is damaged: real trees of millions of names stay
// below ten levels.
constexpr int kMaxIndexDepth = 32;

const CNtfsFileAttr* FindIndexAttribute(const CNtfsFile& dir, std::uint32_t type) {
  if (CNtfsFileAttr* a = dir.FindAttribute(type, "$I30")) return a;
  return dir.FindAttribute(type);
}

enum class NodeResult { Found, Descend, NotFound };

}  // namespace

bool WalkIndexEntries(ByteSpan node, std::size_t headerOffset,
                      const std::function<bool(const IndexEntryView&)>& visit) {
  if (!FitsIn(node.size(), headerOffset, 8)) return false;
  std::uint64_t start =
      headerOffset + static_cast<std::uint64_t>(ReadLe32(node, headerOffset + kHeaderFirstEntry));
  std::uint64_t end =
      headerOffset + static_cast<std::uint64_t>(ReadLe32(node, headerOffset + kHeaderBytesInUse));
  end = std::min<std::uint64_t>(end, node.size());
  std::uint64_t off = start;
  while (FitsIn(end, off, kEntryKey)) {
    IndexEntryView e;
    e.reference = ReadLe64(node, off);
    std::uint16_t length = ReadLe16(node, off + kEntryLength);
    if (length < kEntryKey || !FitsIn(end, off, length)) return false;
    std::uint16_t keyLength = ReadLe16(node, off + kEntryKeyLength);
    e.flags = ReadLe8(node, off + kEntryFlags);
    if (keyLength != 0 && kEntryKey + static_cast<std::uint32_t>(keyLength) <= length) {
      e.key = node.subspan(off + kEntryKey, keyLength);
    }
    if ((e.flags & kEntryHasChild) && length >= kEntryKey + 8) {
      e.hasChild = true;
      e.childVcn = ReadLe64(node, off + length - 8);
    }
    if (!visit(e)) return true;
    if (e.flags & kEntryLast) return true;
    off += length;
  }
  return false;
}

ByteSpan IndexKeyName(ByteSpan key, std::size_t& units) {
  units = 0;
  if (key.size() < 66) return {};
  std::size_t n = key[64];
  if (66 + 2 * n > key.size()) return {};
  units = n;
  return key.subspan(66, 2 * n);
}

bool DecodeIndexKey(std::uint64_t reference, ByteSpan key, NtfsDirEntry& entry) {
  std::size_t units = 0;
  ByteSpan name = IndexKeyName(key, units);
  if (key.size() < 66 || (units == 0 && key[64] != 0)) return false;
  entry.record = static_cast<std::uint32_t>(reference);
  entry.sequence = static_cast<std::uint16_t>(reference >> 48);
  entry.parent = ReadLe32(key, 0);
  entry.created = ReadLe64(key, 8);
  entry.modified = ReadLe64(key, 16);
  entry.mftChanged = ReadLe64(key, 24);
  entry.accessed = ReadLe64(key, 32);
  entry.allocatedSize = ReadLe64(key, 40);
  entry.size = ReadLe64(key, 48);
  entry.attributes = NormalizeFileAttributes(ReadLe32(key, 56));
  entry.nameSpace = key[65];
  entry.name = Utf16LeToUtf8(name, units);
  return true;
}

bool CNtfsVolume::ApplyIndexFixup(std::span<std::uint8_t> block, std::uint32_t size) {
  size = static_cast<std::uint32_t>(std::min<std::size_t>(size, block.size()));
  if (size < 4 || block[0] != 'I' || block[1] != 'N' || block[2] != 'D' || block[3] != 'X') {
    LogFile.WriteAlways("Index block error: Signature is not INDX\n");
    return false;
  }
  return ApplyFixups(block.first(size), size / 512);
}

static int CompareUnits(CNtfsVolume& volume, const std::u16string& a, ByteSpan b,
                        std::size_t bUnits) {
  std::size_t n = std::min(a.size(), bUnits);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint16_t x = volume.UpCaseChar(static_cast<std::uint16_t>(a[i]));
    std::uint16_t y = volume.UpCaseChar(ReadLe16(b, 2 * i));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == bUnits) return 0;
  return a.size() > bUnits ? 1 : -1;
}

int CNtfsVolume::CompareNames(std::string_view a, std::string_view b) {
  std::u16string wb = Utf8ToUtf16(b);
  std::vector<std::uint8_t> raw(wb.size() * 2);
  for (std::size_t i = 0; i < wb.size(); ++i) {
    raw[2 * i] = static_cast<std::uint8_t>(wb[i]);
    raw[2 * i + 1] = static_cast<std::uint8_t>(wb[i] >> 8);
  }
  return CompareUnits(*this, Utf8ToUtf16(a), raw, wb.size());
}

std::uint32_t CNtfsVolume::IndexVcnUnit(std::uint32_t blockSize) const {
  // Blocks smaller than a cluster are numbered in 512-byte units, not in clusters.
  return blockSize >= m_bytesPerCluster ? m_bytesPerCluster : 512;
}

bool CNtfsVolume::ReadIndexBlock(CNtfsFileAttr& allocation, std::uint64_t vcn,
                                 std::uint32_t blockSize, std::vector<std::uint8_t>& block,
                                 bool* unreadable) {
  std::uint64_t offset;
  if (__builtin_mul_overflow(vcn, IndexVcnUnit(blockSize), &offset)) return false;
  block.assign(blockSize, 0);
  std::uint32_t got = 0;
  if (!allocation.Seek(offset)) return false;
  if (!allocation.Read(block.data(), blockSize, got)) {
    // The block's bytes did not come off the source: not the same as a block that is stale.
    if (unreadable) *unreadable = true;
    return false;
  }
  if (got == 0) return false;
  if (!ApplyIndexFixup(block, got)) return false;
  return ReadLe64(block, kBlockVcn) == vcn;
}

std::uint32_t CNtfsVolume::FindInDirectory(std::string_view name, std::uint32_t dirRecord) {
  if (name.empty()) return 0;
  CNtfsFile dir;
  if (!dir.LoadRecord(this, dirRecord, false)) return 0;
  const CNtfsFileAttr* root = FindIndexAttribute(dir, kAttrIndexRoot);
  if (!root || root->IsNonResident()) return 0;
  const std::vector<std::uint8_t>& value = root->ResidentValue();
  const std::u16string wanted = Utf8ToUtf16(name);

  std::uint32_t found = 0;
  std::uint64_t childVcn = 0;
  // Searches one node: a match, the child to descend into, or the end of the search.
  auto searchNode = [&](ByteSpan node, std::size_t header) {
    NodeResult result = NodeResult::NotFound;
    WalkIndexEntries(node, header, [&](const IndexEntryView& e) {
      if (!e.key.empty()) {
        std::size_t units = 0;
        ByteSpan entryName = IndexKeyName(e.key, units);
        int order = CompareUnits(*this, wanted, entryName, units);
        if (order == 0) {
          found = static_cast<std::uint32_t>(e.reference);
          result = NodeResult::Found;
          return false;
        }
        if (order > 0 && !(e.flags & kEntryLast)) return true;
      }
      // Either the name sorts before this entry or this is the node's last entry.
      if (e.hasChild) {
        childVcn = e.childVcn;
        result = NodeResult::Descend;
      }
      return false;
    });
    return result;
  };

  NodeResult r = searchNode(value, kRootHeader);
  if (r == NodeResult::Found) return found;
  if (r != NodeResult::Descend || !(ReadLe8(value, kRootFlags) & 1)) return 0;

  CNtfsFileAttr* allocation =
      const_cast<CNtfsFileAttr*>(FindIndexAttribute(dir, kAttrIndexAllocation));
  std::uint32_t blockSize = ReadLe32(value, kRootBlockSize);
  if (!allocation || blockSize < 512 || blockSize > kMaxIndexBlockSize) return 0;
  std::vector<std::uint8_t> block;
  std::set<std::uint64_t> visited;
  for (int depth = 0; depth < kMaxIndexDepth; ++depth) {
    if (!visited.insert(childVcn).second) return 0;
    if (!ReadIndexBlock(*allocation, childVcn, blockSize, block)) return 0;
    r = searchNode(block, kBlockHeader);
    if (r == NodeResult::Found) return found;
    if (r != NodeResult::Descend) return 0;
  }
  return 0;
}

std::uint32_t CNtfsVolume::ResolvePath(std::string_view path) {
  if (path.empty()) return kRootRecord;
  path.remove_prefix(std::min<std::size_t>(3, path.size()));
  std::uint32_t current = kRootRecord;
  while (!path.empty()) {
    std::size_t cut = path.find('\\');
    std::string_view piece = path.substr(0, cut);
    path.remove_prefix(cut == std::string_view::npos ? path.size() : cut + 1);
    if (piece.empty()) continue;
    current = FindInDirectory(piece, current);
    if (current == 0) return 0;
  }
  return current;
}

bool CNtfsVolume::ListDirectory(std::uint32_t dirRecord, std::vector<NtfsDirEntry>& entries,
                                bool foldersOnly) {
  entries.clear();
  CNtfsFile dir;
  if (!dir.LoadRecord(this, dirRecord, false)) return false;
  const CNtfsFileAttr* root = FindIndexAttribute(dir, kAttrIndexRoot);
  if (!root || root->IsNonResident()) return false;
  auto collect = [&](const IndexEntryView& e) {
    NtfsDirEntry entry;
    // Files are passed over before their names are decoded when only folders are wanted.
    if (foldersOnly && e.key.size() >= 60 &&
        !(NormalizeFileAttributes(ReadLe32(e.key, 56)) & kFileAttrDirectory))
      return true;
    // DOS names are second names of files listed under their long names.
    if (!e.key.empty() && DecodeIndexKey(e.reference, e.key, entry) && entry.nameSpace != 2) {
      entries.push_back(std::move(entry));
    }
    return true;
  };
  const std::vector<std::uint8_t>& value = root->ResidentValue();
  WalkIndexEntries(value, kRootHeader, collect);

  auto* allocation = const_cast<CNtfsFileAttr*>(FindIndexAttribute(dir, kAttrIndexAllocation));
  std::uint32_t blockSize = ReadLe32(value, kRootBlockSize);
  if (!allocation || blockSize < 512 || blockSize > kMaxIndexBlockSize) {
    // A root that says its entries go on in blocks, with no blocks to read, lost them.
    if (ReadLe8(value, kRootFlags) & 1) ++m_unreadableIndexBlocks;
    return true;
  }
  std::uint64_t bytes = std::min(allocation->RealSize(), DeviceSize());
  std::uint64_t blocks = bytes / blockSize;

  // The $BITMAP of the index says which blocks are in use; freed blocks keep stale entries.
  std::vector<std::uint8_t> inUse;
  if (auto* bitmap = const_cast<CNtfsFileAttr*>(FindIndexAttribute(dir, kAttrBitmap))) {
    std::uint64_t want = std::min<std::uint64_t>(bitmap->RealSize(), blocks / 8 + 1);
    inUse.assign(want, 0);
    std::uint32_t got = 0;
    if (want == 0 || !bitmap->Seek(0)) {
      got = 0;
    } else if (!bitmap->Read(inUse.data(), static_cast<std::uint32_t>(want), got)) {
      // Without the block map, freed blocks would pass for live ones.
      LogFile.Write(1, "Index bitmap of folder %lu could not be read\n",
                    static_cast<unsigned long>(dirRecord));
      return false;
    }
    inUse.resize(got);
  }
  std::vector<std::uint8_t> block;
  const std::uint32_t unit = IndexVcnUnit(blockSize);
  bool failed = false;
  for (std::uint64_t i = 0; i < blocks; ++i) {
    if (!inUse.empty() && (i / 8 >= inUse.size() || !((inUse[i / 8] >> (i % 8)) & 1))) continue;
    std::uint64_t vcn = i * blockSize / unit;
    bool unreadable = false;
    if (!ReadIndexBlock(*allocation, vcn, blockSize, block, &unreadable)) {
      // Without the index's bitmap a block may just be unused; with it, this one held entries.
      if (!inUse.empty()) ++m_unreadableIndexBlocks;
      // A block in use that cannot be read leaves the listing incomplete: that is a failure
      // (the entries found so far stay in `entries`), never a shorter folder.
      if (unreadable) {
        LogFile.Write(1, "Index block %llu of folder %lu could not be read\n",
                      static_cast<unsigned long long>(vcn), static_cast<unsigned long>(dirRecord));
        failed = true;
      }
      continue;
    }
    WalkIndexEntries(block, kBlockHeader, collect);
  }
  return !failed;
}

}  // namespace sorvani
