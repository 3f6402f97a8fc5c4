#include "cli/progress_loop.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "foundation/display_format.h"

namespace sorvani::cli {
namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_secondEnds{false};

void OnInterrupt(int) {
  g_interrupted.store(true);
  if (g_secondEnds.load()) ::signal(SIGINT, SIG_DFL);
}

// How often the loop looks whether the job has ended: short, so a run that ends is not kept
// waiting for the next redraw.
constexpr std::chrono::milliseconds kEndCheck{2};

}  // namespace

void CStatusLine::Draw(const std::string& text) {
  if (!m_enabled) return;
  std::lock_guard<std::mutex> hold(m_mutex);
  if (m_paused) return;
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  std::fflush(stderr);
  m_shown = true;
}

void CStatusLine::ClearHeld() {
  if (!m_shown) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  m_shown = false;
}

void CStatusLine::Clear() {
  if (!m_enabled) return;
  std::lock_guard<std::mutex> hold(m_mutex);
  ClearHeld();
}

void CStatusLine::Pause(bool paused) {
  std::lock_guard<std::mutex> hold(m_mutex);
  m_paused = paused;
}

bool RunProgressLoop(CJob& job, const std::function<void()>& tick,
                     const ProgressLoopOptions& options) {
  g_interrupted.store(false);
  g_secondEnds.store(options.secondInterruptEnds);
  struct sigaction action {
  }, previous{};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previous);

  bool interrupted = false;
  auto nextTick = std::chrono::steady_clock::now() + options.interval;
  while (!job.Finished()) {
    std::this_thread::sleep_for(kEndCheck);
    if (g_interrupted.load() && !interrupted) {
      interrupted = true;
      job.Cancel();
    }
    if (auto now = std::chrono::steady_clock::now(); now >= nextTick && !job.Finished()) {
      nextTick = now + options.interval;
      if (tick) tick();
    }
  }
  job.Wait();
  ::sigaction(SIGINT, &previous, nullptr);
  return interrupted || g_interrupted.load();
}

std::string FormatRate(double bytesPerSecond) {
  if (!(bytesPerSecond > 0)) return "-";
  return FormatSize(static_cast<std::uint64_t>(bytesPerSecond), false) + "/s";
}

}  // namespace sorvani::cli
