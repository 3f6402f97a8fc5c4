// A fuzzed volume through the catalogue: the scan of unused records with their folder chains,
// the folder model walked from the root as a recursive deleted-only listing walks it, and a
// search over what was found.
#include <cstdint>
#include <mutex>
#include <set>
#include <vector>

#include "fuzz/ntfs_fuzz_common.h"
#include "index/enum_thread.h"
#include "index/file_index.h"
#include "index/folder_model.h"
#include "index/index_cache.h"
#include "index/ntfs_record_reader.h"
#include "search/search_thread.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvani;
  fuzz::MapBytes(data, size);
  SetCacheSavingAllowed(false);
  {
    std::lock_guard<std::mutex> lock(index_lock);
    index_progress = IndexProgress{};
    index_progress.forceRescan = 1;
    // The letter's volume object lives on between inputs; it must read this input's bytes.
    NtfsVolumeFor(fuzz::kFuzzDrive)->Close();
  }
  EnumThread(fuzz::kFuzzDrive);

  CNtfsVolume* volume = NtfsVolumeFor(fuzz::kFuzzDrive);
  CNtfsRecordReader reader(volume);
  CNtfsIndexLister live(volume);
  CFolderModel model(fuzz::kFuzzDrive, file_index, reader, live);
  model.SetDeletedOnly(true);
  std::vector<FolderNode> stack{model.Root()};
  std::set<std::pair<int, std::uint32_t>> entered;
  std::vector<FolderItem> items;
  for (int folders = 0; !stack.empty() && folders < 256; ++folders) {
    FolderNode folder = stack.back();
    stack.pop_back();
    model.List(folder, items);
    for (const FolderItem& item : items) {
      if (!item.IsFolder()) continue;
      FolderNode node = model.Enter(folder, item);
      if (node.record != 0 && entered.insert({static_cast<int>(node.kind), node.record}).second)
        stack.push_back(node);
    }
  }

  SearchCriteria criteria;
  criteria.nameOn = true;
  criteria.nameMode = kNameModeContains;
  criteria.name = "a";
  std::vector<FileListRow> results;
  RunSearch(file_index, reader, criteria, results, nullptr);
  for (std::size_t i = 0; i < results.size() && i < 16; ++i) {
    RevealTarget target;
    RevealInFolder(results[i], file_index, reader, target);
  }
  return 0;
}
