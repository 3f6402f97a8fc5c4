// `sorvani list` and `sorvani search`: the deleted-file catalogue of a drive on the command line.
#pragma once

#include <string>

#include "cli/cli.h"

namespace sorvani::cli {

int RunList(Args& args);
int RunSearch(Args& args);

// Whether `path` ("X:\\a\\b\\", or "a/b" below the root) names a folder of the indexed drive
// `letter`: existing, deleted or orphan, as `list --path` finds it.
bool DriveHasFolder(char letter, const std::string& path);

}  // namespace sorvani::cli
