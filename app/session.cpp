#include "app/session.h"

#include <algorithm>

#include "app/image_drives.h"
#include "app/indexing_job.h"
#include "app/search_job.h"
#include "app/volume_path.h"
#include "index/enum_thread.h"
#include "index/folder_model.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {

CSession::CSession()
    : m_ownTable(std::make_unique<CDriveTable>()),
      m_table(m_ownTable.get()),
      m_tables{m_ownLogical, m_ownDisks, m_ownDriveDisks} {
  m_catalogue.index = std::make_shared<CFileIndex>();
}

CSession::CSession(CDriveTable& table, DriveTables tables) : m_table(&table), m_tables(tables) {
  m_catalogue.index = std::make_shared<CFileIndex>();
}

CSession::~CSession() {
  // The jobs read the session's table and publish into it: they stop first.
  m_search.reset();
  m_indexing.reset();
}

std::vector<char> CSession::OpenImage(const std::string& path, std::string& error) {
  return RegisterImageDrives(*m_table, m_tables, path, error);
}

std::unique_ptr<CNtfsVolume> CSession::NewReader(char letter, const DriveSource& source,
                                                 std::uint8_t* why) {
  auto volume = std::make_unique<CNtfsVolume>();
  if (auto device = source.OpenSource()) volume->AttachDevice(std::move(device));
  if (volume->Device() && volume->Initialize(letter)) return volume;
  if (why) *why = InitializeFailure(*volume);
  return nullptr;
}

std::unique_ptr<CNtfsVolume> CSession::NewReader(char letter, std::uint8_t* why) const {
  auto source = m_table->Find(letter);
  if (!source) {
    if (why) *why = kEnumUnreadable;
    return nullptr;
  }
  return NewReader(letter, *source, why);
}

CNtfsVolume* CSession::Volume(char letter, std::uint8_t* why) {
  auto source = m_table->Find(letter);
  if (!source) {
    m_volumes.erase(letter);
    if (why) *why = kEnumUnreadable;
    return nullptr;
  }
  DriveSourceIdentity identity;
  IdentifySource(*source, identity);
  auto it = m_volumes.find(letter);
  if (it != m_volumes.end() && it->second.source == identity) return it->second.volume.get();
  // Another source behind the letter (or none made yet): the old reader goes with it.
  VolumeSlot& slot = m_volumes[letter];
  slot.source = identity;
  std::uint8_t failure = kEnumRunning;
  slot.volume = NewReader(letter, *source, &failure);
  if (!slot.volume) {
    m_volumes.erase(letter);  // tried again next time: the source may be readable later
    if (why) *why = failure;
    return nullptr;
  }
  return slot.volume.get();
}

PublishedCatalogue CSession::Catalogue() const {
  std::lock_guard hold(m_catalogueLock);
  return m_catalogue;
}

void CSession::Publish(PublishedCatalogue catalogue) {
  if (!catalogue.index) catalogue.index = std::make_shared<CFileIndex>();
  std::lock_guard hold(m_catalogueLock);
  m_catalogue = std::move(catalogue);
}

CIndexingJob* CSession::StartIndexing(char letter, bool forceRescan) {
  if (m_indexing && !m_indexing->Finished()) return nullptr;
  // A search reads the catalogue about to be replaced: it ends before the new run starts.
  if (m_search) m_search.reset();
  m_indexing.reset();
  m_indexing = std::make_unique<CIndexingJob>(*this, letter, forceRescan);
  if (!m_indexing->Start()) {
    m_indexing.reset();
    return nullptr;
  }
  return m_indexing.get();
}

CSearchJob* CSession::StartSearch(const SearchCriteria& criteria, ISearchJobSink* sink,
                                  const std::string& below) {
  if (m_indexing && !m_indexing->Finished()) return nullptr;
  if (m_search && !m_search->Finished()) return nullptr;
  PublishedCatalogue catalogue = Catalogue();
  if (catalogue.drive == 0) return nullptr;
  m_search.reset();
  m_search = std::make_unique<CSearchJob>(*this, catalogue, criteria, sink, below);
  if (!m_search->Start()) {
    m_search.reset();
    return nullptr;
  }
  return m_search.get();
}

bool CSession::HasFolder(char letter, const std::string& path) const {
  PublishedCatalogue catalogue = Catalogue();
  if (catalogue.drive != letter) return false;
  std::unique_ptr<CNtfsVolume> volume = NewReader(letter);
  if (!volume) return false;
  CNtfsRecordReader reader(volume.get(), catalogue.index.get());
  CNtfsIndexLister live(volume.get());
  CFolderModel model(letter, *catalogue.index, reader, live);
  FolderNode node;
  return ResolveFolderText(model, path, node);
}

}  // namespace sorvani
