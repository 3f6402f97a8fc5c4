// `sorvani carve SOURCE [--types jpeg,bmp,png,gif] [--recover-to DEST] [--json]`: the
// surface scan of each drive of a source, listing each carved picture as it is found.
#pragma once

#include "cli/cli.h"

namespace sorvani::cli {

inline constexpr char kCarveUsage[] =
    "carve SOURCE [--types jpeg,bmp,png,gif] [--recover-to DEST] [--json]";

int RunCarve(Args& args);

}  // namespace sorvani::cli
