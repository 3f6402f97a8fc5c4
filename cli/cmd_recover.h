// `sorvani recover`: recovers deleted files and folders of an NTFS source to a folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/recovery_plan.h"
#include "cli/cli.h"
#include "recovery/recovery_progress.h"

namespace sorvani::cli {

int RunRecover(Args& args);

// The lines that end a run on stderr: what was recovered, what was written only in part (read
// errors, cut short, damaged), what failed and was tried, and whether the run was stopped.
std::string FormatRecoverSummary(const RecoveryProgress& progress);

// The checks of `destination` that need no selection (a usable path, not on the source of
// drive `letter`), made before a scan; false with the reason in `error`.
bool CheckCarveDestination(char letter, const std::string& destination, std::string& error);

// Writes the ranges of drive `letter` into `destination` through the recovery engine, with the
// same destination checks, prompts and summary (on stderr) as `recover`. Returns an exit code.
int RecoverRawRangesTo(char letter, const std::vector<RawRangeItem>& ranges,
                       const std::string& destination);

}  // namespace sorvani::cli
