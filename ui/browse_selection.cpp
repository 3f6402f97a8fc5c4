#include "ui/browse_selection.h"

#include <set>

#include "ntfs/ntfs_volume.h"
#include "recovery/recover_catalogue.h"
#include "recovery/recovery_types.h"

namespace sorvani::ui {

RecoverySelection ListSelection(const std::vector<BrowseRow>& rows, std::size_t* existing) {
  RecoverySelection out;
  out.kind = RecoverySelection::Kind::kRecords;
  std::set<std::uint32_t> seen;
  std::size_t left = 0;
  for (const BrowseRow& row : rows) {
    if (!row.deleted || row.record == 0) {
      ++left;
      continue;
    }
    if (seen.insert(row.record).second) out.records.push_back(row.record);
  }
  if (existing) *existing = left;
  return out;
}

RecoverySelection TreeFolderSelection(const FolderNode& folder) {
  RecoverySelection out;
  if (folder.kind != FolderKind::Existing && folder.record != 0) {
    out.kind = RecoverySelection::Kind::kRecords;
    out.records = {folder.record};
    return out;
  }
  char letter = 0;
  out.folder = FolderFilterOf(folder.path, letter);
  out.kind =
      out.folder.empty() ? RecoverySelection::Kind::kAllDeleted : RecoverySelection::Kind::kFolder;
  return out;
}

std::unique_ptr<CBrowseRecovery> CBrowseRecovery::Open(CSession& session, char letter,
                                                       std::string& error) {
  PublishedCatalogue catalogue = session.Catalogue();
  if (catalogue.drive != letter || !catalogue.index) {
    error = std::string("drive ") + letter + ": is not indexed";
    return nullptr;
  }
  std::unique_ptr<CNtfsVolume> volume = session.NewReader(letter);
  if (!volume) {
    error = std::string("drive ") + letter + ": holds no readable NTFS volume";
    return nullptr;
  }
  std::unique_ptr<CBrowseRecovery> out(new CBrowseRecovery);
  out->m_letter = letter;
  out->m_index = std::move(catalogue.index);
  out->m_volume = std::move(volume);
  out->m_catalogue = std::make_unique<CFileIndexCatalogue>(*out->m_index, out->m_volume.get());
  return out;
}

CBrowseRecovery::~CBrowseRecovery() = default;

RecoveryPlan CBrowseRecovery::Plan(const RecoverySelection& selection,
                                   const std::atomic<bool>* cancel) {
  return PlanRecovery(*m_volume, *m_catalogue, selection, cancel);
}

RecoveryRequest CBrowseRecovery::Request(RecoveryPlan plan, const std::string& destination) const {
  RecoveryRequest request;
  request.volume = m_volume.get();
  request.catalogue = m_catalogue.get();
  request.destination = destination;
  request.flags = RF_ALL_STREAMS | RF_FOLDER_ATTRIBUTES;
  request.items = std::move(plan.items);
  return request;
}

}  // namespace sorvani::ui
