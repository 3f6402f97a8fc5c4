#include "index/orphan_folder.h"

#include <gtest/gtest.h>

#include "foundation/res_strings.h"
#include "index/folder_model.h"

namespace sorvani {
namespace {

TEST(OrphanFolder, OneNameForListingAndRecovery) {
  struct Case {
    std::uint32_t record;
    const char* name;
  };
  for (const Case& c : {Case{0, "_OrphanFolder_0"}, Case{1234, "_OrphanFolder_1234"},
                        Case{4294967295u, "_OrphanFolder_4294967295"}}) {
    EXPECT_EQ(OrphanFolderName(c.record), c.name);
    EXPECT_EQ(CFolderModel::OrphanFolderName(c.record), c.name);
    // The resource a translated build would change is the one the name comes from.
    EXPECT_EQ(FormatResString(kIdsOrphanFolderName, static_cast<unsigned long>(c.record)), c.name);
  }
}

}  // namespace
}  // namespace sorvani
