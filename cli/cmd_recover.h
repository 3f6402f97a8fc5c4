// `sorvani recover`: recovers deleted files and folders of an NTFS source to a folder.
#pragma once

#include "cli/cli.h"

namespace sorvani::cli {

int RunRecover(Args& args);

}  // namespace sorvani::cli
