// `sorvani drives [--json]`: the drives of this machine, one per line.
#pragma once

#include "cli/cli.h"

namespace sorvani::cli {

int RunDrives(Args& args);

}  // namespace sorvani::cli
