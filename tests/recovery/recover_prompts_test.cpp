// The questions of a run and what each answer does: collision names, "Yes to all" and "No to
// all" for files and folders, "Ignore all", a missing parent folder, Stop in the middle of a
// file, raw ranges. Runs on the committed NTFS fixture with its TSK answer key.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "disk/drive_table.h"
#include "foundation/res_strings.h"
#include "index/file_index.h"
#include "recovery/recover_catalogue.h"
#include "recovery/recover_engine.h"
#include "tests/recovery/recovery_test_util.h"
#include "tests/util/fixtures.h"
#include "volumes/open_volume.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using test::CScriptedFrontEnd;

// Deleted items of ntfs-4k.img, found by their path in its key.
constexpr const char* kDraftPath = "Docs/Reports/2023/draft-old.txt";
constexpr const char* kBudgetPath = "Docs/Reports/2023/budget-deleted.bin";
constexpr const char* kOldProjectPath = "OldProject";             // a deleted folder tree
constexpr const char* kSparsePath = "Sparse/sparse-deleted.bin";  // 3.3 MB

class RecoverPrompts : public test::CIndexedImageTest {
 protected:
  void SetUp() override {
    CIndexedImageTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    m_key = test::DeletedStreamsOfKey(m_keyText);
    for (const char* p : {kDraftPath, kBudgetPath, kOldProjectPath, kSparsePath})
      ASSERT_TRUE(m_records.count(p)) << p << " is not a deleted item of the key";
    kDraftTxt = m_records[kDraftPath];
    kBudgetBin = m_records[kBudgetPath];
    kOldProject = m_records[kOldProjectPath];
    kSparseBig = m_records[kSparsePath];
  }

  std::string Numbered(const std::string& stem, std::uint32_t record, const std::string& ext) {
    return stem + " (" + std::to_string(record) + ")" + ext;
  }

  std::string KeySha(std::uint32_t record) {
    for (const auto& k : m_key)
      if (k.record == record && k.stream.empty()) return k.sha256;
    return "";
  }

  RecoverResult Run(CScriptedFrontEnd& fe, NextRecoverItem items,
                    std::uint32_t flags = RF_ALL_STREAMS | RF_FOLDER_ATTRIBUTES) {
    return test::RunRecovery(fe, *m_image.volume, flags, std::move(items), m_catalogue.get());
  }

  std::vector<test::KeyStream> m_key;
  std::uint32_t kDraftTxt = 0, kBudgetBin = 0, kOldProject = 0, kSparseBig = 0;
};

void Touch(const std::string& path, const std::string& text = "keep me") {
  std::ofstream(path) << text;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(RecoverPrompts, FileCollisionsAndOverwriteChoices) {
  std::string dest = test::ScratchFolder("prompts_files");
  // A taken name gets the record number before the extension; nothing is asked.
  Touch(dest + "/draft-old.txt");
  {
    CScriptedFrontEnd fe(dest);
    ASSERT_EQ(Run(fe, test::ItemsFor({kDraftTxt})), REC_S_OK);
    EXPECT_TRUE(fe.asked.empty());
    EXPECT_EQ(Slurp(dest + "/draft-old.txt"), "keep me");
    EXPECT_EQ(test::Sha256OfFile(dest + "/" + Numbered("draft-old", kDraftTxt, ".txt")),
              KeySha(kDraftTxt));
  }
  // Both names taken: the question concerns the numbered name. "No to all" skips this file
  // and the next one without asking again; a declined overwrite is a skip, not a failure.
  Touch(dest + "/" + Numbered("draft-old", kDraftTxt, ".txt"));
  Touch(dest + "/budget-deleted.bin");
  Touch(dest + "/" + Numbered("budget-deleted", kBudgetBin, ".bin"));
  {
    CScriptedFrontEnd fe(dest);
    fe.answers = {PromptButton::kNoToAll};
    ASSERT_EQ(Run(fe, test::ItemsFor({kDraftTxt, kBudgetBin})), REC_S_OK);
    ASSERT_EQ(fe.asked.size(), 1u);
    EXPECT_EQ(
        fe.asked[0].text,
        FormatResString(kIdsFileExists, dest + "/" + Numbered("draft-old", kDraftTxt, ".txt")));
    EXPECT_EQ(fe.asked[0].Default(), PromptButton::kNo);
    EXPECT_TRUE(fe.rows.empty());
    ASSERT_EQ(fe.reports.size(), 2u);
    for (const auto& r : fe.reports) EXPECT_EQ(r.result, REC_S_NOTHING_DONE) << r.destination;
    EXPECT_EQ(Slurp(dest + "/" + Numbered("budget-deleted", kBudgetBin, ".bin")), "keep me");
    RecoveryProgress p = fe.progress;
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.filesSkipped, 2u);
    EXPECT_EQ(p.filesRecovered, 0u);
  }
  // "Yes to all" overwrites both, asking once.
  {
    CScriptedFrontEnd fe(dest);
    fe.answers = {PromptButton::kYesToAll};
    ASSERT_EQ(Run(fe, test::ItemsFor({kDraftTxt, kBudgetBin})), REC_S_OK);
    EXPECT_EQ(fe.asked.size(), 1u);
    EXPECT_TRUE(fe.rows.empty());
    EXPECT_EQ(test::Sha256OfFile(dest + "/" + Numbered("draft-old", kDraftTxt, ".txt")),
              KeySha(kDraftTxt));
    EXPECT_EQ(test::Sha256OfFile(dest + "/" + Numbered("budget-deleted", kBudgetBin, ".bin")),
              KeySha(kBudgetBin));
    RecoveryProgress p = fe.progress;
    EXPECT_EQ(p.filesRecovered, 2u);
    EXPECT_FALSE(p.failed);
    EXPECT_EQ(p.bytesRecovered, p.bytesProcessed);
  }
}

TEST_F(RecoverPrompts, FoldersMergeSkipAndRebuildTheirTree) {
  std::string dest = test::ScratchFolder("prompts_folders");
  {
    CScriptedFrontEnd fe(dest);
    ASSERT_EQ(Run(fe, test::ItemsFor({kOldProject}, 0x10)), REC_S_OK);
    EXPECT_TRUE(fe.rows.empty());
    // The deleted tree comes back whole, each file identical to icat's.
    int compared = 0;
    for (const auto& k : m_key) {
      if (k.path.rfind("OldProject/", 0) != 0 || !k.stream.empty()) continue;
      EXPECT_EQ(test::Sha256OfFile(dest + "/" + k.path), k.sha256) << k.path;
      ++compared;
    }
    EXPECT_GE(compared, 4);
    EXPECT_EQ(fe.progress.foldersRecovered, 4u);
  }
  // Second time the name is taken: "OldProject (record number)".
  {
    CScriptedFrontEnd fe(dest);
    ASSERT_EQ(Run(fe, test::ItemsFor({kOldProject}, 0x10)), REC_S_OK);
    EXPECT_TRUE(
        fs::is_directory(dest + "/" + Numbered("OldProject", kOldProject, "") + "/src/lib/deep"));
  }
  // Both taken: "No" to the question leaves the existing folder alone, and once "No to all"
  // was chosen later existing folders are too; neither is a failure ("nothing done").
  {
    CScriptedFrontEnd fe(dest);
    fe.answers = {PromptButton::kNo, PromptButton::kNoToAll};
    ASSERT_EQ(Run(fe, test::ItemsFor({kOldProject, kOldProject, kOldProject}, 0x10)), REC_S_OK);
    ASSERT_EQ(fe.asked.size(), 2u);
    EXPECT_EQ(fe.asked[0].text, FormatResString(kIdsFolderExists, dest + "/OldProject"));
    EXPECT_TRUE(fe.rows.empty());
    ASSERT_EQ(fe.reports.size(), 3u);
    for (const auto& r : fe.reports) EXPECT_EQ(r.result, REC_S_NOTHING_DONE);
    EXPECT_FALSE(fe.progress.failed);
  }
  // "Yes" merges into the existing folder; its files then collide and get numbered names.
  {
    CScriptedFrontEnd fe(dest);
    fe.answers = {PromptButton::kYes};
    ASSERT_EQ(Run(fe, test::ItemsFor({kOldProject}, 0x10)), REC_S_OK);
    EXPECT_TRUE(fs::exists(
        dest + "/" + Numbered("OldProject/README", m_records["OldProject/README.txt"], ".txt")));
  }
}

TEST_F(RecoverPrompts, MissingParentIsCreatedAfterYesAndSkippedAfterNo) {
  std::string dest = test::ScratchFolder("prompts_parent");
  fs::create_directories(dest + "/a");  // some parents exist already
  CScriptedFrontEnd fe(dest);
  fe.answers = {PromptButton::kNo, PromptButton::kYes};
  RecoverJob job;
  job.volume = m_image.volume.get();
  job.catalogue = m_catalogue.get();
  job.prompt = &fe;
  job.events = &fe;
  job.destination = dest + "/";
  EXPECT_EQ(RecoverFolder(job, dest + "/a/b/c/OldProject", kOldProject, RF_ALL_STREAMS),
            REC_E_SKIPPED);
  EXPECT_FALSE(fs::exists(dest + "/a/b"));
  EXPECT_EQ(RecoverFolder(job, dest + "/a/b/c/OldProject", kOldProject, RF_ALL_STREAMS), REC_S_OK);
  EXPECT_EQ(fe.asked.size(), 2u);
  EXPECT_EQ(fe.asked[1].text, FormatResString(kIdsFolderParentMissing, dest + "/a/b/c/OldProject"));
  EXPECT_TRUE(fs::exists(dest + "/a/b/c/OldProject/README.txt"));
}

// A catalogue that claims entries for records the volume cannot read.
class CBrokenCatalogue : public IRecoverCatalogue {
 public:
  bool FindEntry(std::uint32_t record, CatalogueEntry& e) const override {
    e = {record, "ghost" + std::to_string(record) + ".txt", 0x20, 5};
    return true;
  }
  bool IsOrphanFolder(std::uint32_t) const override { return false; }
  void Children(std::uint32_t, std::vector<CatalogueEntry>& out) const override { out.clear(); }
  void AllEntries(std::vector<CatalogueEntry>& out) const override { out.clear(); }
  std::string LiveFolderPath(std::uint32_t) override { return ""; }
};

TEST_F(RecoverPrompts, IgnoreAllSilencesLaterFailuresAndCancelEndsTheRun) {
  CBrokenCatalogue broken;
  std::vector<std::uint32_t> ghosts = {0xFFFFF0, 0xFFFFF1, 0xFFFFF2};
  {
    std::string dest = test::ScratchFolder("prompts_ignore_all");
    CScriptedFrontEnd fe(dest);
    fe.answers = {PromptButton::kIgnoreAll};
    ASSERT_EQ(
        test::RunRecovery(fe, *m_image.volume, RF_ALL_STREAMS, test::ItemsFor(ghosts), &broken),
        REC_S_OK);
    ASSERT_EQ(fe.asked.size(), 1u);
    EXPECT_EQ(fe.asked[0].text,
              FormatResString(kIdsMsgRecordUnreadable, dest + "/ghost16777200.txt"));
    ASSERT_EQ(fe.rows.size(), 3u);  // every failure is still listed
    EXPECT_EQ(fe.rows[0].first, LoadResString(kIdsStatusRecordUnreadable));
    EXPECT_EQ(fe.reports[0].result, REC_E_IGNORE_ALL);
    EXPECT_EQ(fe.reports[2].result, REC_E_SKIPPED);
  }
  {
    std::string dest = test::ScratchFolder("prompts_cancel_box");
    CScriptedFrontEnd fe(dest);
    fe.answers = {PromptButton::kCancel};
    ASSERT_EQ(
        test::RunRecovery(fe, *m_image.volume, RF_ALL_STREAMS, test::ItemsFor(ghosts), &broken),
        REC_S_OK);
    EXPECT_EQ(fe.asked.size(), 1u);
    EXPECT_EQ(fe.reports.size(), 1u);  // the walk ended with the first item
    EXPECT_EQ(fe.reports[0].result, REC_E_ABORT);
  }
}

TEST_F(RecoverPrompts, StopDuringAFileKeepsThePartialFileAndEndsTheWalk) {
  std::string dest = test::ScratchFolder("prompts_stop");
  CScriptedFrontEnd fe(dest);
  fe.prepare = [](RecoverJob& j) {
    j.pieceSize = 16;
  };  // very many pieces: Stop lands inside the file
  fe.watch = [](RecoverJob& j) {
    if (j.Snapshot().bytesProcessed == 0) return false;
    j.cancel.Set();
    return true;
  };
  ASSERT_EQ(Run(fe, test::ItemsFor({kSparseBig, kDraftTxt})), REC_S_OK);
  ASSERT_EQ(fe.reports.size(), 1u);
  EXPECT_EQ(fe.reports[0].result, REC_E_ABORT);
  ASSERT_EQ(fe.rows.size(), 1u);
  EXPECT_EQ(fe.rows[0].first, LoadResString(kIdsStatusAborted));
  // The part written is kept, under a name that does not look complete.
  EXPECT_FALSE(fs::exists(dest + "/sparse-deleted.bin"));
  EXPECT_EQ(fe.reports[0].destination, dest + "/sparse-deleted.bin.partial");
  auto size = fs::file_size(dest + "/sparse-deleted.bin.partial");
  EXPECT_GT(size, 0u);
  EXPECT_LT(size, 3309568u);
  EXPECT_FALSE(fs::exists(dest + "/draft-old.txt"));
}

TEST(RecoverRawRanges, RangesOfAnyVolumeComeOutAsOnTheDevice) {
  std::string image = test::Fixture("fat16.img");
  if (image.empty()) GTEST_SKIP();
  std::string error;
  auto letters = CDriveTable::Instance().RegisterImage(image, error);
  ASSERT_FALSE(letters.empty()) << error;
  std::string dest = test::ScratchFolder("raw_ranges");
  std::vector<RecoverItem> items(3);
  items[0].id = 3;  // a range that starts inside a cluster and crosses several
  items[0].offsetInUnit = 100;
  items[0].size = 70000;
  items[0].name = "RANGE1.bin";
  items[1].id = 5;
  items[1].size = 0;
  items[1].name = "EMPTY.bin";
  items[2].id = 7;
  items[2].size = 10;
  items[2].name = "../escape.bin";
  CScriptedFrontEnd fe(dest);
  ASSERT_EQ(test::RunRawRanges(fe, letters[0], 0, MakeItemList(items)), REC_S_OK);
  ASSERT_EQ(fe.reports.size(), 3u);
  for (const auto& r : fe.reports) EXPECT_EQ(r.result, REC_S_OK) << r.destination;
  EXPECT_EQ(fs::file_size(dest + "/EMPTY.bin"), 0u);
  EXPECT_TRUE(fs::exists(dest + "/.._escape.bin"));

  // The bytes are the device's own: read them back through a volume of the same drive.
  std::unique_ptr<CVolume> volume;
  ASSERT_TRUE(OpenVolume(letters[0], volume));
  std::vector<std::uint8_t> expect(70000);
  std::uint32_t got = 70000;
  ASSERT_TRUE(volume->ReadRaw(3, 100, expect.data(), got));
  ASSERT_EQ(got, 70000u);
  EXPECT_EQ(test::ReadWholeFile(dest + "/RANGE1.bin"), expect);
  EXPECT_EQ(test::RunRawRanges(fe, '9', 0, MakeItemList({})), REC_E_INVALIDARG);
}

}  // namespace
}  // namespace sorvani
