// search_bench IMAGE [--runs N] [--pattern TEXT]...: indexes the NTFS volume of IMAGE in
// process (the enumeration the list and search commands run), then runs contains-pattern
// searches over the catalogue. Prints, per step, the median wall seconds of N runs:
//   index SECONDS RUNS ENTRIES
//   search SECONDS RUNS PATTERN HITS
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "cli/catalogue_common.h"
#include "index/enum_thread.h"
#include "index/ntfs_record_reader.h"
#include "search/search_thread.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sorvani;
  if (argc < 2) {
    std::fprintf(stderr, "usage: search_bench IMAGE [--runs N] [--pattern TEXT]...\n");
    return 2;
  }
  std::string image = argv[1];
  int runs = 5;
  std::vector<std::string> patterns;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string flag = argv[i];
    if (flag == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    else if (flag == "--pattern") patterns.push_back(argv[i + 1]);
  }
  if (patterns.empty()) patterns = {"report", "a"};

  std::vector<char> letters;
  int exitCode = 0;
  if (!cli::ResolveNtfsSource(image, false, letters, exitCode)) return exitCode;
  char letter = letters.front();

  std::vector<double> indexTimes;
  for (int r = 0; r < runs; ++r) {
    {
      std::lock_guard<std::mutex> lock(index_lock);
      index_progress = IndexProgress{};
      index_progress.forceRescan = 1;
    }
    auto start = std::chrono::steady_clock::now();
    EnumThread(letter);
    indexTimes.push_back(Seconds(start));
  }
  std::printf("index %.4f %d %zu\n", Median(indexTimes), runs, file_index.EntryCount());

  CNtfsRecordReader reader(NtfsVolumeFor(letter));
  std::vector<FileListRow> results;
  for (const std::string& pattern : patterns) {
    std::vector<double> times;
    std::size_t hits = 0;
    for (int r = 0; r < runs; ++r) {
      SearchCriteria criteria;
      criteria.nameOn = true;
      criteria.name = pattern;
      criteria.nameMode = kNameModeContains;
      // As the program's own result list, one vector emptied before each search.
      results.clear();
      auto start = std::chrono::steady_clock::now();
      RunSearch(file_index, reader, criteria, results, nullptr);
      times.push_back(Seconds(start));
      hits = results.size();
    }
    std::printf("search %.4f %d %s %zu\n", Median(times), runs, pattern.c_str(), hits);
  }
  return 0;
}
