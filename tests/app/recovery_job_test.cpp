// A whole recovery through the job contract, driven by a scripted front end: the run on the
// job's own thread, questions answered from a script, a stop in the middle of a file, and
// each job's progress its own. Bytes are checked against the fixture's answer key.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/recovery_job.h"
#include "app/recovery_plan.h"
#include "disk/drive_table.h"
#include "foundation/res_strings.h"
#include "index/file_index.h"
#include "tests/recovery/recovery_test_util.h"
#include "tests/util/fixtures.h"
#include "volumes/open_volume.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using test::CScriptedFrontEnd;

constexpr const char* kDraftPath = "Docs/Reports/2023/draft-old.txt";
constexpr const char* kBudgetPath = "Docs/Reports/2023/budget-deleted.bin";
constexpr const char* kCompressedPath = "Compressed/comp-deleted.txt";
constexpr const char* kLargePath = "Big/large-deleted.bin";

// Every read of the device takes a while, so a run can be stopped inside one file.
class CSlowSource final : public IByteSource {
 public:
  explicit CSlowSource(std::unique_ptr<IByteSource> inner) : m_inner(std::move(inner)) {}
  std::int64_t ReadAt(std::uint64_t offset, void* dst, std::size_t size) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    return m_inner->ReadAt(offset, dst, size);
  }
  std::uint64_t Size() const override { return m_inner->Size(); }

 private:
  std::unique_ptr<IByteSource> m_inner;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class RecoveryJobs : public test::CIndexedImageTest {
 protected:
  void SetUp() override {
    CIndexedImageTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    for (const test::KeyStream& k : test::DeletedStreamsOfKey(m_keyText))
      if (k.stream.empty()) m_sha[k.record] = k.sha256;
    for (const char* p : {kDraftPath, kBudgetPath, kCompressedPath, kLargePath})
      ASSERT_TRUE(m_records.count(p) && m_sha.count(m_records[p])) << p;
  }

  RecoveryRequest Request(const std::vector<const char*>& paths, const std::string& dest,
                          CVolume* volume = nullptr) {
    RecoverySelection pick;
    pick.kind = RecoverySelection::Kind::kRecords;
    for (const char* p : paths) pick.records.push_back(m_records.at(p));
    RecoveryRequest request;
    request.volume = volume ? volume : m_image.volume.get();
    request.catalogue = m_catalogue.get();
    request.destination = dest;
    request.flags = RF_ALL_STREAMS | RF_FOLDER_ATTRIBUTES;
    request.items = PlanRecovery(*m_image.ntfs, *m_catalogue, pick).items;
    request.countUsage = false;
    return request;
  }

  // Runs a job to its end from this thread, which only starts, polls and waits.
  static RecoveryJobSnapshot RunToEnd(CRecoveryJob& job) {
    EXPECT_TRUE(job.Start());
    while (!job.Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    job.Wait();
    return job.Snapshot();
  }

  std::string Numbered(const char* path) {
    std::string name = fs::path(path).filename().string();
    auto dot = name.rfind('.');
    return name.substr(0, dot) + " (" + std::to_string(m_records.at(path)) + ")" + name.substr(dot);
  }

  std::map<std::uint32_t, std::string> m_sha;
};

TEST_F(RecoveryJobs, AScriptedRunAnswersOverwriteQuestionsAndWritesTheKeysBytes) {
  const std::vector<const char*> paths = {kDraftPath, kBudgetPath, kCompressedPath};
  std::string dest = test::ScratchFolder("job_scripted");
  // First and second run: the plain names, then the numbered ones; nothing is asked.
  for (int run = 0; run < 2; ++run) {
    CScriptedFrontEnd fe(dest);
    CRecoveryJob job(Request(paths, dest), &fe, &fe);
    RecoveryJobSnapshot s = RunToEnd(job);
    EXPECT_EQ(job.Result(), REC_S_OK);
    EXPECT_TRUE(fe.asked.empty());
    EXPECT_EQ(s.itemsDone, 3u);
    EXPECT_EQ(s.itemsTotal, 3u);
    EXPECT_EQ(s.failed, 0u);
    EXPECT_EQ(s.bytesDone, s.bytesTotal);
    for (const char* p : paths) {
      std::string file = dest + "/" + (run == 0 ? fs::path(p).filename().string() : Numbered(p));
      EXPECT_EQ(test::Sha256OfFile(file), m_sha.at(m_records.at(p))) << file;
    }
  }
  // Both names taken, the numbered files spoiled: "No" to the first question, then "Yes to
  // all", which answers for the rest without asking again.
  for (const char* p : paths) std::ofstream(dest + "/" + Numbered(p), std::ios::trunc) << "junk";
  CScriptedFrontEnd fe(dest);
  fe.answers = {PromptButton::kNo, PromptButton::kYesToAll};
  CRecoveryJob job(Request(paths, dest), &fe, &fe);
  RecoveryJobSnapshot s = RunToEnd(job);
  ASSERT_EQ(fe.asked.size(), 2u);
  EXPECT_EQ(fe.asked[0].text, FormatResString(kIdsFileExists, dest + "/" + Numbered(kDraftPath)));
  ASSERT_EQ(fe.reports.size(), 3u);
  EXPECT_EQ(fe.reports[0].result, REC_S_NOTHING_DONE);
  EXPECT_EQ(Slurp(dest + "/" + Numbered(kDraftPath)), "junk");
  for (const char* p : {kBudgetPath, kCompressedPath}) {
    EXPECT_EQ(test::Sha256OfFile(dest + "/" + Numbered(p)), m_sha.at(m_records.at(p))) << p;
  }
  EXPECT_EQ(s.skipped, 1u);
  EXPECT_EQ(s.failed, 0u);
  EXPECT_TRUE(fe.rows.empty());
  EXPECT_EQ(s.detail.fileOverwriteChoice, OverwriteChoice::kYesToAll);
}

TEST_F(RecoveryJobs, CancelInsideAFileKeepsItsPartAndStartsNoFurtherItem) {
  auto source =
      std::make_unique<CSlowSource>(CDriveTable::Instance().Find(m_image.letter)->OpenSource());
  auto slow = std::make_unique<CNtfsVolume>();
  slow->AttachDevice(std::move(source));
  ASSERT_TRUE(slow->Initialize(m_image.letter));
  std::string dest = test::ScratchFolder("job_cancel");
  CScriptedFrontEnd fe(dest);
  RecoveryRequest request = Request({kLargePath, kDraftPath}, dest, slow.get());
  const std::uint64_t largeSize = request.items[0].size;
  CRecoveryJob job(std::move(request), &fe, &fe);
  ASSERT_TRUE(job.Start());
  while (!job.Finished() && job.Snapshot().bytesDone == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  job.Cancel();
  job.Wait();
  RecoveryJobSnapshot s = job.Snapshot();
  EXPECT_TRUE(s.detail.stopped);
  ASSERT_EQ(fe.reports.size(), 1u);
  EXPECT_EQ(fe.reports[0].result, REC_E_ABORT);
  EXPECT_EQ(fe.reports[0].destination, dest + "/large-deleted.bin.partial");
  auto size = fs::file_size(dest + "/large-deleted.bin.partial");
  EXPECT_GT(size, 0u);
  EXPECT_LT(size, largeSize);
  EXPECT_FALSE(fs::exists(dest + "/large-deleted.bin"));
  EXPECT_FALSE(fs::exists(dest + "/draft-old.txt"));
  EXPECT_EQ(s.failed, 1u);
}

TEST_F(RecoveryJobs, TwoJobsKeepTheirOwnProgress) {
  std::string destA = test::ScratchFolder("job_two_a");
  std::string destB = test::ScratchFolder("job_two_b");
  CScriptedFrontEnd feA(destA), feB(destB);
  // Each job reads through a reader of its own.
  std::unique_ptr<CVolume> second;
  ASSERT_TRUE(OpenVolume(m_image.letter, second));
  RecoveryRequest a = Request({kDraftPath}, destA);
  RecoveryRequest b = Request({kBudgetPath, kCompressedPath}, destB, second.get());
  const std::uint64_t bytesA = a.items[0].size;
  const std::uint64_t bytesB = b.items[0].size + b.items[1].size;
  CRecoveryJob jobA(std::move(a), &feA, &feA);
  CRecoveryJob jobB(std::move(b), &feB, &feB);
  ASSERT_TRUE(jobA.Start());
  ASSERT_TRUE(jobB.Start());
  jobA.Wait();
  jobB.Wait();
  RecoveryJobSnapshot sa = jobA.Snapshot(), sb = jobB.Snapshot();
  EXPECT_EQ(sa.itemsTotal, 1u);
  EXPECT_EQ(sa.itemsDone, 1u);
  EXPECT_EQ(sa.bytesTotal, bytesA);
  EXPECT_EQ(sa.bytesDone, bytesA);
  EXPECT_EQ(sa.detail.filesRecovered, 1u);
  EXPECT_EQ(sb.itemsTotal, 2u);
  EXPECT_EQ(sb.itemsDone, 2u);
  EXPECT_EQ(sb.bytesTotal, bytesB);
  EXPECT_EQ(sb.bytesDone, bytesB);
  EXPECT_EQ(sb.detail.filesRecovered, 2u);
  EXPECT_EQ(test::Sha256OfFile(destA + "/draft-old.txt"), m_sha.at(m_records.at(kDraftPath)));
  EXPECT_EQ(test::Sha256OfFile(destB + "/budget-deleted.bin"), m_sha.at(m_records.at(kBudgetPath)));
}

TEST_F(RecoveryJobs, StoppedBeforeStartWritesNothingAndTheUsageTotalsCountWhatWasWritten) {
  std::string root = test::ScratchFolder("job_not_started");
  {
    CScriptedFrontEnd fe(root + "/never");
    CRecoveryJob job(Request({kDraftPath}, root + "/never"), &fe, &fe);
    job.Cancel();
    ASSERT_TRUE(job.Start());
    job.Wait();
    EXPECT_EQ(job.Result(), REC_S_OK);
    EXPECT_TRUE(job.Snapshot().detail.stopped);
    EXPECT_TRUE(fe.reports.empty());
    EXPECT_FALSE(fs::exists(root + "/never"));
  }
  // Without a volume, or without a destination (which must never become "/"), no run.
  for (bool volume : {false, true}) {
    RecoveryRequest bad = Request({kDraftPath}, volume ? "" : root + "/none");
    if (!volume) bad.volume = nullptr;
    CScriptedFrontEnd fe(root);
    CRecoveryJob job(std::move(bad), &fe, &fe);
    ASSERT_TRUE(job.Start());
    job.Wait();
    EXPECT_EQ(job.Result(), REC_E_INVALIDARG);
    EXPECT_TRUE(fe.reports.empty());
  }
  EXPECT_FALSE(fs::exists("/draft-old.txt"));
  for (bool count : {false, true}) {
    UsageTotals before = CurrentUsageTotals();
    std::string dest = root + (count ? "/counted" : "/uncounted");
    CScriptedFrontEnd fe(dest);
    RecoveryRequest request = Request({kDraftPath, kBudgetPath}, dest);
    request.countUsage = count;
    CRecoveryJob job(std::move(request), &fe, &fe);
    RecoveryJobSnapshot s = RunToEnd(job);
    UsageTotals after = CurrentUsageTotals();
    EXPECT_EQ(after.filesThisRun - before.filesThisRun, count ? 2u : 0u);
    EXPECT_EQ(after.bytesThisRun - before.bytesThisRun, count ? s.detail.bytesWritten : 0u);
    EXPECT_GT(s.detail.bytesWritten, 0u);
  }
}

}  // namespace
}  // namespace sorvani
