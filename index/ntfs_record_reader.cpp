#include "index/ntfs_record_reader.h"

#include "index/file_index.h"
#include "ntfs/ntfs_attr_types.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {

bool CNtfsRecordReader::LoadNames(std::uint32_t record, RecordNames& out) {
  out = RecordNames{};
  if (!m_file.LoadRecord(m_volume, record, true)) {
    m_lastFailure = m_file.LoadResult();
    return false;
  }
  std::uint64_t size = 0, created = 0, modified = 0;
  if (!m_file.GetNameInfo(out.name, size, out.attributes, out.parent, created, modified)) {
    m_lastFailure = RecordLoad::kCorrupt;
    return false;
  }
  out.inUse = m_file.InUse();
  return true;
}

bool CNtfsRecordReader::LoadDetails(std::uint32_t record, bool overwritten, RecordDetails& out) {
  out = RecordDetails{};
  if (!m_file.LoadRecord(m_volume, record, false)) {
    m_lastFailure = m_file.LoadResult();
    return false;
  }
  std::uint64_t nameSize = 0;
  if (!m_file.GetNameInfo(out.name, nameSize, out.attributes, out.parent, out.created,
                          out.modified)) {
    m_lastFailure = RecordLoad::kCorrupt;
    return false;
  }
  out.inUse = m_file.InUse();
  out.size = m_file.GetDataSize();
  out.hasData = m_file.FindAttribute(kAttrData) != nullptr;
  // A record that lost its names still has the times of $STANDARD_INFORMATION.
  if (out.name.empty()) {
    if (auto* si = static_cast<CAttr_$STANDARD_INFORMATION*>(
            m_file.FindAttribute(kAttrStandardInformation))) {
      out.created = si->Created();
      out.modified = si->Modified();
    }
  }
  if (overwritten) out.overwritten = LoadedOverwritten();
  return true;
}

std::int32_t CNtfsRecordReader::LoadedOverwritten() {
  if (!m_file.IsValid()) return 0;
  CNtfsFileAttr* data = m_file.FindAttribute(kAttrData);
  if (!data) return 0;
  // When $Bitmap cannot be read the share is unknown (-1), not "nothing overwritten".
  std::uint32_t percent = 0;
  return data->OverwrittenPercent(percent) ? static_cast<std::int32_t>(percent) : -1;
}

CFolderNames& CNtfsRecordReader::Names() {
  return m_catalogue ? m_catalogue->FolderNames() : m_ownNames;
}

void CNtfsRecordReader::ClearDirNames() { Names().Clear(); }

void CNtfsRecordReader::RegisterParentFolders(std::uint32_t parent) {
  if (m_volume) Names().RegisterParentFolders(*this, m_catalogue, parent);
}

std::string CNtfsRecordReader::FolderPath(std::uint32_t record) {
  return m_volume ? Names().BuildFolderPath(m_volume->DriveLetter(), record) : std::string();
}

bool CNtfsRecordReader::SameNameNoCase(std::string_view a, std::string_view b) {
  return m_volume ? m_volume->CompareNames(a, b) == 0 : IRecordReader::SameNameNoCase(a, b);
}

}  // namespace sorvani
