#include <gtest/gtest.h>

#include "index/folder_model.h"

namespace sorvani {
namespace {

TEST(NtfsIndexLister, WithoutAVolumeListsNothingAndDoesNotCrash) {
  CNtfsIndexLister lister(nullptr);
  std::vector<LiveItem> items(1);
  EXPECT_FALSE(lister.List("D:\\", 0, items));
  EXPECT_FALSE(lister.ListFolders("D:\\", 5, items));
  EXPECT_EQ(lister.RecordOf("D:\\a\\"), 0u);
}

}  // namespace
}  // namespace sorvani
