// Opening a disk image: its drives go into the drive table AND into the drive tables a window
// lists (logical disks, disks, which disk each drive is on), so an opened image appears in
// the drive tree, the search's drive list and the wizard like any disk.
#pragma once

#include <string>
#include <vector>

#include "app/session.h"

namespace sorvani {

// Registers `path` in `table` (CDriveTable::RegisterImage) and adds, per letter, a logical
// disk (type fixed, description "Disk image", file system and label from the probe, size of
// the drive's byte range), and one disk per image file, captioned with the file's name, whose
// drives are its letters. A path registered again replaces its earlier disk. The letters;
// none with `error` set. Owner's thread (the drive tables are the windows').
std::vector<char> RegisterImageDrives(CDriveTable& table, DriveTables& tables,
                                      const std::string& path, std::string& error);

}  // namespace sorvani
