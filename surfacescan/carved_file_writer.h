// Writes carved pictures out of the volume as plain byte ranges. A stand-in for the recovery
// engine's raw-range path, with the same reading (ReadRaw from the start unit and offset)
// and naming rules: files are created new, a taken name gets " (k)" before its extension, and
// a name can never leave the destination folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "disk/volume.h"
#include "surfacescan/surface_scan.h"

namespace sorvani {

struct CarvedWriteResult {
  std::string path;  // where the file went ("" when it could not be created)
  std::uint64_t written = 0;
  bool complete = false;  // every byte of the range was read and written
  std::string error;      // why not, for the front end
};

// The file name a carved name becomes in a destination folder: path separators, control
// characters, "* | ? < >" and the names "." and ".." are replaced.
std::string SafeCarvedName(const std::string& name);

// Writes each file of `files` into `destinationFolder` (created when missing). Stops before
// the next file when `cancel` is set. `results` gets one entry per file attempted. Returns the
// number of files written completely.
std::size_t WriteCarvedFiles(CVolume& volume, const std::vector<CarvedFile>& files,
                             const std::string& destinationFolder, const std::atomic<bool>* cancel,
                             std::vector<CarvedWriteResult>& results);

}  // namespace sorvani
