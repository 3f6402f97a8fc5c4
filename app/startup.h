// Start-up pieces both front ends call in their own order: the profile and the process log
// with its header.
#pragma once

#include "app/version.h"

namespace sorvani {

// Loads the profile (and saves it with the running version), then opens the log as the
// profile's logging settings say and writes its header. On the starting thread, before any
// worker runs.
void InitProcessLog();

}  // namespace sorvani
