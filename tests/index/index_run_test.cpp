// The indexing dialog's numbers: what each poll shows (the lifecycle of the run is tested with
// the indexing job).
#include "index/enum_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

namespace sorvani {
namespace {

IndexProgress Progress(std::uint8_t phase, std::uint32_t done, std::uint32_t total) {
  IndexProgress p;
  p.phase = phase;
  p.done = done;
  p.total = total;
  return p;
}

TEST(IndexTickValues, TitlePercentAndEstimateFollowThePhase) {
  IndexTick t = ComputeIndexTick(Progress(kPhaseNone, 0, 0), 0.2);
  EXPECT_EQ(t.titleString, 0u);  // phase 0 leaves the title alone
  EXPECT_EQ(t.percent, 0);
  EXPECT_FALSE(t.estimateShown);

  t = ComputeIndexTick(Progress(kPhaseScanning, 1, 3), 10.0);
  EXPECT_EQ(t.titleString, kIdsIndexTitleScanning);
  EXPECT_EQ(t.percent, 33);  // truncated
  ASSERT_TRUE(t.estimateShown);
  ASSERT_TRUE(t.estimateKnown);
  EXPECT_EQ(t.estimateSeconds, 20u);
  EXPECT_DOUBLE_EQ(t.elapsedSeconds, 10.0);

  EXPECT_EQ(ComputeIndexTick(Progress(kPhaseSaving, 2, 3), 1.0).titleString, kIdsIndexTitleSaving);
  EXPECT_EQ(ComputeIndexTick(Progress(kPhaseLoading, 2, 3), 1.0).titleString,
            kIdsIndexTitleLoading);
  EXPECT_FALSE(ComputeIndexTick(Progress(kPhaseSaving, 2, 3), 1.0).estimateShown);
  EXPECT_FALSE(ComputeIndexTick(Progress(kPhaseSaving, 2, 3), 1.0).estimateKnown);
  EXPECT_EQ(ComputeIndexTick(Progress(kPhaseLoading, 3, 3), 1.0).percent, 100);
  EXPECT_EQ(ComputeIndexTick(Progress(kPhaseLoading, 7, 3), 1.0).percent, 0);  // out of range
}

TEST(IndexTickValues, RemainingTimeIsKnownUpToOneHour) {
  // Nothing done yet: no estimate can be made.
  IndexTick t = ComputeIndexTick(Progress(kPhaseScanning, 0, 100), 5.0);
  EXPECT_TRUE(t.estimateShown);
  EXPECT_FALSE(t.estimateKnown);
  EXPECT_EQ(t.estimateSeconds, 0u);
  EXPECT_FALSE(ComputeIndexTick(Progress(kPhaseScanning, 0, 0), 0.0).estimateKnown);

  // (total - done) * elapsed / done: 3600 is the last value shown, 3601 is unknown.
  t = ComputeIndexTick(Progress(kPhaseScanning, 1, 3601), 0.9);
  EXPECT_TRUE(t.estimateKnown);
  EXPECT_EQ(t.estimateSeconds, 3240u);
  t = ComputeIndexTick(Progress(kPhaseScanning, 1, 3601), 1.0);
  EXPECT_TRUE(t.estimateKnown);
  EXPECT_EQ(t.estimateSeconds, 3600u);
  t = ComputeIndexTick(Progress(kPhaseScanning, 1, 3602), 1.0);
  EXPECT_FALSE(t.estimateKnown);
  // All done: nothing left.
  t = ComputeIndexTick(Progress(kPhaseScanning, 50, 50), 12.0);
  EXPECT_TRUE(t.estimateKnown);
  EXPECT_EQ(t.estimateSeconds, 0u);
}

}  // namespace
}  // namespace sorvani
