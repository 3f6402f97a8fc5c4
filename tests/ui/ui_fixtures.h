// Committed fixture images opened and indexed through a session, for the desktop program's
// suites (kept apart from the resource numbers, whose header the indexing headers clash with).
#pragma once

#include <string>

namespace sorvani {
class CSession;
}

namespace sorvani::test {

// Opens fixture `name` in `session` and indexes its first drive (no cache file written); the
// drive's letter, or 0 when the fixture is absent or the run did not complete.
char OpenIndexedFixture(CSession& session, const std::string& name);

}  // namespace sorvani::test
