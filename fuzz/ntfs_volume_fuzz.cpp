// A whole fuzzed volume: boot sector, system records, directory listings from the root,
// record loads with their parent chains, folder paths and path lookups.
#include <cstdint>
#include <set>
#include <vector>

#include "fuzz/ntfs_fuzz_common.h"
#include "index/ntfs_record_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sorvani;
  fuzz::MapBytes(data, size);
  CNtfsVolume volume;
  if (!volume.Initialize(fuzz::kFuzzDrive)) return 0;
  NtfsVolumeInfo info;
  volume.GetVolumeInfo(info);
  std::vector<std::uint32_t> folders = {kRootRecord};
  std::set<std::uint32_t> seen;
  std::vector<NtfsDirEntry> entries;
  for (std::size_t i = 0; i < folders.size() && i < 64; ++i) {
    if (!seen.insert(folders[i]).second || !volume.ListDirectory(folders[i], entries)) continue;
    for (const NtfsDirEntry& e : entries) {
      if (e.IsDirectory()) folders.push_back(e.record);
      volume.FindInDirectory(e.name, folders[i]);
    }
  }
  CNtfsFile file;
  CNtfsRecordReader reader(&volume);
  for (std::uint32_t record = 0; record < 64; ++record) {
    if (!file.LoadRecord(&volume, record, record % 2 == 0)) continue;
    fuzz::ExerciseFile(file);
    std::string name;
    std::uint64_t sz = 0, created = 0, modified = 0;
    std::uint32_t attributes = 0, parent = 0;
    if (file.GetNameInfo(name, sz, attributes, parent, created, modified)) {
      reader.RegisterParentFolders(parent);
      (void)reader.FolderPath(parent);
      volume.ResolvePath("F:\\" + name);
    }
  }
  return 0;
}
