#include "index/orphan_folder.h"

#include "foundation/res_strings.h"

namespace sorvani {

std::string OrphanFolderName(std::uint32_t record) {
  return FormatResString(kIdsOrphanFolderName, static_cast<unsigned long>(record));
}

}  // namespace sorvani
