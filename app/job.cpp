// The job contract is header-only; this unit anchors the library until the services join it.
#include "app/job.h"
