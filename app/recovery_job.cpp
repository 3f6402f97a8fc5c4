#include "app/recovery_job.h"

#include <mutex>

#include "disk/volume.h"
#include "foundation/endian.h"
#include "foundation/profile.h"

namespace sorvani {
namespace {

std::int64_t SteadyNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::mutex& UsageLock() {
  static std::mutex lock;
  return lock;
}

UsageTotals& Usage() {
  static UsageTotals totals;
  return totals;
}

void LoadLifetimeUsage() {
  static bool loaded = false;
  if (loaded) return;
  loaded = true;
  int files = Profile().GetInt("UsageStatistics", "FilesRecoveredInTotal", 0);
  Usage().filesInTotal = files > 0 ? static_cast<std::uint64_t>(files) : 0;
  std::uint8_t raw[8] = {};
  if (Profile().GetBinary("UsageStatistics", "AmountRecoveredInTotal", raw, sizeof raw))
    Usage().bytesInTotal = ReadLe64(ByteSpan(raw, sizeof raw), 0);
}

}  // namespace

CRecoveryJob::CRecoveryJob(RecoveryRequest request, IRecoverPrompt* prompt, IRecoverEvents* events)
    : m_request(std::move(request)) {
  m_job.volume = m_request.ownVolume ? m_request.ownVolume.get() : m_request.volume;
  m_job.catalogue = m_request.catalogue;
  m_job.destination = m_request.destination;
  m_job.flags = m_request.flags;
  m_job.prompt = prompt;
  m_job.events = events;
  m_job.nextItem = MakeItemList(std::move(m_request.items));
}

CRecoveryJob::~CRecoveryJob() { StopAndWait(); }

void CRecoveryJob::Run(const CCancelToken& cancel) {
  m_startedAt.store(SteadyNow());
  m_job.stop = cancel.Flag();
  RecoverResult result = REC_E_INVALIDARG;
  if (m_job.volume)
    result = (m_job.flags & RF_RAW_RANGES) ? RecoverRawRanges(m_job) : RecoverFileGroup(m_job);
  if (result == REC_S_OK && m_request.countUsage) {
    // What was written, not what was tried: a failed item's size is not an amount recovered.
    RecoveryProgress done = m_job.Snapshot();
    AddUsageStatistics(done.filesRecovered, done.bytesWritten);
  }
  m_endedAt.store(SteadyNow());
  m_result.store(result);
}

RecoveryJobSnapshot CRecoveryJob::Snapshot() const {
  RecoveryJobSnapshot s;
  s.detail = m_job.Snapshot();
  const RecoveryProgress& p = s.detail;
  s.itemsDone = p.selectionItemsDone;
  s.itemsTotal = p.selectionCount;
  s.bytesDone = p.bytesProcessed;
  s.bytesTotal = p.bytesExpected;
  s.currentItem = p.currentItem;
  s.failed = p.failureRows;
  s.partial = p.filesReadError + p.filesBeyondEnd + p.filesDamaged;
  s.skipped = p.filesSkipped;
  s.started = p.selectionCount > 0 || p.filesTried > 0 || p.foldersTried > 0;
  std::int64_t begun = m_startedAt.load();
  std::int64_t ended = m_endedAt.load();
  if (begun) s.elapsedSeconds = static_cast<double>((ended ? ended : SteadyNow()) - begun) / 1e9;
  return s;
}

namespace {

void WriteLifetimeUsage(const UsageTotals& u) {
  int stored = u.filesInTotal > 0x7FFFFFFFull ? 0x7FFFFFFF : static_cast<int>(u.filesInTotal);
  Profile().SetInt("UsageStatistics", "FilesRecoveredInTotal", stored);
  std::uint8_t raw[8];
  WriteLe64(raw, u.bytesInTotal);
  Profile().SetBinary("UsageStatistics", "AmountRecoveredInTotal", raw, sizeof raw);
}

}  // namespace

UsageTotals CurrentUsageTotals() {
  std::lock_guard<std::mutex> hold(UsageLock());
  LoadLifetimeUsage();
  return Usage();
}

void AddUsageStatistics(std::uint64_t files, std::uint64_t bytes) {
  std::lock_guard<std::mutex> hold(UsageLock());
  LoadLifetimeUsage();
  UsageTotals& u = Usage();
  u.filesThisRun += files;
  u.bytesThisRun += bytes;
  u.filesInTotal += files;
  u.bytesInTotal += bytes;
  WriteLifetimeUsage(u);
  Profile().Save();
}

void StoreUsageTotals() {
  std::lock_guard<std::mutex> hold(UsageLock());
  LoadLifetimeUsage();
  WriteLifetimeUsage(Usage());
}

}  // namespace sorvani
