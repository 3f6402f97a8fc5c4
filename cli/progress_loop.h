// The command line's one way to wait for a job: poll it at an interval, redraw one status line
// on stderr, and turn Ctrl-C into the job's cancel.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

#include "app/job.h"

namespace sorvani::cli {

// One line redrawn in place on stderr. Whoever prints something else to the terminal while it
// is shown calls Clear first (under Hold, so the loop does not redraw in between). Any thread.
class CStatusLine {
 public:
  explicit CStatusLine(bool enabled) : m_enabled(enabled) {}
  bool Enabled() const { return m_enabled; }
  void Draw(const std::string& text);
  void Clear();
  // While held, the line is neither drawn nor cleared by anyone else.
  std::unique_lock<std::mutex> Hold() { return std::unique_lock<std::mutex>(m_mutex); }
  // Clear for a caller that holds the lock.
  void ClearHeld();
  // No redraws until Resume (a question is being asked on the terminal).
  void Pause(bool paused);

 private:
  bool m_enabled;
  bool m_shown = false;
  bool m_paused = false;
  std::mutex m_mutex;
};

struct ProgressLoopOptions {
  std::chrono::milliseconds interval{100};
  // The first Ctrl-C cancels the job; with this set a second one ends the process (the
  // default action comes back after the first).
  bool secondInterruptEnds = false;
};

// Waits on the caller's thread until `job` has finished, calling `tick` every interval (to
// draw a status line). Ctrl-C (SIGINT, through sigaction) cancels the job, which then ends by
// itself. The end of the job is noticed within a few milliseconds. The previous SIGINT action
// is restored before returning. Returns true when Ctrl-C was pressed.
bool RunProgressLoop(CJob& job, const std::function<void()>& tick,
                     const ProgressLoopOptions& options = {});

// "1.2 MB/s"-style texts for status lines: items, bytes, rate and time left.
std::string FormatRate(double bytesPerSecond);

}  // namespace sorvani::cli
