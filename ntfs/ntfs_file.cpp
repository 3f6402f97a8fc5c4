#include "ntfs/ntfs_file.h"

#include <algorithm>
#include <exception>

#include "foundation/log.h"
#include "ntfs/ntfs_attr_types.h"
#include "ntfs/ntfs_text.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {
namespace {

constexpr std::size_t kRecordMinHeader = 48;

bool IsFirstPiece(const CNtfsFileAttr& a) { return !a.IsNonResident() || a.StartVcn() == 0; }

}  // namespace

bool ApplyRecordFixup(std::span<std::uint8_t> record) {
  std::uint16_t entries = ReadLe16(record, kRecordUsaOffset + 2);
  if (entries < 2) return true;
  std::uint32_t strides =
      std::min<std::uint32_t>(entries - 1u, static_cast<std::uint32_t>(record.size() / 512));
  return ApplyFixups(record, strides);
}

bool ReadRecordThrough(CNtfsFileAttr& data, std::uint32_t number, std::uint32_t recordSize,
                       std::vector<std::uint8_t>& buffer) {
  if (recordSize == 0 || recordSize > kMaxRecordSize) return false;
  buffer.assign(recordSize, 0);
  std::uint32_t got = 0;
  if (!data.Seek(static_cast<std::uint64_t>(number) * recordSize)) return false;
  return data.Read(buffer.data(), recordSize, got) && got == recordSize;
}

CNtfsFile::~CNtfsFile() = default;

void CNtfsFile::Clear() {
  m_valid = false;
  m_inUse = false;
  m_attributes.clear();
  m_visited.clear();
}

bool CNtfsFile::LoadRecord(CNtfsVolume* volume, std::uint32_t number, bool namesOnly) {
  try {
    Clear();
    m_volume = volume;
    m_loadFault = RecordFault::kMissing;
    if (!volume) return false;
    if (RecordLoad read = volume->ReadMftRecordResult(number, m_recordBuffer);
        read != RecordLoad::kOk) {
      if (read == RecordLoad::kDeviceError) {
        m_loadFault = RecordFault::kUnreadable;
        LogFile.Write(1, "MFT record %lu: cannot be read from the device\n",
                      static_cast<unsigned long>(number));
      } else {
        LogFile.Write(2, "MFT record %lu: not in the MFT\n", static_cast<unsigned long>(number));
      }
      return false;
    }
    bool parsed = ParseRecord(volume, m_recordBuffer, number, namesOnly);
    m_loadFault = parsed ? RecordFault::kNone : RecordFault::kDamaged;
    return parsed;
  } catch (...) {
    LogFile.WriteAlways("Unhandled exception during file %lu initialization\n",
                        static_cast<unsigned long>(number));
    m_valid = false;
    return false;
  }
}

bool CNtfsFile::ParseRecord(CNtfsVolume* volume, std::span<std::uint8_t> buffer,
                            std::uint32_t number, bool namesOnly) {
  Clear();
  m_volume = volume;
  if (buffer.size() < kRecordMinHeader) {
    LogFile.Write(2, "MFT record %lu: shorter than a record header\n",
                  static_cast<unsigned long>(number));
    return false;
  }
  // An extension record is reached through its base record, never parsed as a file.
  if (ReadLe64(buffer, kRecordBaseReference) != 0) {
    LogFile.Write(2, "MFT record %lu: an extension record, not a file of its own\n",
                  static_cast<unsigned long>(number));
    return false;
  }
  m_recordNumber = number;
  m_inUse = (ReadLe16(buffer, kRecordFlags) & 1) != 0;
  std::vector<Loaded> loaded;
  try {
    if (!LoadAttributes(buffer, number, namesOnly, loaded)) return false;
    const CAttr_$ATTRIBUTE_LIST* list = nullptr;
    for (const Loaded& l : loaded) {
      if (l.attr->Type() == kAttrAttributeList) {
        list = static_cast<const CAttr_$ATTRIBUTE_LIST*>(l.attr.get());
        break;
      }
    }
    if (list && volume) TakeInExtensions(*list, namesOnly, loaded);
    Assemble(loaded, list);
  } catch (...) {
    LogFile.WriteAlways(
        "MFT record %lu: Unhandled exception during retreiving file record attributes\n",
        static_cast<unsigned long>(number));
    return false;
  }
  m_valid = true;
  return true;
}

bool CNtfsFile::LoadAttributes(std::span<std::uint8_t> buffer, std::uint32_t number, bool namesOnly,
                               std::vector<Loaded>& loaded) {
  m_visited.insert(number);
  if (buffer.size() < kRecordMinHeader || buffer[0] != 'F' || buffer[1] != 'I' ||
      buffer[2] != 'L' || buffer[3] != 'E') {
    LogFile.Write(2, "MFT record %lu: Signature is not FILE\n", static_cast<unsigned long>(number));
    return false;
  }
  if (!ApplyRecordFixup(buffer)) {
    LogFile.Write(2, "MFT record %lu: the update sequence does not match (a torn write)\n",
                  static_cast<unsigned long>(number));
    return false;
  }
  std::uint32_t offset = ReadLe16(buffer, kRecordFirstAttribute);
  ByteSpan record(buffer.data(), buffer.size());
  for (;;) {
    CreatedAttribute created = CreateAttribute(this, record, offset, namesOnly);
    if (created.attribute) loaded.push_back({std::move(created.attribute), number});
    if (created.advance == 0) break;
    offset += created.advance;
  }
  return true;
}

// Joins every later piece of a non-resident attribute to the first piece of the same type
// and name, in VCN order. Pieces whose first piece is not (yet) loaded stay in the list.
static void MergePieces(std::vector<std::unique_ptr<CNtfsFileAttr>>& attrs) {
  std::vector<std::size_t> pieces;
  for (std::size_t i = 0; i < attrs.size(); ++i) {
    if (!IsFirstPiece(*attrs[i])) pieces.push_back(i);
  }
  if (pieces.empty()) return;
  std::stable_sort(pieces.begin(), pieces.end(), [&](std::size_t a, std::size_t b) {
    return attrs[a]->StartVcn() < attrs[b]->StartVcn();
  });
  std::vector<bool> merged(attrs.size(), false);
  for (std::size_t p : pieces) {
    CNtfsFileAttr& later = *attrs[p];
    for (auto& candidate : attrs) {
      CNtfsFileAttr& first = *candidate;
      if (first.IsNonResident() && first.StartVcn() == 0 && first.Type() == later.Type() &&
          first.Name() == later.Name()) {
        CNtfsFileAttr::AppendRuns(first, later);
        merged[p] = true;
        break;
      }
    }
  }
  std::size_t out = 0;
  for (std::size_t i = 0; i < attrs.size(); ++i) {
    if (!merged[i]) attrs[out++] = std::move(attrs[i]);
  }
  attrs.resize(out);
}

void CNtfsFile::TakeInExtensions(const CAttr_$ATTRIBUTE_LIST& list, bool namesOnly,
                                 std::vector<Loaded>& loaded) {
  const bool isMft = m_volume && this == &m_volume->MftFile();
  std::vector<std::uint8_t> scratch;
  for (const AttrListEntry& entry : list.Entries()) {
    if (m_visited.count(entry.record)) continue;
    bool read;
    if (isMft) {
      // $MFT's own extension records are read through the pieces of its $DATA found so far.
      CNtfsFileAttr* data = nullptr;
      for (Loaded& l : loaded) {
        if (l.attr->Type() == kAttrData && l.attr->Name().empty() && l.attr->StartVcn() == 0) {
          data = l.attr.get();
          break;
        }
      }
      read = data && ReadRecordThrough(*data, entry.record, m_volume->MftRecordSize(), scratch);
    } else {
      read = m_volume->ReadMftRecord(entry.record, scratch);
    }
    if (!read) continue;
    // A record that now belongs to another file holds nothing of this one.
    if (ReadLe32(scratch, kRecordBaseReference) != m_recordNumber) continue;
    LoadAttributes(scratch, entry.record, namesOnly, loaded);
    if (isMft) {
      std::vector<std::unique_ptr<CNtfsFileAttr>> attrs;
      std::vector<std::uint32_t> records;
      for (Loaded& l : loaded) {
        records.push_back(l.record);
        attrs.push_back(std::move(l.attr));
      }
      // Keep the record each attribute came from across the merge.
      std::vector<CNtfsFileAttr*> before;
      for (auto& a : attrs) before.push_back(a.get());
      MergePieces(attrs);
      std::vector<Loaded> rebuilt;
      for (auto& a : attrs) {
        std::size_t k = std::find(before.begin(), before.end(), a.get()) - before.begin();
        rebuilt.push_back({std::move(a), records[k]});
      }
      loaded = std::move(rebuilt);
    }
  }
}

void CNtfsFile::Assemble(std::vector<Loaded>& loaded, const CAttr_$ATTRIBUTE_LIST* list) {
  std::vector<bool> placed(loaded.size(), false);
  std::vector<std::size_t> order;
  if (list) {
    // Attributes take the places the list gives them, whichever record holds them.
    for (const AttrListEntry& entry : list->Entries()) {
      for (std::size_t i = 0; i < loaded.size(); ++i) {
        if (!placed[i] && loaded[i].record == entry.record &&
            loaded[i].attr->Id() == entry.attributeId && loaded[i].attr->Type() == entry.type) {
          placed[i] = true;
          order.push_back(i);
          break;
        }
      }
    }
  }
  for (std::size_t i = 0; i < loaded.size(); ++i) {
    if (!placed[i]) order.push_back(i);
  }
  m_attributes.clear();
  m_attributes.reserve(order.size());
  for (std::size_t i : order) m_attributes.push_back(std::move(loaded[i].attr));
  MergePieces(m_attributes);
  // A later piece whose first piece never turned up cannot be read on its own.
  std::erase_if(m_attributes,
                [](const std::unique_ptr<CNtfsFileAttr>& a) { return !IsFirstPiece(*a); });
}

CNtfsFileAttr* CNtfsFile::FindAttribute(std::uint32_t type) const {
  for (const auto& a : m_attributes) {
    if (a->Type() == type) return a.get();
  }
  return nullptr;
}

CNtfsFileAttr* CNtfsFile::FindAttribute(std::uint32_t type, std::string_view name) const {
  for (const auto& a : m_attributes) {
    if (a->Type() == type && a->Name() == name) return a.get();
  }
  return nullptr;
}

CNtfsFileAttr* CNtfsFile::AttributeAt(std::size_t index) const {
  return index < m_attributes.size() ? m_attributes[index].get() : nullptr;
}

std::uint64_t CNtfsFile::GetDataSize() const {
  CNtfsFileAttr* data = FindAttribute(kAttrData);
  return data ? data->RealSize() : 0;
}

std::uint64_t CNtfsFile::DataBytesPastEnd() const {
  if (!m_volume || m_volume->BytesPerCluster() == 0) return 0;
  const std::uint64_t bpc = m_volume->BytesPerCluster();
  const std::uint64_t held = m_volume->DeviceSize();
  std::uint64_t past = 0;
  for (const auto& attr : m_attributes) {
    if (attr->Type() != kAttrData || !attr->IsNonResident()) continue;
    const std::uint64_t found = attr->DataFound();
    std::uint64_t vcn = attr->StartVcn();
    std::int64_t lcn = 0;
    for (const DataRun& run : attr->Runs()) {
      lcn += run.lcnDelta;
      const std::uint64_t runVcn = vcn;
      vcn += run.length;
      if (run.sparse || lcn < 0 || runVcn * bpc >= found) continue;
      // Clusters of the run past the end, counted only within the stream's data.
      std::uint64_t firstByte = static_cast<std::uint64_t>(lcn) * bpc;
      std::uint64_t runBytes = std::min(run.length * bpc, found - runVcn * bpc);
      if (firstByte + runBytes <= held) continue;
      past += firstByte >= held ? runBytes : firstByte + runBytes - held;
    }
  }
  return past;
}

bool CNtfsFile::GetNameInfo(std::string& name, std::uint64_t& size, std::uint32_t& attributes,
                            std::uint32_t& parent, std::uint64_t& created,
                            std::uint64_t& modified) const {
  name.clear();
  size = 0;
  attributes = 0;
  parent = 0;
  if (!m_valid) return false;
  if (auto* si =
          static_cast<CAttr_$STANDARD_INFORMATION*>(FindAttribute(kAttrStandardInformation))) {
    attributes = si->FileAttributes();
  }
  for (const auto& a : m_attributes) {
    if (a->Type() != kAttrFileName) continue;
    const auto& fn = static_cast<const CAttr_$FILE_NAME&>(*a);
    name = fn.FileName();
    size = fn.NameRealSize();
    attributes |= fn.Flags();
    parent = fn.Parent();
    created = fn.Created();
    modified = fn.Modified();
    if (fn.NameSpace() == 1) break;
  }
  return true;
}

void CNtfsFile::Dump() {
  std::string text = DumpText();
  LogFile.WriteAlways("%s", text.c_str());
}

std::string CNtfsFile::DumpText() {
  std::string out;
  Appendf(out, "FILE rec#=%lu\n", static_cast<unsigned long>(m_recordNumber));
  Appendf(out, "Valid=%d InUse=%d\n", m_valid ? 1 : 0, m_inUse ? 1 : 0);
  for (auto& a : m_attributes) out += a->DumpText();
  return out;
}

}  // namespace sorvani
