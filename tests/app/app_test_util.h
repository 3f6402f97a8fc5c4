// Fixture sources for the application layer's tests, and indexing through a session.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/indexing_job.h"
#include "app/session.h"
#include "index/index_cache.h"
#include "tests/util/fixtures.h"
#include "tests/util/patched_images.h"

namespace sorvani::test {

inline DriveSource MemorySource(std::shared_ptr<std::vector<std::uint8_t>> bytes) {
  DriveSource source;
  source.memory = std::move(bytes);
  return source;
}

inline DriveSource FileSource(const std::string& path) {
  DriveSource source;
  source.path = path;
  return source;
}

// Indexes `letter` through the session and waits; the outcome.
inline std::uint8_t IndexNow(CSession& session, char letter, bool forceRescan = true) {
  CIndexingJob* job = session.StartIndexing(letter, forceRescan);
  if (!job) return kEnumRunning;
  job->Wait();
  return job->Snapshot().outcome;
}

}  // namespace sorvani::test
