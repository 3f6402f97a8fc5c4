// The indexing service: builds the catalogue of one drive on its own thread into a catalogue
// of its own, with a reader of its own, and publishes it whole to the session when it ends.
#pragma once

#include <chrono>
#include <cstdint>

#include "app/job.h"
#include "index/enum_thread.h"
#include "index/file_index.h"

namespace sorvani {

class CSession;

// One poll of the indexing dialog, as plain numbers (front ends make the texts): the tick
// while it runs, and once finished how it ended.
struct IndexingSnapshot : IndexTick {
  bool finished = false;
  std::uint8_t outcome = kEnumRunning;  // kEnum...; kEnumRunning until finished
  char drive = 0;                       // the drive being indexed
};

class CIndexingJob : public CJob {
 public:
  // Polling period of the indexing dialog.
  static constexpr int kTickMilliseconds = 300;

  // Owner's thread. A forced rescan deletes the drive's cache file before the run.
  CIndexingJob(CSession& session, char letter, bool forceRescan);
  ~CIndexingJob() override;

  // Any thread.
  IndexingSnapshot Snapshot() const;
  char Drive() const { return m_letter; }

 protected:
  void Run(const CCancelToken& cancel) override;

 private:
  CSession& m_session;
  const char m_letter;
  const bool m_forceRescan;
  const std::chrono::steady_clock::time_point m_start;
  IndexProgress m_progress;  // guarded by index_lock
  std::atomic<std::uint8_t> m_outcome{kEnumRunning};
};

}  // namespace sorvani
