// A surface scan as a job: the drive, the formats and the sink are given at construction; the
// scan runs on the job's thread, the sink receives the carved files there, and a poller reads
// a Snapshot (the stage as a code with the drive letter, for the front end to word).
#pragma once

#include <atomic>
#include <cstdint>

#include "app/job.h"
#include "surfacescan/surface_scan.h"

namespace sorvani {

class CScanJob : public CJob {
 public:
  // `sink` is called on the job's thread (Append for each carved file in scan order, ShowError
  // when the scan cannot start); it must not block and must outlive the job.
  CScanJob(char driveLetter, const CFormatSet& formats, ICarvedFileSink& sink);
  // The same over a volume that is already open (and outlives the job).
  CScanJob(CVolume& volume, char driveLetter, const CFormatSet& formats, ICarvedFileSink& sink);
  ~CScanJob() override;

  // Any thread.
  SurfaceScanStatus Snapshot() { return m_scan.Snapshot(); }

  // After Finished (the job's thread has ended).
  // kScanResultOk, or kScanNotImpl when the drive could not be opened.
  std::uint32_t Result() const { return m_scan.result; }
  // Part of the allocation map could not be read: the free space it describes was not searched.
  bool MapIncomplete() const { return m_scan.mapIncomplete; }

 protected:
  void Run(const CCancelToken& cancel) override;

 private:
  CVolume* m_volume = nullptr;
  SurfaceScanJob m_scan;
};

}  // namespace sorvani
