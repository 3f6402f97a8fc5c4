// search_bench IMAGE [--runs N] [--pattern TEXT]...: indexes the NTFS volume of IMAGE in
// process (the enumeration the list and search commands run), then runs contains-pattern
// searches over the catalogue. Prints, per step, the median wall seconds of N runs:
//   index SECONDS RUNS ENTRIES
//   search SECONDS RUNS PATTERN HITS
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/indexing_job.h"
#include "app/session.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"
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
    if (flag == "--runs")
      runs = std::max(1, std::atoi(argv[i + 1]));
    else if (flag == "--pattern")
      patterns.push_back(argv[i + 1]);
  }
  if (patterns.empty()) patterns = {"report", "a"};

  CSession session;
  std::string error;
  char letter = 0;
  for (char l : session.OpenImage(image, error))
    if (!letter && session.Volume(l)) letter = l;
  if (!letter) {
    std::fprintf(stderr, "search_bench: %s: no NTFS volume %s\n", image.c_str(), error.c_str());
    return 2;
  }

  std::vector<double> indexTimes;
  for (int r = 0; r < runs; ++r) {
    auto start = std::chrono::steady_clock::now();
    CIndexingJob* job = session.StartIndexing(letter, true);
    if (!job) return 2;
    job->Wait();
    indexTimes.push_back(Seconds(start));
  }
  PublishedCatalogue catalogue = session.Catalogue();
  if (catalogue.drive != letter) return 2;
  const CFileIndex& index = *catalogue.index;
  std::printf("index %.4f %d %zu\n", Median(indexTimes), runs, index.EntryCount());

  std::unique_ptr<CNtfsVolume> volume = session.NewReader(letter);
  CNtfsRecordReader reader(volume.get(), &index);
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
      RunSearch(index, reader, criteria, results, nullptr);
      times.push_back(Seconds(start));
      hits = results.size();
    }
    std::printf("search %.4f %d %s %zu\n", Median(times), runs, pattern.c_str(), hits);
  }
  return 0;
}
