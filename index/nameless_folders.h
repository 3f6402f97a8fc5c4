// Deleted folders whose record lost its name (some drivers remove $FILE_NAME on unlink) leave
// their deleted children under an orphan folder. The folder they lived in often still holds
// the lost name: a stale entry of its directory index, live or in the slack of a block. This
// names such folders again from the indexes of the catalogue's deleted folders.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sorvani {

class CFileIndex;
class CNtfsVolume;

// Files every orphan folder of `index` whose record is a free folder without a name, and that
// a deleted folder of the catalogue still names in its index, as a deleted folder entry of
// that folder. Record loads and index reads happen under index_lock. The folders named.
std::size_t NameNamelessFolders(CNtfsVolume& volume, CFileIndex& index);

}  // namespace sorvani
