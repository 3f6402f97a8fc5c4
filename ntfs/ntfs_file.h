// CNtfsFile: one file as the MFT describes it, the attributes of its base record and of every
// extension record its $ATTRIBUTE_LIST names, with the pieces of a non-resident attribute
// joined into one stream.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ntfs/ntfs_attr.h"

namespace sorvani {

class CAttr_$ATTRIBUTE_LIST;

// Record header fields.
inline constexpr std::size_t kRecordUsaOffset = 4;
inline constexpr std::size_t kRecordUsaCount = 6;
inline constexpr std::size_t kRecordFirstAttribute = 20;
inline constexpr std::size_t kRecordFlags = 22;
inline constexpr std::size_t kRecordBaseReference = 32;

// Applies the update sequence of a FILE record; the number of 512-byte strides is the
// array's entry count less one, capped by the record size.
bool ApplyRecordFixup(std::span<std::uint8_t> record);

// Reads record `number` of an MFT whose $DATA is `data` into `buffer` (one record).
bool ReadRecordThrough(CNtfsFileAttr& data, std::uint32_t number, std::uint32_t recordSize,
                       std::vector<std::uint8_t>& buffer);

// Why the last LoadRecord failed: the record's bytes could not be read (a device error, an
// MFT cluster past the end of a cut-off source), or they were read and are not a usable
// record. The two are reported differently: only the second says anything about the record.
// kMissing: the MFT holds no such record (a number past its end).
enum class RecordFault : std::uint8_t { kNone, kUnreadable, kDamaged, kMissing };

class CNtfsFile {
 public:
  CNtfsFile() = default;
  virtual ~CNtfsFile();
  CNtfsFile(const CNtfsFile&) = delete;
  CNtfsFile& operator=(const CNtfsFile&) = delete;

  bool LoadRecord(CNtfsVolume* volume, std::uint32_t number, bool namesOnly);
  RecordFault LoadFault() const { return m_loadFault; }
  // The same load, told as Ok / Corrupt / DeviceError.
  RecordLoad Load(CNtfsVolume* volume, std::uint32_t number, bool namesOnly) {
    LoadRecord(volume, number, namesOnly);
    return LoadResult();
  }
  // The last load's outcome in those three values (a missing record counts as corrupt).
  RecordLoad LoadResult() const {
    return m_loadFault == RecordFault::kNone         ? RecordLoad::kOk
           : m_loadFault == RecordFault::kUnreadable ? RecordLoad::kDeviceError
                                                     : RecordLoad::kCorrupt;
  }
  // `buffer` is one MFT record; its fixups are applied in place.
  bool ParseRecord(CNtfsVolume* volume, std::span<std::uint8_t> buffer, std::uint32_t number,
                   bool namesOnly);

  CNtfsFileAttr* FindAttribute(std::uint32_t type) const;
  // The attribute of that type and name ("" = unnamed).
  CNtfsFileAttr* FindAttribute(std::uint32_t type, std::string_view name) const;
  CNtfsFileAttr* AttributeAt(std::size_t index) const;
  std::size_t AttributeCount() const { return m_attributes.size(); }

  std::uint64_t GetDataSize() const;
  // Bytes of the file's $DATA streams whose clusters lie past the end of the source (a
  // cut-off image): 0 on an intact one.
  std::uint64_t DataBytesPastEnd() const;
  bool GetNameInfo(std::string& name, std::uint64_t& size, std::uint32_t& attributes,
                   std::uint32_t& parent, std::uint64_t& created, std::uint64_t& modified) const;

  void Dump();
  std::string DumpText();

  std::uint32_t RecordNumber() const { return m_recordNumber; }
  bool IsValid() const { return m_valid; }
  bool InUse() const { return m_inUse; }
  CNtfsVolume* Volume() const { return m_volume; }
  const std::set<std::uint32_t>& VisitedRecords() const { return m_visited; }

 private:
  struct Loaded {
    std::unique_ptr<CNtfsFileAttr> attr;
    std::uint32_t record;
  };
  void Clear();
  bool LoadAttributes(std::span<std::uint8_t> buffer, std::uint32_t number, bool namesOnly,
                      std::vector<Loaded>& loaded);
  void TakeInExtensions(const CAttr_$ATTRIBUTE_LIST& list, bool namesOnly,
                        std::vector<Loaded>& loaded);
  void Assemble(std::vector<Loaded>& loaded, const CAttr_$ATTRIBUTE_LIST* list);

  std::uint32_t m_recordNumber = 0;
  RecordFault m_loadFault = RecordFault::kNone;
  bool m_valid = false;
  bool m_inUse = false;
  CNtfsVolume* m_volume = nullptr;
  std::vector<std::unique_ptr<CNtfsFileAttr>> m_attributes;
  std::set<std::uint32_t> m_visited;
  std::vector<std::uint8_t> m_recordBuffer;  // kept between loads: no allocation per record
};

}  // namespace sorvani
