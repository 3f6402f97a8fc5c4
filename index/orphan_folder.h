// The name a folder whose chain to the root is broken is listed and recovered under.
#pragma once

#include <cstdint>
#include <string>

namespace sorvani {

// "_OrphanFolder_1234" for record 1234.
std::string OrphanFolderName(std::uint32_t record);

}  // namespace sorvani
