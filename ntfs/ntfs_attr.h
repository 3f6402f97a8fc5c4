// CNtfsFileAttr: one attribute of an MFT record. Decodes the attribute header, keeps a
// resident value or the decoded data runs of a non-resident one, and is a byte stream over
// them (sparse runs, the zero tail past the initialized size, LZNT1 compressed units).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "disk/byte_source.h"
#include "foundation/endian.h"
#include "ntfs/ntfs_constants.h"

namespace sorvani {

class CNtfsFile;
class CNtfsVolume;

// NTFS attribute type codes.
enum : std::uint32_t {
  kAttrStandardInformation = 0x10,
  kAttrAttributeList = 0x20,
  kAttrFileName = 0x30,
  kAttrObjectId = 0x40,
  kAttrVolumeName = 0x60,
  kAttrData = 0x80,
  kAttrIndexRoot = 0x90,
  kAttrIndexAllocation = 0xA0,
  kAttrBitmap = 0xB0,
  kAttrEfs = 0x100,
  kAttrEnd = 0xFFFFFFFF,
};

// Windows file-attribute bits as the reader reports them.
// (The directory bit kFileAttrDirectory is in ntfs_constants.h.)
enum : std::uint32_t {
  kFileAttrNtfsDirectory = 0x10000000,  // how NTFS marks folders in these fields
};

// Folds the NTFS folder bit into the Windows directory bit.
std::uint32_t NormalizeFileAttributes(std::uint32_t bits);

struct DataRun {
  std::int64_t lcnDelta = 0;  // relative to the previous run's start
  std::uint64_t length = 0;   // clusters
  // A run without offset bytes holds no clusters. A delta of 0 written out is a real run
  // (the first run of $Boot starts at cluster 0).
  bool sparse = false;
};

// Decodes a run list. Stops at a 0 header byte or where a run would cross the end of `list`.
// Returns false (the attribute is unusable) for a length or offset field wider than 8 bytes,
// or when the lengths add up to more than `maxClusters` or the start clusters overflow.
bool DecodeRunList(ByteSpan list, std::uint64_t maxClusters, std::vector<DataRun>& runs);

// The name the dumps use for an attribute type; "UNKNOWN_TYPE" for others.
const char* TypeName(std::uint32_t type);

class CNtfsFileAttr {
 public:
  CNtfsFileAttr() = default;
  // Runs Initialize; check IsValid afterwards.
  CNtfsFileAttr(CNtfsFile* owner, ByteSpan header, std::uint32_t attributeLength);
  virtual ~CNtfsFileAttr();
  CNtfsFileAttr(const CNtfsFileAttr&) = delete;
  CNtfsFileAttr& operator=(const CNtfsFileAttr&) = delete;

  // `header` spans exactly the attribute record (its length field's bytes).
  virtual bool Initialize(CNtfsFile* owner, ByteSpan header, std::uint32_t attributeLength);

  // Writes the description to the log; DumpText returns the same text.
  void Dump();
  std::string DumpText();

  bool IsValid() const { return m_valid; }
  std::uint32_t Type() const { return m_type; }
  std::uint16_t Id() const { return m_id; }
  const std::string& Name() const { return m_name; }
  bool IsNonResident() const { return m_nonResident; }
  std::uint64_t RealSize() const { return m_realSize; }
  std::uint64_t InitializedSize() const { return m_initializedSize; }
  std::uint16_t CompressionUnit() const { return m_compressionUnit; }
  bool IsCompressed() const { return m_nonResident && m_compressionUnit != 0; }
  // First virtual cluster this extent covers (non-zero for a later piece of an attribute
  // that an attribute list spreads over several records).
  std::uint64_t StartVcn() const { return m_startVcn; }
  const std::vector<DataRun>& Runs() const { return m_runs; }
  const std::vector<std::uint8_t>& ResidentValue() const { return m_value; }
  CNtfsFile* Owner() const { return m_owner; }
  // Clusters the run list covers.
  std::uint64_t RunClusters() const { return m_runClusters; }

  // Joins the runs of a later extent of the same attribute onto `first`; `later` is left
  // without runs. A gap between the extents becomes a sparse run.
  static void AppendRuns(CNtfsFileAttr& first, CNtfsFileAttr& later);

  // Stream access.
  bool Seek(std::uint64_t pos);
  bool Read(void* destination, std::uint32_t size, std::uint32_t& got, bool roundToSector = false);
  std::uint64_t Position() const { return m_position; }
  // Share (0-100) of the stream's clusters that $Bitmap marks in use.
  std::uint32_t GetOverwrittenPercent();
  // The same, false when the share cannot be known ($Bitmap unreadable): a share that was
  // not read is not "nothing overwritten".
  bool OverwrittenPercent(std::uint32_t& percent);

  // Bytes that cannot be read (a device error, clusters past the end of a cut-off source).
  // Strict, the default: a Read that meets any fails, as records, indexes and $Bitmap need.
  // Tolerant (recovery): they read as zeros, Read goes on, and Faults() lists them by their
  // offset in the stream, so the caller can say exactly which bytes are not the file's.
  // Strict, Faults() holds those of the last failed Read (how a caller tells a failed read
  // from a refused one).
  void SetTolerant(bool tolerant) { m_tolerant = tolerant; }
  const CReadFaults& Faults() const { return m_faults; }
  void ClearFaults() { m_faults.Clear(); }
  // Bytes the stream has data for: the real size, or less when the runs end before it (a
  // damaged record claiming more than its runs hold). Reads end there: the rest would be
  // invented.
  std::uint64_t DataFound() const;

 protected:
  // Subclasses add their content after the base header line.
  virtual void AppendDump(std::string& out);
  void AppendBaseDump(std::string& out);
  CNtfsVolume* Volume() const;

  bool m_valid = false;
  std::vector<std::uint8_t> m_value;

 private:
  struct Extent {
    std::uint64_t vcn;
    std::uint64_t length;
    std::int64_t lcn;  // absolute; meaningless when sparse
    bool sparse;
  };
  enum class UnitKind { Plain, Compressed };

  void RebuildExtents();
  const Extent* FindExtent(std::uint64_t vcn) const;
  bool ReadPlain(std::uint64_t pos, std::uint8_t* dst, std::uint32_t n, std::uint32_t& done);
  // Notes unreadable bytes of a read made at stream offset `pos`; false when the read fails.
  bool TakeFaults(const CReadFaults& faults, std::uint64_t pos);
  std::uint64_t RunsEndByte(std::uint64_t bpc) const;
  bool ReadCompressed(std::uint64_t pos, std::uint8_t* dst, std::uint32_t n, std::uint32_t& done);
  UnitKind ClassifyUnit(std::uint64_t unit, std::uint64_t& dataClusters) const;
  bool LoadUnit(std::uint64_t unit);
  std::uint32_t UnitClusters() const { return 1u << m_compressionUnit; }

  CNtfsFile* m_owner = nullptr;
  std::uint32_t m_type = 0;
  std::uint16_t m_id = 0;
  std::string m_name;
  bool m_nonResident = false;
  std::uint64_t m_realSize = 0;
  std::uint64_t m_initializedSize = 0;
  std::uint16_t m_compressionUnit = 0;
  std::uint64_t m_startVcn = 0;
  std::vector<DataRun> m_runs;
  std::vector<Extent> m_extents;
  std::uint64_t m_runClusters = 0;

  std::uint64_t m_position = 0;
  std::vector<std::uint8_t> m_unitBuffer;  // one decompressed compression unit
  std::uint64_t m_unitNumber = ~std::uint64_t{0};
  CReadFaults m_unitFaults;  // unreadable bytes of the buffered unit, offsets in the unit
  bool m_tolerant = false;
  CReadFaults m_faults;
};

}  // namespace sorvani
