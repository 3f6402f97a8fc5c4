// Google Benchmark of the per-record steps of the enumeration on a real image (path in
// SORVANI_BENCH_IMAGE): every record loaded with names only, in ascending order, as the
// indexing walk reads them.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "cli/catalogue_common.h"
#include "index/enum_thread.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"

namespace {

char g_letter = 0;

bool Open() {
  if (g_letter) return true;
  const char* image = std::getenv("SORVANI_BENCH_IMAGE");
  if (!image) return false;
  std::vector<char> letters;
  int exitCode = 0;
  if (!sorvani::cli::ResolveNtfsSource(image, false, letters, exitCode)) return false;
  g_letter = letters.front();
  return true;
}

void BM_LoadNamesSequential(benchmark::State& state) {
  if (!Open()) {
    state.SkipWithError("set SORVANI_BENCH_IMAGE to an NTFS image");
    return;
  }
  sorvani::CNtfsVolume* volume = sorvani::NtfsVolumeFor(g_letter);
  const auto records = static_cast<std::uint32_t>(state.range(0));
  sorvani::RecordNames names;
  for (auto _ : state) {
    sorvani::CNtfsRecordReader reader(volume);
    std::uint32_t valid = 0;
    for (std::uint32_t r = 0; r < records; ++r) valid += reader.LoadNames(r, names) ? 1 : 0;
    benchmark::DoNotOptimize(valid);
  }
  state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_LoadNamesSequential)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
