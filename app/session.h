// The session a front end works in: the drive table, one NTFS reader per drive source, the
// catalogue of the indexed drive (built privately by the indexing job and published whole),
// and the coordination that keeps indexing and search one at a time. The command line makes
// one; tests make several that do not see each other.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disk/drive_enum.h"
#include "disk/drive_table.h"
#include "index/file_index.h"

namespace sorvani {

class CNtfsVolume;
class CIndexingJob;
class CSearchJob;
class ISearchJobSink;
struct SearchCriteria;

// The catalogue as published: complete and never changed after publishing, so any thread may
// read it through its own copy of the pointer.
struct PublishedCatalogue {
  std::shared_ptr<const CFileIndex> index;  // never null; empty until a run publishes one
  char drive = 0;  // the drive it describes in full; 0 for none (no run yet, or a run that failed)
  char attempted = 0;                   // the drive of the run that published it
  std::uint8_t outcome = kEnumRunning;  // how that run ended (kEnum...)
  // What the drive stood for when it was indexed (the letter may be remapped since).
  std::shared_ptr<const DriveSource> source;
};

// The drive tables a window lists (the tree, the search's drive list, the wizard).
struct DriveTables {
  LogicalDiskTable& logicalDisks;
  DiskTable& disks;
  DriveDiskTable& driveDisks;
};

class CSession {
 public:
  // A session with a drive table and drive tables of its own.
  CSession();
  // A session over the process-wide drive table and drive tables (the command line).
  CSession(CDriveTable& table, DriveTables tables);
  ~CSession();
  CSession(const CSession&) = delete;
  CSession& operator=(const CSession&) = delete;

  // Owner's thread (the table itself locks inside, so workers may Find in it).
  CDriveTable& Drives() { return *m_table; }
  DriveTables& Tables() { return m_tables; }

  // Registers an image file or device: its drives in the drive table and in the drive tables,
  // so every list of drives shows them. The letters, none with `error` set on failure.
  // Owner's thread.
  std::vector<char> OpenImage(const std::string& path, std::string& error);

  // The session's NTFS reader of `letter`, made from the letter's source on first use and made
  // again when the letter stands for another source since; nullptr when the letter has no
  // source or holds no readable NTFS volume (`why` then says kEnumNotNtfs or kEnumUnreadable).
  // Owner's thread only: workers read through readers of their own (NewReader).
  CNtfsVolume* Volume(char letter, std::uint8_t* why = nullptr);
  // A fresh, initialised reader of the letter's current source for one worker; nullptr as for
  // Volume. Any thread.
  std::unique_ptr<CNtfsVolume> NewReader(char letter, std::uint8_t* why = nullptr) const;
  // The same from a given source, read as drive `letter`.
  static std::unique_ptr<CNtfsVolume> NewReader(char letter, const DriveSource& source,
                                                std::uint8_t* why = nullptr);

  // Whether `path` (any form ParseVolumePath takes) names a folder of drive `letter`, existing,
  // deleted or orphan; the published catalogue must describe the drive. Owner's thread.
  bool HasFolder(char letter, const std::string& path) const;

  // The published catalogue; any thread (a short lock while the pointer is copied).
  PublishedCatalogue Catalogue() const;
  // Replaces the published catalogue whole; called by the indexing job on its thread.
  void Publish(PublishedCatalogue catalogue);

  // Indexing and search, one at a time. StartIndexing stops a running search first and
  // refuses (nullptr) while another indexing runs; StartSearch refuses while an indexing
  // runs or when no catalogue describes a drive. The job stays owned by the session until the
  // next start of its kind. Owner's thread.
  CIndexingJob* StartIndexing(char letter, bool forceRescan);
  CIndexingJob* Indexing() { return m_indexing.get(); }
  // `below`: only hits below that folder (any path form); empty for the whole drive.
  CSearchJob* StartSearch(const SearchCriteria& criteria, ISearchJobSink* sink,
                          const std::string& below = {});
  CSearchJob* Search() { return m_search.get(); }

 private:
  struct VolumeSlot {
    std::unique_ptr<CNtfsVolume> volume;
    DriveSourceIdentity source;
  };
  std::unique_ptr<CDriveTable> m_ownTable;
  LogicalDiskTable m_ownLogical;
  DiskTable m_ownDisks;
  DriveDiskTable m_ownDriveDisks;
  CDriveTable* m_table;
  DriveTables m_tables;
  std::map<char, VolumeSlot> m_volumes;

  mutable std::mutex m_catalogueLock;
  PublishedCatalogue m_catalogue;

  std::unique_ptr<CIndexingJob> m_indexing;
  std::unique_ptr<CSearchJob> m_search;
};

}  // namespace sorvani
