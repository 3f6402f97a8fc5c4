// Google Benchmark of the per-record steps of the enumeration on a real image (path in
// SORVANI_BENCH_IMAGE): every record loaded with names only, in ascending order, as the
// indexing walk reads them.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"

namespace {

sorvani::CSession& Session() {
  static sorvani::CSession session;
  return session;
}
std::unique_ptr<sorvani::CNtfsVolume> g_volume;  // the benchmark's own reader

bool Open() {
  if (g_volume) return true;
  const char* image = std::getenv("SORVANI_BENCH_IMAGE");
  if (!image) return false;
  std::string error;
  for (char letter : Session().OpenImage(image, error))
    if (!g_volume) g_volume = Session().NewReader(letter);
  return g_volume != nullptr;
}

void BM_LoadNamesSequential(benchmark::State& state) {
  if (!Open()) {
    state.SkipWithError("set SORVANI_BENCH_IMAGE to an NTFS image");
    return;
  }
  sorvani::CNtfsVolume* volume = g_volume.get();
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
