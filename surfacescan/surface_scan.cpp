#include "surfacescan/surface_scan.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "disk/drive_table.h"
#include "fat/fat_table.h"
#include "fat/fat_volume.h"
#include "foundation/log.h"
#include "volumes/open_volume.h"

namespace sorvani {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kBitmapPiece = 1024;
// FAT sectors read per device call; the status still counts them one by one.
constexpr std::uint32_t kFatChunkBytes = 32768;
// Bytes a format test reads at the start of a candidate before it knows it has a picture
// (the GIF block read is the longest).
constexpr std::uint32_t kProbeBytes = 13 + 512;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::int32_t Percent(double done, double total) {
  if (total <= 0) return 0;
  double p = done * 100.0 / total;
  return static_cast<std::int32_t>(std::clamp(p, 0.0, 100.0));
}

// One pass's bookkeeping; the job's fields are written only under its lock.
class CPass {
 public:
  CPass(SurfaceScanJob& job, int pass) : m_job(job), m_start(Clock::now()) {
    std::lock_guard<std::mutex> guard(job.lock);
    job.stage = pass == 0 ? ScanStage::kCounting : ScanStage::kSearching;
    job.percent = 0;
    job.remainingSeconds = pass == 0 ? 0 : kUnknownRemaining;
  }

  void Counting(double done, double total) {
    std::lock_guard<std::mutex> guard(m_job.lock);
    m_job.percent = Percent(done, total);
    m_job.remainingSeconds = 0;
  }

  void Searching(std::uint64_t seen, std::uint64_t counted, std::int32_t rows) {
    double elapsed = MillisecondsSince(m_start);
    std::lock_guard<std::mutex> guard(m_job.lock);
    m_job.percent = Percent(static_cast<double>(seen), static_cast<double>(counted));
    // Before the first free cluster there is no rate to extrapolate from.
    m_job.remainingSeconds =
        seen == 0 ? kUnknownRemaining
                  : std::max(0.0, static_cast<double>(counted) - static_cast<double>(seen)) *
                        elapsed / 1000.0 / static_cast<double>(seen);
    m_job.found = rows;
  }

 private:
  SurfaceScanJob& m_job;
  Clock::time_point m_start;
};

// Pass 1 over one stretch of the allocation map: a flag per map entry, 1 = free.
class CCandidateTester {
 public:
  CCandidateTester(SurfaceScanJob& job, CCarveReader& reader, bool skipCarved,
                   std::uint64_t baseUnit, std::uint32_t offsetInUnit)
      : m_job(job),
        m_reader(reader),
        m_skipCarved(skipCarved),
        m_baseUnit(baseUnit),
        m_offsetInUnit(offsetInUnit) {}

  // Entries first .. first + flags.size() - 1. Returns false when cancelled.
  bool Run(std::uint64_t first, const std::vector<std::uint8_t>& flags, CPass& pass,
           std::uint64_t counted) {
    const std::uint32_t unit = m_reader.UnitSize();
    const std::size_t count = flags.size();
    for (std::size_t i = 0; i < count; ++i) {
      // The count runs down over every cluster after a carved file; testing resumes on
      // the cluster where it reaches 0.
      if (m_skip > 0 && --m_skip > 0) continue;
      if (!flags[i]) continue;
      if (m_job.Cancelled()) return false;
      ++m_seen;
      CarveCandidate candidate;
      candidate.reader = &m_reader;
      candidate.startUnit = m_baseUnit + first + i;
      candidate.offset = m_offsetInUnit;
      candidate.cancel = m_job.cancel;
      std::uint64_t position = candidate.startUnit * unit + m_offsetInUnit;
      if (!m_reader.Covers(position, kProbeBytes)) {
        std::size_t run = i;
        std::uint64_t runCap = CCarveReader::kScanWindowBytes / unit + 1;
        while (run < count && flags[run] && run - i < runCap) ++run;
        std::uint64_t bytes = std::min<std::uint64_t>(std::uint64_t{run - i} * unit + kProbeBytes,
                                                      CCarveReader::kScanWindowBytes);
        m_reader.Prefetch(position, static_cast<std::uint32_t>(bytes));
      }
      int format = CarveAny(candidate, m_job.formats);
      if (format == 0) continue;
      // A cancel during the test leaves no row behind it.
      if (m_job.Cancelled()) return false;
      CarvedFile file;
      file.name = candidate.name;
      file.startUnit = candidate.startUnit;
      file.offset = candidate.offset;
      file.size = candidate.size;
      file.format = format;
      file.incomplete = candidate.incomplete;
      file.cutByEnd = candidate.cutByEnd;
      if (m_job.sink) m_job.sink->Append(file);
      ++m_rows;
      pass.Searching(m_seen, counted, m_rows);
      if (m_skipCarved) m_skip = std::uint64_t{candidate.size} / unit + 1;
    }
    return true;
  }

  std::uint64_t Seen() const { return m_seen; }
  std::int32_t Rows() const { return m_rows; }

 private:
  SurfaceScanJob& m_job;
  CCarveReader& m_reader;
  bool m_skipCarved;
  std::uint64_t m_baseUnit;
  std::uint32_t m_offsetInUnit;
  std::uint64_t m_skip = 0;
  std::uint64_t m_seen = 0;
  std::int32_t m_rows = 0;
};

}  // namespace

void ICarvedFileSink::ShowError(const std::string& text, const std::string& caption) {
  LogFile.WriteAlways("%s: %s\n", caption.c_str(), text.c_str());
}

SurfaceScanStatus SurfaceScanJob::Snapshot() {
  std::lock_guard<std::mutex> guard(lock);
  return {stage, driveLetter, percent, found, remainingSeconds};
}

void ScanNtfsBitmap(SurfaceScanJob& job, CVolume& volume, IClusterBitmap& bitmap,
                    std::uint64_t clusterCount) {
  ScopeTrace trace(1, "ScanNtfsBitmap");
  CCarveReader reader(volume);
  // Bits past the volume's last cluster are padding, not clusters.
  std::uint64_t mapBits = bitmap.Size() * 8;
  if (clusterCount && clusterCount < mapBits) mapBits = clusterCount;
  if (volume.BytesPerCluster() == 0) return;

  std::uint64_t counted = 0;
  std::uint8_t piece[kBitmapPiece];
  std::vector<std::uint8_t> flags;
  for (int passNo = 0; passNo < 2 && !job.Cancelled(); ++passNo) {
    CPass pass(job, passNo);
    CCandidateTester tester(job, reader, /*skipCarved=*/true, 0, 0);
    std::uint64_t cluster = 0;
    if (!bitmap.Seek(0)) continue;
    while (cluster < mapBits && !job.Cancelled()) {
      std::uint32_t got = 0;
      if (!bitmap.Read(piece, kBitmapPiece, got) || got == 0) {
        job.mapIncomplete = true;
        LogFile.WriteAlways(
            "$Bitmap could not be read past cluster %llu; the rest of the volume was not "
            "searched\n",
            static_cast<unsigned long long>(cluster));
        break;
      }
      std::uint64_t bits = std::min<std::uint64_t>(std::uint64_t{got} * 8, mapBits - cluster);
      if (passNo == 0) {
        std::uint64_t used = 0;
        for (std::uint64_t b = 0; b < bits / 8; ++b) used += __builtin_popcount(piece[b]);
        for (std::uint64_t b = bits / 8 * 8; b < bits; ++b) used += (piece[b / 8] >> (b % 8)) & 1;
        counted += bits - used;
        cluster += bits;
        pass.Counting(static_cast<double>(cluster), static_cast<double>(mapBits));
        continue;
      }
      flags.resize(bits);
      for (std::uint64_t b = 0; b < bits; ++b) flags[b] = !((piece[b / 8] >> (b % 8)) & 1);
      bool goOn = tester.Run(cluster, flags, pass, counted);
      cluster += bits;
      pass.Searching(tester.Seen(), counted, tester.Rows());
      if (!goOn) break;
    }
  }
}

void ScanFat(SurfaceScanJob& job, CVolume& volume, std::uint32_t fatType, std::uint64_t fatOffset,
             std::uint32_t sectorsPerFat, std::uint32_t firstDataSector,
             std::uint64_t dataClusters) {
  ScopeTrace trace(1, "ScanFat");
  const std::uint32_t bps = volume.BytesPerSector();
  const std::uint32_t unit = volume.BytesPerCluster();
  if (bps == 0 || unit == 0 || !CFatEntryDecoder(fatType).Valid()) return;
  CCarveReader reader(volume);
  const std::uint64_t dataStart = std::uint64_t{firstDataSector} * bps;
  // Cluster n sits in volume unit dataStart / unit + n - 2 at dataStart mod unit.
  const std::uint64_t baseUnit = dataStart / unit;
  const std::uint32_t offsetInUnit = static_cast<std::uint32_t>(dataStart % unit);
  // Entries past the last data cluster describe nothing on the volume.
  const std::uint64_t entryLimit = dataClusters + 2;
  const std::uint32_t sectorsPerChunk = std::max<std::uint32_t>(1, kFatChunkBytes / bps);
  std::vector<std::uint8_t> chunk(std::uint64_t{sectorsPerChunk} * bps);

  std::uint64_t counted = 0;
  std::vector<std::uint8_t> flags;
  for (int passNo = 0; passNo < 2 && !job.Cancelled(); ++passNo) {
    CPass pass(job, passNo);
    CCandidateTester tester(job, reader, /*skipCarved=*/false, baseUnit - 2, offsetInUnit);
    CFatEntryDecoder decoder(fatType);
    std::uint32_t sectorsRead = 0;
    bool ended = false;
    while (sectorsRead < sectorsPerFat && !ended && !job.Cancelled()) {
      std::uint32_t want = std::min(sectorsPerChunk, sectorsPerFat - sectorsRead);
      std::uint32_t got = 0;
      if (!volume.ReadDirect(fatOffset + std::uint64_t{sectorsRead} * bps, chunk.data(), want * bps,
                             got))
        got = 0;
      std::uint32_t whole = got / bps;
      if (whole < want) {
        // A short read ends the pass after the whole sectors: what the rest of the table
        // describes is not searched, and the scan says so.
        ended = true;
        job.mapIncomplete = true;
        LogFile.WriteAlways(
            "The FAT could not be read past sector %u of %u; the rest of the volume was not "
            "searched\n",
            sectorsRead + whole, sectorsPerFat);
      }
      std::uint64_t firstEntry = ~std::uint64_t{0};
      flags.clear();
      std::uint64_t freeHere = 0;
      decoder.Feed(chunk.data(), std::size_t{whole} * bps, [&](std::uint64_t n, std::uint32_t v) {
        if (n < 2 || n >= entryLimit) return;
        if (firstEntry == ~std::uint64_t{0}) firstEntry = n;
        flags.push_back(v == 0);
        freeHere += v == 0;
      });
      sectorsRead += whole;
      if (passNo == 0) {
        counted += freeHere;
        pass.Counting(sectorsRead, sectorsPerFat);
        continue;
      }
      bool goOn = flags.empty() || tester.Run(firstEntry, flags, pass, counted);
      pass.Searching(tester.Seen(), counted, tester.Rows());
      if (!goOn) break;
    }
  }
}

void SurfaceScanVolume(SurfaceScanJob& job, CVolume& volume) {
  std::uint32_t type = volume.GetFsType();
  if (type == kFsNtfs) {
    auto bitmap = OpenNtfsBitmap(volume);
    if (!bitmap) {
      LogFile.WriteAlways("Cannot read $Bitmap of drive %c:\n", job.driveLetter);
      return;
    }
    ScanNtfsBitmap(job, volume, *bitmap, volume.DeviceClusters());
  } else if (type == kFsFat12 || type == kFsFat16 || type == kFsFat32) {
    auto* fat = dynamic_cast<CFatVolume*>(&volume);
    if (!fat) return;
    ScanFat(job, volume, type, fat->ActiveFatOffset(), fat->SectorsPerFat(), fat->FirstDataSector(),
            fat->DataClusters());
  }
}

namespace {

// The source behind a drive whose volume could not be opened, and why, as far as it shows.
std::string OpenFailureDetail(char letter) {
  auto source = CDriveTable::Instance().Find(letter);
  if (!source) return std::string("Drive ") + letter + ": names no source.";
  std::string where =
      (source->path.empty() ? std::string("memory") : source->path) + " (drive " + letter + ":): ";
  errno = 0;
  if (!source->OpenSource()) return where + SystemErrorText(errno);
  return where + "no NTFS or FAT volume could be read from it";
}

}  // namespace

void SurfaceScanThread(SurfaceScanJob& job) {
  ScopeTrace trace(1, "SurfaceScanThread");
  if (!job.cancel) job.result = kScanInvalidArg;
  {
    std::lock_guard<std::mutex> guard(job.lock);
    job.stage = ScanStage::kPreparing;
    job.percent = 0;
  }
  std::unique_ptr<CVolume> volume;
  if (!OpenVolume(job.driveLetter, volume)) {
    std::string text =
        "Failed to open the selected disk drive. " + OpenFailureDetail(job.driveLetter);
    if (job.sink)
      job.sink->ShowError(text, "Error");
    else
      LogFile.WriteAlways("%s\n", text.c_str());
    job.result = kScanNotImpl;
    return;
  }
  SurfaceScanVolume(job, *volume);
}

}  // namespace sorvani
