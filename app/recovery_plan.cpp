#include "app/recovery_plan.h"

#include <cctype>

#include "app/volume_path.h"
#include "ntfs/ntfs_attr.h"
#include "ntfs/ntfs_volume.h"
#include "recovery/recover_engine.h"

namespace sorvani {
namespace {

void AddItem(RecoveryPlan& plan, RecoverItem item) {
  if (__builtin_add_overflow(plan.totalBytes, item.size, &plan.totalBytes))
    plan.totalBytes = UINT64_MAX;
  plan.items.push_back(std::move(item));
}

}  // namespace

RecoveryPlan PlanRecovery(CNtfsVolume& volume, IRecoverCatalogue& catalogue,
                          const RecoverySelection& selection, const std::atomic<bool>* cancel) {
  RecoveryPlan plan;
  auto stopped = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
  if (selection.kind == RecoverySelection::Kind::kRecords) {
    for (std::uint32_t r : selection.records) {
      if (stopped()) break;
      RecoverItem item;
      item.id = r;
      CatalogueEntry entry;
      bool known = catalogue.FindEntry(r, entry);
      bool folder =
          catalogue.IsOrphanFolder(r) || (known && (entry.attributes & kFileAttrDirectory));
      if (known) {
        item.name = entry.name;
      } else if (!folder) {
        plan.unknownRecords.push_back(r);
      }
      item.attributes = folder ? std::uint32_t{kFileAttrDirectory} : 0u;
      item.size = RecoverableItemSize(volume, &catalogue, r, folder, stopped);
      AddItem(plan, std::move(item));
    }
  } else {
    std::string folder = selection.kind == RecoverySelection::Kind::kFolder ? selection.folder : "";
    for (const PlacedItem& placed : PlaceDeletedItems(catalogue, folder)) {
      if (stopped()) break;
      RecoverItem item;
      item.id = placed.record;
      item.attributes = placed.attributes & kFileAttrDirectory;
      item.name = placed.name;
      item.subfolder = placed.subfolder;
      item.size =
          RecoverableItemSize(volume, &catalogue, placed.record, item.attributes != 0, stopped);
      AddItem(plan, std::move(item));
    }
  }
  plan.cancelled = stopped();
  return plan;
}

std::string FolderFilterOf(const std::string& text, char& letter) {
  // One parser for every command's --path, so recover takes the same forms as list and search.
  VolumePath path;
  std::string error;
  letter = 0;
  if (!ParseVolumePath(text, path, error)) return {};
  letter = path.letter;
  std::string filter;
  for (const std::string& part : path.components) {
    if (!filter.empty()) filter += '/';
    filter += part;
  }
  return filter;
}

RecoveryPlan PlanRawRanges(const std::vector<RawRangeItem>& ranges) {
  RecoveryPlan plan;
  for (const RawRangeItem& range : ranges) {
    RecoverItem item;
    item.id = range.startUnit;
    item.offsetInUnit = range.offsetInUnit;
    item.name = range.name;
    item.size = range.size;
    item.cutShort = range.cutShort;
    AddItem(plan, std::move(item));
  }
  return plan;
}

}  // namespace sorvani
