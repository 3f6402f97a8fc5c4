// A committed fixture indexed through a session, for suites that also use the resource numbers
// (whose names the indexing engine's header repeats, so both cannot meet in one file).
#pragma once

#include <string>

#include "app/session.h"

namespace sorvani::test {

// `fixture` (e.g. "ntfs-4k.img") as drive `letter` of `session`, indexed; false when the
// fixture is absent or the indexing did not scan it.
bool IndexFixtureAs(CSession& session, char letter, const std::string& fixture);

}  // namespace sorvani::test
