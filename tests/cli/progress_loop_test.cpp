// The command line's one progress loop: it ticks while a job runs, notices the job's end, turns
// Ctrl-C into the job's cancel, and gives back the SIGINT action it found.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "cli/progress_loop.h"

namespace sorvani::cli {
namespace {

// Runs until cancelled, or for `limit`.
class CWaitingJob final : public CJob {
 public:
  explicit CWaitingJob(std::chrono::milliseconds limit) : m_limit(limit) {}
  ~CWaitingJob() override { StopAndWait(); }
  std::atomic<bool> sawCancel{false};

 protected:
  void Run(const CCancelToken& cancel) override {
    auto end = std::chrono::steady_clock::now() + m_limit;
    while (std::chrono::steady_clock::now() < end) {
      if (cancel.Cancelled()) {
        sawCancel = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

 private:
  std::chrono::milliseconds m_limit;
};

void Mine(int) {}

TEST(ProgressLoop, TicksStopsOnCtrlCAndRestoresTheAction) {
  struct Case {
    bool interrupt;
    bool secondEnds;
  } cases[] = {{false, false}, {true, false}, {true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.interrupt) + std::to_string(c.secondEnds));
    struct sigaction mine {
    }, found{};
    mine.sa_handler = Mine;
    sigemptyset(&mine.sa_mask);
    ASSERT_EQ(::sigaction(SIGINT, &mine, nullptr), 0);
    CWaitingJob job(std::chrono::milliseconds(c.interrupt ? 20000 : 150));
    ASSERT_TRUE(job.Start());
    int ticks = 0;
    bool defaultAfterFirst = false;
    ProgressLoopOptions options;
    options.interval = std::chrono::milliseconds(10);
    options.secondInterruptEnds = c.secondEnds;
    auto started = std::chrono::steady_clock::now();
    bool interrupted = RunProgressLoop(
        job,
        [&] {
          if (++ticks == 3 && c.interrupt) {
            ::raise(SIGINT);
            struct sigaction now {};
            ::sigaction(SIGINT, nullptr, &now);
            defaultAfterFirst = now.sa_handler == SIG_DFL;
          }
        },
        options);
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(job.Finished());
    EXPECT_EQ(interrupted, c.interrupt);
    EXPECT_EQ(job.sawCancel.load(), c.interrupt);
    EXPECT_GE(ticks, 3);
    EXPECT_LT(took, std::chrono::seconds(5));
    if (c.interrupt) {
      EXPECT_EQ(defaultAfterFirst, c.secondEnds);
    }
    ASSERT_EQ(::sigaction(SIGINT, nullptr, &found), 0);
    EXPECT_EQ(found.sa_handler, &Mine);
  }
  signal(SIGINT, SIG_DFL);
}

TEST(ProgressLoop, TheEndOfAJobIsNoticedAtOnce) {
  CWaitingJob job(std::chrono::milliseconds(5));
  ASSERT_TRUE(job.Start());
  ProgressLoopOptions options;
  options.interval = std::chrono::seconds(10);
  auto started = std::chrono::steady_clock::now();
  int ticks = 0;
  RunProgressLoop(
      job, [&] { ++ticks; }, options);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
  EXPECT_EQ(ticks, 0);
}

}  // namespace
}  // namespace sorvani::cli
