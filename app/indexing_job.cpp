#include "app/indexing_job.h"

#include <memory>
#include <mutex>

#include "app/session.h"
#include "index/index_cache.h"
#include "ntfs/ntfs_volume.h"

namespace sorvani {

CIndexingJob::CIndexingJob(CSession& session, char letter, bool forceRescan)
    : m_session(session),
      m_letter(letter),
      m_forceRescan(forceRescan),
      m_start(std::chrono::steady_clock::now()) {
  m_progress.forceRescan = forceRescan ? 1 : 0;
}

CIndexingJob::~CIndexingJob() { StopAndWait(); }

IndexingSnapshot CIndexingJob::Snapshot() const {
  IndexingSnapshot out;
  out.drive = m_letter;
  if (Finished()) {
    out.finished = true;
    out.outcome = m_outcome.load();
    return out;
  }
  IndexProgress progress;
  {
    std::lock_guard<std::mutex> lock(index_lock);
    progress = m_progress;
  }
  auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start);
  static_cast<IndexTick&>(out) = ComputeIndexTick(progress, ms.count() / 1000.0);
  return out;
}

void CIndexingJob::Run(const CCancelToken& cancel) {
  auto index = std::make_shared<CFileIndex>();
  PublishedCatalogue published;
  published.attempted = m_letter;
  std::uint8_t outcome = kEnumUnreadable;
  auto source = m_session.Drives().Find(m_letter);
  if (source) {
    if (m_forceRescan) CleanUpCache(m_letter);
    CNtfsVolume volume;
    if (auto device = source->OpenSource()) volume.AttachDevice(std::move(device));
    if (volume.Device())
      outcome =
          EnumThread(m_letter, volume, *index, m_progress, *cancel.Flag(), m_forceRescan, &*source);
    published.source = std::make_shared<const DriveSource>(*source);
  }
  published.outcome = outcome;
  // Only a complete run describes the drive; a cancelled one is published as what it found,
  // belonging to no drive, so nothing shows it as the drive's catalogue.
  if (outcome == kEnumFromCache || outcome == kEnumScanned) published.drive = m_letter;
  published.index = std::move(index);
  m_session.Publish(std::move(published));
  m_outcome = outcome;
}

}  // namespace sorvani
