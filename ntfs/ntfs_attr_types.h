// The attribute classes whose content the reader interprets, and the factory that builds the
// right class for each attribute of a record.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ntfs/ntfs_attr.h"

namespace sorvani {

// $STANDARD_INFORMATION (0x10): file attribute bits and the four times.
class CAttr_$STANDARD_INFORMATION : public CNtfsFileAttr {
 public:
  CAttr_$STANDARD_INFORMATION(CNtfsFile* owner, ByteSpan header, std::uint32_t attributeLength);
  std::uint32_t FileAttributes() const { return m_fileAttributes; }
  std::uint64_t Created() const { return m_created; }
  std::uint64_t Modified() const { return m_modified; }
  std::uint64_t MftChanged() const { return m_mftChanged; }
  std::uint64_t Accessed() const { return m_accessed; }

 protected:
  void AppendDump(std::string& out) override;

 private:
  std::uint32_t m_fileAttributes = 0;
  std::uint64_t m_created = 0, m_modified = 0, m_mftChanged = 0, m_accessed = 0;
};

struct AttrListEntry {
  std::uint32_t type = 0;
  std::uint64_t startVcn = 0;
  std::uint32_t record = 0;  // low half of the file reference
  std::uint16_t attributeId = 0;
  std::string name;
};

// $ATTRIBUTE_LIST (0x20): where each attribute of a file lives when one record is too small.
class CAttr_$ATTRIBUTE_LIST : public CNtfsFileAttr {
 public:
  CAttr_$ATTRIBUTE_LIST(CNtfsFile* owner, ByteSpan header, std::uint32_t attributeLength);
  const std::vector<AttrListEntry>& Entries() const { return m_entries; }

  // Decodes entries from a list's bytes; a 0 or oversized entry length ends the list.
  static void DecodeEntries(ByteSpan list, std::vector<AttrListEntry>& entries);

 protected:
  void AppendDump(std::string& out) override;

 private:
  std::vector<AttrListEntry> m_entries;
};

// $FILE_NAME (0x30): one name of the file and what the parent's index saw of it.
class CAttr_$FILE_NAME : public CNtfsFileAttr {
 public:
  CAttr_$FILE_NAME(CNtfsFile* owner, ByteSpan header, std::uint32_t attributeLength);
  const std::string& FileName() const { return m_fileName; }
  std::uint32_t Flags() const { return m_flags; }
  std::uint64_t NameRealSize() const { return m_nameRealSize; }
  std::uint8_t NameSpace() const { return m_nameSpace; }
  std::uint64_t Created() const { return m_created; }
  std::uint64_t Modified() const { return m_modified; }
  std::uint32_t Parent() const { return m_parent; }

 protected:
  void AppendDump(std::string& out) override;

 private:
  std::string m_fileName;
  std::uint32_t m_flags = 0;
  std::uint64_t m_nameRealSize = 0;
  std::uint8_t m_nameSpace = 0;
  std::uint64_t m_created = 0, m_modified = 0;
  std::uint32_t m_parent = 0;
};

// $VOLUME_NAME (0x60): the label, as the resident value.
class CAttr_$VOLUME_NAME : public CNtfsFileAttr {
 public:
  using CNtfsFileAttr::CNtfsFileAttr;
};

// $DATA (0x80).
class CAttr_$DATA : public CNtfsFileAttr {
 public:
  using CNtfsFileAttr::CNtfsFileAttr;
};

// $INDEX_ROOT (0x90): the resident root node of a directory index.
class CAttr_$INDEX_ROOT : public CNtfsFileAttr {
 public:
  CAttr_$INDEX_ROOT(CNtfsFile* owner, ByteSpan header, std::uint32_t attributeLength);
  bool IsLargeIndex() const { return m_largeIndex; }

 private:
  bool m_largeIndex = false;
};

// $BITMAP (0xB0).
class CAttr_$BITMAP : public CNtfsFileAttr {
 public:
  using CNtfsFileAttr::CNtfsFileAttr;
};

// $EFS (0x100, $LOGGED_UTILITY_STREAM named $EFS): dumped as hex.
class CAttr_$EFS : public CNtfsFileAttr {
 public:
  using CNtfsFileAttr::CNtfsFileAttr;

 protected:
  void AppendDump(std::string& out) override;
};

struct CreatedAttribute {
  std::unique_ptr<CNtfsFileAttr> attribute;  // none for the end marker, skipped or bad ones
  std::uint32_t advance = 0;                 // 0 ends the record walk
};

// Builds the attribute at `offset` of `record` (one whole MFT record).
CreatedAttribute CreateAttribute(CNtfsFile* file, ByteSpan record, std::uint32_t offset,
                                 bool namesOnly);

// Hex dump in the log's layout.
void AppendHexDump(std::string& out, ByteSpan bytes);

}  // namespace sorvani
