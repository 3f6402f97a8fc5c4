// The indexing job: how each run ends, which drive the published catalogue describes, and
// that search and indexing do not run side by side.
#include "app/indexing_job.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/search_job.h"
#include "tests/app/app_test_util.h"

namespace sorvani {
namespace {

TEST(IndexingJob, EveryEndingIsReportedAndNoneLeavesAnotherDrivesCatalogue) {
  std::string ntfs = test::Fixture("ntfs-512.img");
  std::string other = test::Fixture("ntfs-4k.img");
  std::string fat = test::Fixture("fat16.img");
  if (ntfs.empty() || fat.empty() || other.empty()) GTEST_SKIP() << "fixtures absent";
  const std::string folder = test::ScratchFolder("IndexingJobEndings");
  SetCacheFolder(folder);
  SetCacheSavingAllowed(true);
  // An NTFS boot sector over nothing: the volume says NTFS but its MFT cannot be read.
  auto image = test::ReadWholeFile(ntfs);
  ASSERT_GE(image.size(), 512u);
  auto broken = std::make_shared<std::vector<std::uint8_t>>(image.begin(), image.begin() + 512);
  broken->resize(64 * 1024, 0);

  struct Case {
    const char* what;
    std::function<DriveSource()> source;
    bool cancel, forceRescan;
    std::uint8_t outcome;
  } cases[] = {
      {"scan", [&] { return test::FileSource(ntfs); }, false, true, kEnumScanned},
      {"from cache", [&] { return test::FileSource(ntfs); }, false, false, kEnumFromCache},
      {"cancelled load", [&] { return test::FileSource(ntfs); }, true, false, kEnumCancelled},
      {"cancelled scan", [&] { return test::FileSource(ntfs); }, true, true, kEnumCancelled},
      {"not NTFS", [&] { return test::FileSource(fat); }, false, true, kEnumNotNtfs},
      {"unreadable", [&] { return test::MemorySource(broken); }, false, true, kEnumUnreadable},
      {"no source", [&] { return test::FileSource(folder + "/missing.img"); }, false, true,
       kEnumUnreadable},
  };
  CSession session;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // What an earlier drive left: a complete catalogue of U.
    ASSERT_TRUE(session.Drives().Assign('U', test::FileSource(other)));
    ASSERT_EQ(test::IndexNow(session, 'U'), kEnumScanned);
    ASSERT_EQ(session.Catalogue().drive, 'U');

    ASSERT_TRUE(session.Drives().Assign('V', c.source()));
    CIndexingJob job(session, 'V', c.forceRescan);
    if (c.cancel) job.Cancel();
    ASSERT_TRUE(job.Start());
    job.Wait();
    IndexingSnapshot end = job.Snapshot();
    EXPECT_TRUE(end.finished);
    EXPECT_EQ(end.outcome, c.outcome);
    EXPECT_EQ(end.drive, 'V');
    PublishedCatalogue catalogue = session.Catalogue();
    EXPECT_EQ(catalogue.outcome, c.outcome);
    EXPECT_EQ(catalogue.attempted, 'V');
    const bool complete = c.outcome == kEnumScanned || c.outcome == kEnumFromCache;
    EXPECT_EQ(catalogue.drive, complete ? 'V' : 0);
    ASSERT_NE(catalogue.index, nullptr);
    // Nothing of U's catalogue is shown for V, nor kept as U's.
    EXPECT_EQ(catalogue.index->FindEntry(test::kOldProject), nullptr);
    if (complete) {
      EXPECT_GT(catalogue.index->EntryCount(), 0u);
    }
  }
  CleanUpCache(0);
  SetCacheSavingAllowed(false);
}

TEST(IndexingJob, SnapshotsAreNumbersAndTheEndIsSeen) {
  std::string ntfs = test::Fixture("ntfs-4k.img");
  if (ntfs.empty()) GTEST_SKIP() << "fixtures absent";
  SetCacheSavingAllowed(false);
  CSession session;
  ASSERT_TRUE(session.Drives().Assign('C', test::FileSource(ntfs)));
  CIndexingJob* job = session.StartIndexing('C', true);
  ASSERT_NE(job, nullptr);
  int polls = 0;
  for (IndexingSnapshot s = job->Snapshot(); !s.finished; s = job->Snapshot(), ++polls) {
    EXPECT_GE(s.percent, 0);
    EXPECT_LE(s.percent, 100);
    EXPECT_GE(s.elapsedSeconds, 0.0);
    if (s.phase == kPhaseScanning) {
      EXPECT_EQ(s.titleString, kIdsIndexTitleScanning);
    }
    if (s.estimateKnown) {
      EXPECT_LE(s.estimateSeconds, 3600u);
    }
  }
  job->Wait();
  EXPECT_EQ(job->Snapshot().outcome, kEnumScanned);
  EXPECT_EQ(session.Catalogue().drive, 'C');
}

TEST(IndexingJob, SearchAndIndexingRunOneAtATime) {
  std::string ntfs = test::Fixture("ntfs-4k.img");
  if (ntfs.empty()) GTEST_SKIP() << "fixtures absent";
  SetCacheSavingAllowed(false);
  CSession session;
  ASSERT_TRUE(session.Drives().Assign('C', test::FileSource(ntfs)));
  SearchCriteria all;
  // No catalogue describes a drive yet: nothing to search.
  EXPECT_EQ(session.StartSearch(all, nullptr), nullptr);
  ASSERT_EQ(test::IndexNow(session, 'C'), kEnumScanned);
  CSearchJob* search = session.StartSearch(all, nullptr);
  ASSERT_NE(search, nullptr);
  // A new indexing run stops and drops the search of the catalogue it replaces.
  CIndexingJob* indexing = session.StartIndexing('C', true);
  ASSERT_NE(indexing, nullptr);
  EXPECT_EQ(session.Search(), nullptr);
  // While it runs, no search starts.
  if (!indexing->Finished()) {
    CSearchJob* refused = session.StartSearch(all, nullptr);
    if (!indexing->Finished()) {  // still running when asked
      EXPECT_EQ(refused, nullptr);
    }
  }
  indexing->Wait();
  if (session.Search()) session.Search()->Wait();
  EXPECT_NE(session.StartSearch(all, nullptr), nullptr);
}

}  // namespace
}  // namespace sorvani
