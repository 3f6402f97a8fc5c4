#include "ntfs/ntfs_attr_types.h"

#include <algorithm>
#include <cinttypes>

#include "foundation/display_format.h"
#include "foundation/log.h"
#include "ntfs/ntfs_file.h"
#include "ntfs/ntfs_text.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

struct BitWord {
  std::uint32_t bit;
  const char* longWord;
  const char* shortWord;
};

// Dump order: every bit in ascending order, the directory bit last.
constexpr BitWord kBitWords[] = {
    {0x1, " Read-only", " R-O"},        {0x2, " Hidden", " Hid"},
    {0x4, " System", " Sys"},           {0x20, " Archive", " Arc"},
    {0x40, " Device", " Dev"},          {0x80, " Normal", " Nor"},
    {0x100, " Temporary", " Tmp"},      {0x200, " Sparce", " Spc"},
    {0x400, " Reparce_point ", " Rep"}, {0x800, " Compressed", " Com"},
    {0x1000, " Offline", " Off"},       {0x2000, " Not_content_indexed", " Nci"},
    {0x4000, " Encrypted", " Enc"},     {0x10, " Directory", " Dir"},
};

void AppendBits(std::string& out, std::uint32_t bits, bool shortWords) {
  out += "  {";
  for (const BitWord& w : kBitWords) {
    if (bits & w.bit) out += shortWords ? w.shortWord : w.longWord;
  }
  out += "}\n";
}

// Attribute list entry fields.
constexpr std::size_t kListType = 0;
constexpr std::size_t kListLength = 4;
constexpr std::size_t kListNameLength = 6;
constexpr std::size_t kListNameOffset = 7;
constexpr std::size_t kListStartVcn = 8;
constexpr std::size_t kListReference = 16;
constexpr std::size_t kListAttributeId = 24;
constexpr std::size_t kListMinEntry = 26;

// An attribute list longer than this is not believed (a list entry per extent of a file
// fragmented into hundreds of thousands of pieces stays well below it).
constexpr std::uint64_t kMaxAttributeList = 16u << 20;

// $FILE_NAME value fields.
constexpr std::size_t kFnParent = 0;
constexpr std::size_t kFnCreated = 8;
constexpr std::size_t kFnModified = 16;
constexpr std::size_t kFnRealSize = 48;
constexpr std::size_t kFnFlags = 56;
constexpr std::size_t kFnNameLength = 64;
constexpr std::size_t kFnNameSpace = 65;
constexpr std::size_t kFnName = 66;

constexpr std::uint64_t kMaxEfsDump = 65536;

}  // namespace

CAttr_$STANDARD_INFORMATION::CAttr_$STANDARD_INFORMATION(CNtfsFile* owner, ByteSpan header,
                                                         std::uint32_t attributeLength)
    : CNtfsFileAttr(owner, header, attributeLength) {
  if (!m_valid) return;
  if (IsNonResident() || m_value.size() < 36) {
    m_valid = false;
    return;
  }
  m_created = ReadLe64(m_value, 0);
  m_modified = ReadLe64(m_value, 8);
  m_mftChanged = ReadLe64(m_value, 16);
  m_accessed = ReadLe64(m_value, 24);
  m_fileAttributes = NormalizeFileAttributes(ReadLe32(m_value, 32));
}

void CAttr_$STANDARD_INFORMATION::AppendDump(std::string& out) {
  AppendBaseDump(out);
  AppendBits(out, m_fileAttributes, false);
}

CAttr_$FILE_NAME::CAttr_$FILE_NAME(CNtfsFile* owner, ByteSpan header, std::uint32_t attributeLength)
    : CNtfsFileAttr(owner, header, attributeLength) {
  if (!m_valid) return;
  m_valid = false;
  if (IsNonResident() || m_value.size() < kFnName) return;
  std::uint8_t nameLength = ReadLe8(m_value, kFnNameLength);
  if (kFnName + 2u * nameLength > m_value.size()) return;
  m_parent = ReadLe32(m_value, kFnParent);
  m_created = ReadLe64(m_value, kFnCreated);
  m_modified = ReadLe64(m_value, kFnModified);
  m_nameRealSize = ReadLe64(m_value, kFnRealSize);
  m_flags = NormalizeFileAttributes(ReadLe32(m_value, kFnFlags));
  m_nameSpace = ReadLe8(m_value, kFnNameSpace);
  m_fileName = Utf16LeToUtf8(ByteSpan(m_value).subspan(kFnName), nameLength);
  // Names are kept for many files at once; the raw value never is.
  m_value.clear();
  m_value.shrink_to_fit();
  m_valid = true;
}

void CAttr_$FILE_NAME::AppendDump(std::string& out) {
  AppendBaseDump(out);
  // Names come off the volume: escaped, so a dump on a terminal or in the log stays one line.
  Appendf(out, "  Name=%s\n", EscapeControlCharacters(m_fileName).c_str());
  AppendBits(out, m_flags, true);
}

void CAttr_$ATTRIBUTE_LIST::DecodeEntries(ByteSpan list, std::vector<AttrListEntry>& entries) {
  std::size_t pos = 0;
  while (FitsIn(list.size(), pos, kListMinEntry)) {
    std::uint16_t length = ReadLe16(list, pos + kListLength);
    if (length < kListMinEntry || !FitsIn(list.size(), pos, length)) break;
    ByteSpan e = list.subspan(pos, length);
    AttrListEntry entry;
    entry.type = ReadLe32(e, kListType);
    entry.startVcn = ReadLe64(e, kListStartVcn);
    entry.record = ReadLe32(e, kListReference);
    entry.attributeId = ReadLe16(e, kListAttributeId);
    std::uint8_t nameLength = ReadLe8(e, kListNameLength);
    std::uint8_t nameOffset = ReadLe8(e, kListNameOffset);
    if (nameLength && FitsIn(e.size(), nameOffset, 2u * nameLength)) {
      entry.name = Utf16LeToUtf8(e.subspan(nameOffset), nameLength);
    }
    entries.push_back(std::move(entry));
    pos += length;
  }
}

CAttr_$ATTRIBUTE_LIST::CAttr_$ATTRIBUTE_LIST(CNtfsFile* owner, ByteSpan header,
                                             std::uint32_t attributeLength)
    : CNtfsFileAttr(owner, header, attributeLength) {
  if (!m_valid) return;
  if (!IsNonResident()) {
    DecodeEntries(m_value, m_entries);
    return;
  }
  std::uint64_t size = std::min(RealSize(), kMaxAttributeList);
  if (CNtfsVolume* volume = Volume()) size = std::min(size, volume->DeviceSize());
  if (size == 0) return;
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t got = 0;
  if (Seek(0) && Read(bytes.data(), static_cast<std::uint32_t>(size), got)) {
    bytes.resize(got);
    DecodeEntries(bytes, m_entries);
  }
  Seek(0);
}

void CAttr_$ATTRIBUTE_LIST::AppendDump(std::string& out) {
  AppendBaseDump(out);
  for (const AttrListEntry& e : m_entries) {
    Appendf(out, "\tLIST_ENTRY type=%s\tVCN=%" PRId64 "\trec=%u\n", TypeName(e.type),
            static_cast<std::int64_t>(e.startVcn), e.record);
  }
}

CAttr_$INDEX_ROOT::CAttr_$INDEX_ROOT(CNtfsFile* owner, ByteSpan header,
                                     std::uint32_t attributeLength)
    : CNtfsFileAttr(owner, header, attributeLength) {
  if (!m_valid) return;
  m_largeIndex = !IsNonResident() && (ReadLe8(m_value, 28) & 1) != 0;
}

void CAttr_$EFS::AppendDump(std::string& out) {
  AppendBaseDump(out);
  out += "\nEFS STREAM DUMP\n\n";
  std::vector<std::uint8_t> bytes(std::min(RealSize(), kMaxEfsDump));
  std::uint32_t got = 0;
  if (!bytes.empty()) Read(bytes.data(), static_cast<std::uint32_t>(bytes.size()), got);
  AppendHexDump(out, ByteSpan(bytes.data(), got));
  out += "\n\n";
}

void AppendHexDump(std::string& out, ByteSpan bytes) {
  Appendf(out, "BUFFER DUMP size=%d\n", static_cast<int>(bytes.size()));
  if (bytes.empty()) {
    out += "\n";
    return;
  }
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i % 8 == 0) out += "  ";
    if (i % 16 == 0) {
      if (i > 0) {
        // Printable ASCII as itself, anything else as '.': raw bytes would drive the terminal.
        for (std::size_t k = i - 16; k < i; ++k)
          out.push_back(bytes[k] >= 0x20 && bytes[k] < 0x7F ? static_cast<char>(bytes[k]) : '.');
      }
      Appendf(out, "\n%04X\t", static_cast<unsigned>(i));
    }
    Appendf(out, "%02X ", bytes[i]);
  }
  out += "\n";
}

CreatedAttribute CreateAttribute(CNtfsFile* file, ByteSpan record, std::uint32_t offset,
                                 bool namesOnly) {
  CreatedAttribute result;
  if (!FitsIn(record.size(), offset, 8)) return result;
  std::uint32_t type = ReadLe32(record, offset);
  if (type == kAttrEnd) return result;
  std::uint32_t length = ReadLe32(record, offset + 4);
  // A length that cannot hold a header, or one past the record's end, ends the walk.
  if (length < 16 || !FitsIn(record.size(), offset, length)) return result;
  result.advance = length;
  if (namesOnly && type != kAttrStandardInformation && type != kAttrAttributeList &&
      type != kAttrFileName) {
    return result;
  }
  ByteSpan header = record.subspan(offset, length);
  try {
    std::unique_ptr<CNtfsFileAttr> attr;
    switch (type) {
      case kAttrStandardInformation:
        attr = std::make_unique<CAttr_$STANDARD_INFORMATION>(file, header, length);
        break;
      case kAttrAttributeList:
        attr = std::make_unique<CAttr_$ATTRIBUTE_LIST>(file, header, length);
        break;
      case kAttrFileName:
        attr = std::make_unique<CAttr_$FILE_NAME>(file, header, length);
        break;
      case kAttrVolumeName:
        attr = std::make_unique<CAttr_$VOLUME_NAME>(file, header, length);
        break;
      case kAttrData:
        attr = std::make_unique<CAttr_$DATA>(file, header, length);
        break;
      case kAttrIndexRoot:
        attr = std::make_unique<CAttr_$INDEX_ROOT>(file, header, length);
        break;
      case kAttrBitmap:
        attr = std::make_unique<CAttr_$BITMAP>(file, header, length);
        break;
      case kAttrEfs:
        attr = std::make_unique<CAttr_$EFS>(file, header, length);
        break;
      default:
        attr = std::make_unique<CNtfsFileAttr>(file, header, length);
        break;
    }
    if (attr->IsValid()) result.attribute = std::move(attr);
  } catch (...) {
    LogFile.Write(1, "MFT record %lu: Unhandled exception during attribute initialization\n",
                  static_cast<unsigned long>(file ? file->RecordNumber() : 0));
  }
  return result;
}

}  // namespace sorvani
