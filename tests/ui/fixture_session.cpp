#include "tests/ui/fixture_session.h"

#include "tests/app/app_test_util.h"

namespace sorvani::test {

bool IndexFixtureAs(CSession& session, char letter, const std::string& fixture) {
  std::string image = Fixture(fixture);
  if (image.empty()) return false;
  SetCacheSavingAllowed(false);
  return session.Drives().Assign(letter, FileSource(image)) &&
         IndexNow(session, letter) == kEnumScanned;
}

}  // namespace sorvani::test
