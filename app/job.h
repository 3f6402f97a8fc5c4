// The one contract every worker of the application layer keeps (indexing, listing, search,
// recovery, surface scan, folder sums, previews): the job owns its thread, stops on its cancel
// token, offers a Snapshot() of plain values for polling, sends rows and results to an event
// sink and blocking questions to a prompt sink. Front ends decide only how to show and answer.
#pragma once

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

namespace sorvani {

// Cancellation shared by a job and whoever may stop it. Any thread may call Cancel; the
// worker reads Cancelled between steps.
class CCancelToken {
 public:
  void Cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
  bool Cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
  void Reset() { m_cancelled.store(false, std::memory_order_relaxed); }
  // For engine functions that take a plain flag.
  const std::atomic<bool>* Flag() const { return &m_cancelled; }

 private:
  std::atomic<bool> m_cancelled{false};
};

// A worker with its own thread. Start, Cancel, Finished and Wait are called by the job's owner
// (the front end's thread); Run is called once, on the job's thread. The destructor cancels and
// joins, so a job never outlives the objects it was given. Subclasses add Snapshot() (a copy of
// plain values, safe from any thread) and take their sinks in their constructors.
class CJob {
 public:
  CJob() = default;
  virtual ~CJob() { StopAndWait(); }
  CJob(const CJob&) = delete;
  CJob& operator=(const CJob&) = delete;

  // Starts the thread; false when it is already running or has run, or when the system
  // gives no thread.
  bool Start() {
    std::lock_guard hold(m_threadLock);
    if (m_thread.joinable() || m_finished.load()) return false;
    try {
      m_thread = std::thread([this] {
        Run(m_cancel);
        m_finished.store(true);
      });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }
  // Asks the worker to stop at its next step; it still ends through Run's normal exit.
  void Cancel() { m_cancel.Cancel(); }
  bool Cancelled() const { return m_cancel.Cancelled(); }
  // True once Run has returned (the thread may still need joining: Wait does it).
  bool Finished() const { return m_finished.load(); }
  // Blocks until Run has returned. Never call it from a thread a sink may be waiting on.
  void Wait() {
    std::lock_guard hold(m_threadLock);
    if (m_thread.joinable()) m_thread.join();
  }

 protected:
  // Subclasses whose members the worker uses call this first in their own destructor, so the
  // worker has stopped before those members go.
  void StopAndWait() {
    Cancel();
    Wait();
  }
  // The work, on the job's thread. Ends soon after `cancel` is set.
  virtual void Run(const CCancelToken& cancel) = 0;

 private:
  CCancelToken m_cancel;
  std::atomic<bool> m_finished{false};
  std::mutex m_threadLock;
  std::thread m_thread;
};

}  // namespace sorvani
