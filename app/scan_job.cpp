#include "app/scan_job.h"

namespace sorvani {

CScanJob::CScanJob(char driveLetter, const CFormatSet& formats, ICarvedFileSink& sink) {
  m_scan.driveLetter = driveLetter;
  m_scan.formats = formats;
  m_scan.sink = &sink;
}

CScanJob::CScanJob(CVolume& volume, char driveLetter, const CFormatSet& formats,
                   ICarvedFileSink& sink)
    : CScanJob(driveLetter, formats, sink) {
  m_volume = &volume;
}

CScanJob::~CScanJob() { StopAndWait(); }

void CScanJob::Run(const CCancelToken& cancel) {
  m_scan.cancel = cancel.Flag();
  if (m_volume) {
    SurfaceScanVolume(m_scan, *m_volume);
  } else {
    SurfaceScanThread(m_scan);
  }
}

}  // namespace sorvani
