// `sorvani list` and `sorvani search`: the deleted-file catalogue of a drive on the command line.
#pragma once

#include <string>

#include "cli/cli.h"

namespace sorvani::cli {

int RunList(Args& args);
int RunSearch(Args& args);

// Whether `path` (any form `list --path` takes) names a folder of drive `letter`, which the
// session's published catalogue must describe: existing, deleted or orphan.
bool DriveHasFolder(char letter, const std::string& path);

}  // namespace sorvani::cli
