// The search job and reveal: hits with the paths of their folders, including folders that were
// named again after losing their name, and the way to a hit told by record, so an existing and
// a deleted folder of one name are never confused.
#include "app/search_job.h"

#include <gtest/gtest.h>

#include "tests/app/app_test_util.h"

namespace sorvani {
namespace {

class CHits : public ISearchJobSink {
 public:
  void OnHit(const CatalogueRow& hit) override { hits.push_back(hit); }
  void OnFinished() override { ++finished; }
  std::vector<CatalogueRow> hits;
  int finished = 0;
};

std::vector<CatalogueRow> SearchName(CSession& session, const std::string& name,
                                     int* finished = nullptr) {
  SearchCriteria criteria;
  criteria.nameOn = true;
  criteria.nameMode = kNameModeEquals;
  criteria.name = name;
  CHits sink;
  CSearchJob* job = session.StartSearch(criteria, &sink);
  EXPECT_NE(job, nullptr);
  if (!job) return {};
  job->Wait();
  EXPECT_EQ(job->Snapshot().hits, sink.hits.size());
  EXPECT_EQ(job->Hits().size(), sink.hits.size());
  if (finished) *finished = sink.finished;
  return sink.hits;
}

TEST(SearchJob, RevealTellsAnExistingAndADeletedFolderOfOneNameApart) {
  auto image = test::SameNameImage();
  if (!image) GTEST_SKIP() << "fixtures absent";
  SetCacheSavingAllowed(false);
  CSession session;
  ASSERT_TRUE(session.Drives().Assign('S', test::MemorySource(image)));
  ASSERT_EQ(test::IndexNow(session, 'S'), kEnumScanned);

  int finished = 0;
  auto underDeleted = SearchName(session, "util.txt", &finished);
  EXPECT_EQ(finished, 1);
  auto underLive = SearchName(session, "large-deleted.bin");
  ASSERT_EQ(underDeleted.size(), 1u);
  ASSERT_EQ(underLive.size(), 1u);
  // Both paths start with "S:\Big\": the path alone cannot tell them apart.
  EXPECT_EQ(underDeleted[0].path, "S:\\Big\\lib\\");
  EXPECT_EQ(underLive[0].path, "S:\\Big\\");

  const struct {
    const CatalogueRow* hit;
    std::vector<RevealStep> steps;
    const char* chain;
  } cases[] = {
      {&underDeleted[0],
       {{"Big", test::kSrc, true, false}, {"lib", test::kLib, true, false}},
       "93;95;"},
      {&underLive[0], {{"Big", test::kLiveBig, false, false}}, "0;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hit->row.name);
    RevealTarget target;
    ASSERT_TRUE(RevealHit(session.Catalogue(), c.hit->row, target));
    EXPECT_EQ(target.chain, c.chain);
    EXPECT_EQ(target.name, c.hit->row.name);
    ASSERT_EQ(target.steps.size(), c.steps.size());
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      EXPECT_EQ(target.steps[i].name, c.steps[i].name) << i;
      EXPECT_EQ(target.steps[i].record, c.steps[i].record) << i;
      EXPECT_EQ(target.steps[i].deleted, c.steps[i].deleted) << i;
      EXPECT_FALSE(target.steps[i].orphan) << i;
    }
  }
}

TEST(SearchJob, AFolderNamedAgainShowsItsNameInTheHitsPaths) {
  auto image = test::NamelessFolderImage();
  if (!image) GTEST_SKIP() << "fixtures absent";
  SetCacheSavingAllowed(false);
  CSession session;
  ASSERT_TRUE(session.Drives().Assign('N', test::MemorySource(image)));
  ASSERT_EQ(test::IndexNow(session, 'N'), kEnumScanned);
  const struct {
    const char* name;
    const char* path;
  } cases[] = {{"util.txt", "N:\\OldProject\\src\\lib\\"},
               {"notes.txt", "N:\\OldProject\\src\\lib\\deep\\"},
               {"main.bin", "N:\\OldProject\\src\\"},
               {"src", "N:\\OldProject\\"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto hits = SearchName(session, c.name);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].path, c.path);
  }
  // The listing of the same catalogue agrees.
  class CRows : public IListingSink {
   public:
    void OnRow(const CatalogueRow& row) override {
      if (row.row.record == test::kUtil) path = row.path;
    }
    std::string path;
  } rows;
  ListingOptions options;
  options.recursive = true;
  options.deletedOnly = true;
  EXPECT_EQ(ListFolder(session, 'N', options, rows), kListingDone);
  EXPECT_EQ(rows.path, "N:\\OldProject\\src\\lib\\");
}

}  // namespace
}  // namespace sorvani
