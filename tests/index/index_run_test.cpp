// The indexing dialog's logic: what each poll shows, and start, cancel and end of the worker.
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
  EXPECT_EQ(t.estimateText, "20 sec");
  EXPECT_EQ(t.elapsedText, "10 sec");

  EXPECT_EQ(ComputeIndexTick(Progress(kPhaseSaving, 2, 3), 1.0).titleString, kIdsIndexTitleSaving);
  EXPECT_EQ(ComputeIndexTick(Progress(kPhaseLoading, 2, 3), 1.0).titleString, kIdsIndexTitleLoading);
  EXPECT_FALSE(ComputeIndexTick(Progress(kPhaseSaving, 2, 3), 1.0).estimateShown);
  EXPECT_EQ(ComputeIndexTick(Progress(kPhaseSaving, 2, 3), 1.0).estimateText, "");
  EXPECT_EQ(ComputeIndexTick(Progress(kPhaseLoading, 3, 3), 1.0).percent, 100);
  EXPECT_EQ(ComputeIndexTick(Progress(kPhaseLoading, 7, 3), 1.0).percent, 0);  // out of range
}

TEST(IndexTickValues, RemainingTimeIsKnownUpToOneHour) {
  // Nothing done yet: no estimate can be made.
  IndexTick t = ComputeIndexTick(Progress(kPhaseScanning, 0, 100), 5.0);
  EXPECT_TRUE(t.estimateShown);
  EXPECT_FALSE(t.estimateKnown);
  EXPECT_EQ(t.estimateText, "unknown");
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
  EXPECT_EQ(t.estimateText, "unknown");
  // All done: nothing left.
  t = ComputeIndexTick(Progress(kPhaseScanning, 50, 50), 12.0);
  EXPECT_TRUE(t.estimateKnown);
  EXPECT_EQ(t.estimateSeconds, 0u);
}

TEST(IndexRunLifecycle, StartResetsTheBlockCancelReachesTheWorkerAndTheEndIsSeen) {
  {
    std::lock_guard<std::mutex> lock(index_lock);
    index_progress = Progress(kPhaseLoading, 9, 9);
    index_progress.cancel = 1;
  }
  std::atomic<bool> sawReset{false}, sawForce{false}, sawCancel{false};
  std::atomic<char> letter{0};
  CIndexRun run([&](char l) {
    letter = l;
    {
      std::lock_guard<std::mutex> lock(index_lock);
      sawReset = index_progress.phase == 0 && index_progress.done == 0 &&
                 index_progress.total == 0 && index_progress.cancel == 0;
      sawForce = index_progress.forceRescan == 1;
      index_progress.phase = kPhaseScanning;
      index_progress.total = 10;
      index_progress.done = 5;
    }
    for (;;) {
      std::lock_guard<std::mutex> lock(index_lock);
      if (index_progress.cancel) break;
    }
    sawCancel = true;
  });
  run.Start('F', true);
  IndexTick tick;
  do {
    tick = run.Tick();
  } while (!tick.finished && tick.phase != kPhaseScanning);
  ASSERT_FALSE(tick.finished);
  EXPECT_EQ(tick.percent, 50);
  EXPECT_EQ(tick.titleString, kIdsIndexTitleScanning);
  run.Cancel();
  run.Wait();
  EXPECT_TRUE(run.Tick().finished);
  EXPECT_EQ(letter.load(), 'F');
  EXPECT_TRUE(sawReset);
  EXPECT_TRUE(sawForce);
  EXPECT_TRUE(sawCancel);
  EXPECT_FALSE(run.Started());
}

}  // namespace
}  // namespace sorvani
