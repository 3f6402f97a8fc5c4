#include "tests/ui/ui_fixtures.h"

#include <vector>

#include "app/indexing_job.h"
#include "app/session.h"
#include "index/index_cache.h"
#include "tests/util/fixtures.h"

namespace sorvani::test {

char OpenIndexedFixture(CSession& session, const std::string& name) {
  const std::string image = Fixture(name);
  if (image.empty()) return 0;
  std::string error;
  std::vector<char> letters = session.OpenImage(image, error);
  if (letters.empty()) return 0;
  SetCacheSavingAllowed(false);
  CIndexingJob* indexing = session.StartIndexing(letters[0], true);
  if (!indexing) return 0;
  indexing->Wait();
  return indexing->Snapshot().outcome == kEnumScanned ? letters[0] : 0;
}

}  // namespace sorvani::test
