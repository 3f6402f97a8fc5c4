// `sorvani info SOURCE [--json]`: file system and geometry of each drive of a source.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/cli.h"
#include "cli/json.h"
#include "disk/drive_table.h"
#include "disk/fs_probe.h"
#include "disk/volume.h"
#include "fat/fat_volume.h"
#include "foundation/display_format.h"
#include "ntfs/ntfs_volume.h"
#include "volumes/open_volume.h"

namespace sorvani::cli {
namespace {

struct Row {
  const char* label;
  std::string value;
};

void PrintHuman(char letter, const DriveSource& src, const std::vector<Row>& rows) {
  std::printf("Drive %c:  %s", letter, src.path.c_str());
  if (src.partitionNumber)
    std::printf("  (%s partition %d, offset %llu)", src.partitionScheme.c_str(),
                src.partitionNumber, static_cast<unsigned long long>(src.offset));
  std::printf("\n");
  for (const Row& row : rows) std::printf("  %-20s %s\n", row.label, row.value.c_str());
}

}  // namespace

int RunInfo(Args& args) {
  bool json = args.Flag("--json");
  if (std::string extra = args.Leftover(); !extra.empty()) {
    PrintError("info: unknown option " + extra);
    return kExitBadUsage;
  }
  auto words = args.Positionals();
  if (words.size() != 1) {
    PrintError("usage: sorvani info SOURCE [--json]");
    return kExitBadUsage;
  }
  std::vector<char> letters;
  std::string error;
  if (!ResolveSource(words[0], letters, error)) {
    PrintError(error);
    return kExitBadUsage;
  }

  int failures = 0;
  for (char letter : letters) {
    DriveSource src = *CDriveTable::Instance().Find(letter);
    std::unique_ptr<CVolume> volume;
    bool opened = OpenVolume(letter, volume);
    JsonObject obj;
    obj.Add("letter", std::string(1, letter) + ":")
        .Add("source", src.path)
        .Add("offset", src.offset);
    if (src.partitionNumber) {
      obj.Add("partition_scheme", src.partitionScheme).Add("partition", src.partitionNumber);
    }
    std::vector<Row> rows;
    if (!opened) {
      // A partition of a type we do not read is listed, not counted as a failure; a source
      // whose boot sector claims a known file system but cannot be opened is.
      auto probe = src.OpenSource();
      if (!probe) {
        ++failures;
        PrintError(src.path + " (drive " + std::string(1, letter) +
                   ":): cannot open for reading: " + std::strerror(errno));
        continue;
      }
      std::vector<std::uint8_t> boot(512);
      const char* claimed = nullptr;
      if (probe && probe->ReadAt(0, boot.data(), boot.size()) == 512)
        claimed = ProbeFileSystem(boot);
      if (claimed) {
        ++failures;
        PrintError(src.path + " (drive " + std::string(1, letter) + ":): the " + claimed +
                   " boot sector is damaged or its geometry is invalid");
        continue;
      }
      obj.AddNull("fs");
      rows.push_back({"File system:", "unknown"});
      if (json)
        std::printf("%s\n", obj.Text().c_str());
      else
        PrintHuman(letter, src, rows);
      continue;
    }

    obj.Add("fs", FsTypeName(volume->GetFsType()))
        .Add("bytes_per_sector", volume->BytesPerSector())
        .Add("bytes_per_cluster", volume->BytesPerCluster());
    rows.push_back({"File system:", FsTypeName(volume->GetFsType())});
    rows.push_back({"Bytes per sector:", std::to_string(volume->BytesPerSector())});
    rows.push_back({"Bytes per cluster:", std::to_string(volume->BytesPerCluster())});
    if (auto* fat = dynamic_cast<CFatVolume*>(volume.get())) {
      obj.Add("reserved_sectors", unsigned{fat->ReservedSectors()})
          .Add("fats", fat->NumberOfFats())
          .Add("sectors_per_fat", fat->SectorsPerFat())
          .Add("active_fat", fat->ActiveFat())
          .Add("first_data_sector", fat->FirstDataSector())
          .Add("total_sectors", fat->TotalSectors())
          .Add("data_clusters", fat->DataClusters())
          .Add("label", fat->Label());
      rows.push_back({"Reserved sectors:", std::to_string(fat->ReservedSectors())});
      rows.push_back({"FATs:", std::to_string(fat->NumberOfFats())});
      rows.push_back({"Sectors per FAT:", std::to_string(fat->SectorsPerFat())});
      rows.push_back({"Active FAT:", std::to_string(fat->ActiveFat())});
      rows.push_back({"First data sector:", std::to_string(fat->FirstDataSector())});
      rows.push_back({"Total sectors:", std::to_string(fat->TotalSectors())});
      rows.push_back({"Data clusters:", std::to_string(fat->DataClusters())});
      rows.push_back({"Label:", EscapeControlCharacters(fat->Label())});
    } else if (auto* ntfs = dynamic_cast<CNtfsVolume*>(volume.get())) {
      NtfsVolumeInfo info;
      bool haveCounts = ntfs->GetVolumeInfo(info);
      obj.Add("mft_start_cluster", ntfs->MftStartCluster())
          .Add("mft_record_size", ntfs->MftRecordSize())
          .Add("label", ntfs->Label())
          .Add("clusters", ntfs->ClusterCount());
      if (haveCounts)
        obj.Add("free_clusters", info.freeClusters);
      else
        obj.AddNull("free_clusters");
      rows.push_back({"MFT start cluster:", std::to_string(ntfs->MftStartCluster())});
      rows.push_back({"MFT record size:", std::to_string(ntfs->MftRecordSize())});
      rows.push_back({"Label:", EscapeControlCharacters(ntfs->Label())});
      rows.push_back({"Clusters:", std::to_string(ntfs->ClusterCount())});
      rows.push_back(
          {"Free clusters:", haveCounts ? std::to_string(info.freeClusters) : "unknown"});
    }
    // A boot sector claiming more than the source holds: the volume was cut off (an image
    // taken short, a partition larger than its disk). What is there can still be read.
    const std::uint64_t claimed = volume->ClaimedSize();
    const std::uint64_t held = volume->DeviceSize();
    const std::uint64_t missing = volume->MissingBytes();
    obj.Add("claimed_bytes", claimed).Add("source_bytes", held).Add("missing_bytes", missing);
    if (missing != 0) {
      rows.push_back({"Cut off:", "yes: the boot sector claims " + std::to_string(claimed) +
                                      " bytes, the source holds " + std::to_string(held) + " (" +
                                      std::to_string(missing) + " bytes missing)"});
      WarnIfCutOff(letter, *volume);
    }
    if (json)
      std::printf("%s\n", obj.Text().c_str());
    else
      PrintHuman(letter, src, rows);
  }
  std::fflush(stdout);
  if (failures == static_cast<int>(letters.size())) return kExitBadUsage;
  return failures ? kExitItemsFailed : kExitOk;
}

}  // namespace sorvani::cli
