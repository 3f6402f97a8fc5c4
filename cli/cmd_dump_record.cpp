// `sorvani dump-record SOURCE N`: a developer's view of one MFT record, for support and tests.
#include <cstdio>
#include <cstdlib>

#include "cli/cli.h"
#include "disk/drive_table.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani::cli {

int RunDumpRecord(Args& args) {
  auto words = args.Positionals();
  if (words.size() != 2 || !args.Leftover().empty()) {
    PrintError("usage: sorvani dump-record SOURCE RECORD");
    return kExitBadUsage;
  }
  char* end = nullptr;
  unsigned long long number = std::strtoull(words[1].c_str(), &end, 10);
  if (words[1].empty() || *end || number > UINT32_MAX) {
    PrintError("dump-record: '" + words[1] + "' is not a record number");
    return kExitBadUsage;
  }
  std::vector<char> letters;
  std::string error;
  if (!ResolveSource(words[0], letters, error)) {
    PrintError(error);
    return kExitBadUsage;
  }
  // A partitioned image: the first NTFS partition.
  for (char letter : letters) {
    CNtfsVolume volume;
    if (!volume.Initialize(letter)) continue;
    CNtfsFile file;
    if (!file.LoadRecord(&volume, static_cast<std::uint32_t>(number), false)) {
      // Unreadable bytes say nothing about the record; bytes that are not a record do.
      const char* why =
          file.LoadFault() == RecordFault::kDamaged   ? " is damaged (not a usable FILE record)"
          : file.LoadFault() == RecordFault::kMissing ? " does not exist in the MFT"
                                                      : " cannot be read from the source";
      PrintError(words[0] + ": MFT record " + words[1] + why);
      return kExitItemsFailed;
    }
    std::fputs(file.DumpText().c_str(), stdout);
    return kExitOk;
  }
  PrintError(words[0] + ": no NTFS volume found");
  return kExitBadUsage;
}

}  // namespace sorvani::cli
