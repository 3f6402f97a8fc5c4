// `sorvani list` and `sorvani search`: the deleted-file catalogue of a drive on the command line.
#pragma once

#include <string>

#include "cli/cli.h"

namespace sorvani::cli {

int RunList(Args& args);
int RunSearch(Args& args);

}  // namespace sorvani::cli
