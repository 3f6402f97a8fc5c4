// When writing goes wrong: a destination that fills up, one that is read-only, one that
// vanishes in the middle of a run, and a source stream that stops short. What was written
// stays, each failure is a row and a question, and the run goes on or ends as answered.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "disk/drive_table.h"
#include "foundation/endian.h"
#include "foundation/log.h"
#include "foundation/res_strings.h"
#include "index/file_index.h"
#include "ntfs/ntfs_attr.h"
#include "ntfs/ntfs_file.h"
#include "recovery/recover_catalogue.h"
#include "recovery/recover_engine.h"
#include "tests/recovery/recovery_test_util.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using test::CScriptedFrontEnd;

// A tmpfs mounted on a scratch folder for one test; needs the right to mount.
class CScratchMount {
 public:
  CScratchMount(const std::string& folder, const char* options) : m_folder(folder) {
    m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options) == 0;
  }
  ~CScratchMount() {
    if (m_mounted) ::umount2(m_folder.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return m_mounted; }
  bool MakeReadOnly() {
    return ::mount("tmpfs", m_folder.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string m_folder;
  bool m_mounted = false;
};

bool Offers(const PromptRequest& r, PromptButton b) {
  return std::find(r.buttons.begin(), r.buttons.end(), b) != r.buttons.end();
}

class RecoverDestinations : public ::testing::Test {
 protected:
  void SetUp() override {
    m_imagePath = test::Fixture("ntfs-4k.img");
    if (m_imagePath.empty()) GTEST_SKIP();
    m_imageSha = test::Sha256OfFile(m_imagePath);
    Open(m_imagePath);
    auto key = nlohmann::json::parse(test::FixtureText("ntfs-4k.img.key.json"), nullptr, false);
    ASSERT_FALSE(key.is_discarded());
    for (const auto& e : key["entries"])
      if (e.value("deleted", false))
        m_records[e.value("path", "")] = e.at("record").get<std::uint32_t>();
    for (const auto& k : test::DeletedStreamsOfKey(key.dump()))
      if (k.stream.empty()) m_sha[k.record] = k.sha256;
    m_draft = m_records.at("Docs/Reports/2023/draft-old.txt");        // 300 bytes
    m_budget = m_records.at("Docs/Reports/2023/budget-deleted.bin");  // 150,000 bytes, one run
    m_sparse = m_records.at("Sparse/sparse-deleted.bin");             // 3.3 MB
    m_tree = m_records.at("OldProject");
  }
  void TearDown() override {
    if (!m_imagePath.empty()) {
      EXPECT_EQ(test::Sha256OfFile(m_imagePath), m_imageSha) << "the source changed";
    }
  }

  void Open(const std::string& image) {
    m_image = test::OpenIndexedImage(image);
    ASSERT_NE(m_image.ntfs, nullptr);
    m_catalogue = std::make_unique<CFileIndexCatalogue>(file_index, m_image.ntfs);
  }

  RecoverResult Run(CScriptedFrontEnd& fe, const std::vector<std::uint32_t>& records,
                    std::uint32_t folderMask = 0, std::uint32_t flags = RF_ALL_STREAMS) {
    return test::RunRecovery(fe, *m_image.volume, flags, test::ItemsFor(records, folderMask),
                             m_catalogue.get());
  }

  std::string m_imagePath, m_imageSha;
  test::IndexedImage m_image;
  std::unique_ptr<CFileIndexCatalogue> m_catalogue;
  std::map<std::string, std::uint32_t> m_records;
  std::map<std::uint32_t, std::string> m_sha;
  std::uint32_t m_draft = 0, m_budget = 0, m_sparse = 0, m_tree = 0;
};

TEST_F(RecoverDestinations, FullDestinationAsksAndKeepsWhatWasWritten) {
  std::string dest = test::ScratchFolder("dest_full");
  CScratchMount mount(dest, "size=96k");
  if (!mount.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  {
    CScriptedFrontEnd fe(dest);  // Ignore whenever asked
    ASSERT_EQ(Run(fe, {m_draft, m_budget, m_sparse}), REC_S_OK);
    ASSERT_EQ(fe.reports.size(), 3u);
    EXPECT_EQ(fe.reports[0].result, REC_S_OK);
    EXPECT_EQ(test::Sha256OfFile(dest + "/draft-old.txt"), m_sha.at(m_draft));
    // The 150,000-byte file fills the folder: the system's reason and the path are shown,
    // Abort, Retry and Ignore are offered, and the part written stays, under a name that
    // does not look complete.
    ASSERT_FALSE(fe.asked.empty());
    const PromptRequest& first = fe.asked[0];
    EXPECT_EQ(first.text, FormatResString(kIdsWriteFailed, SystemErrorText(ENOSPC),
                                          dest + "/budget-deleted.bin"));
    EXPECT_TRUE(Offers(first, PromptButton::kAbort) && Offers(first, PromptButton::kRetry));
    EXPECT_EQ(fe.reports[1].result, REC_E_SKIPPED);
    EXPECT_EQ(fe.reports[1].destination, dest + "/budget-deleted.bin.partial");
    EXPECT_FALSE(fs::exists(dest + "/budget-deleted.bin"));
    EXPECT_GT(fs::file_size(dest + "/budget-deleted.bin.partial"), 0u);
    // The run went on to the last item, which fails the same way.
    EXPECT_TRUE(RecoverFailed(fe.reports[2].result));
    EXPECT_FALSE(fs::exists(dest + "/sparse-deleted.bin"));
    ASSERT_EQ(fe.rows.size(), 2u);
    EXPECT_EQ(fe.rows[0].first, LoadResString(kIdsStatusWriteFailed));
    RecoveryProgress p = fe.progress;
    EXPECT_EQ(p.filesTried, 3u);
    EXPECT_EQ(p.filesRecovered, 1u);
    EXPECT_TRUE(p.failed);
  }
  // Abort ends the run at the failing item; the file written before it is still there.
  for (const auto& e : fs::directory_iterator(dest))
    if (e.path().filename() != "draft-old.txt") fs::remove(e.path());
  {
    CScriptedFrontEnd fe(dest);
    fe.answers = {PromptButton::kAbort};
    ASSERT_EQ(Run(fe, {m_budget, m_sparse}), REC_S_OK);
    ASSERT_EQ(fe.reports.size(), 1u);
    EXPECT_EQ(fe.reports[0].result, REC_E_ABORT);
    EXPECT_TRUE(fs::exists(dest + "/budget-deleted.bin.partial"));
    EXPECT_EQ(test::Sha256OfFile(dest + "/draft-old.txt"), m_sha.at(m_draft));
  }
}

TEST_F(RecoverDestinations, ReadOnlyDestinationFailsEachItemWithItsReason) {
  std::string dest = test::ScratchFolder("dest_read_only");
  CScratchMount mount(dest, "size=1m");
  if (!mount.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  ASSERT_TRUE(mount.MakeReadOnly());
  {
    CScriptedFrontEnd fe(dest);
    ASSERT_EQ(Run(fe, {m_draft}), REC_S_OK);
    ASSERT_EQ(fe.asked.size(), 1u);
    EXPECT_EQ(fe.asked[0].text,
              FormatResString(kIdsFileCreateFailed, SystemErrorText(EROFS),
                              dest + "/draft-old (" + std::to_string(m_draft) + ").txt"));
    ASSERT_EQ(fe.reports.size(), 1u);
    EXPECT_EQ(fe.reports[0].result, REC_E_SKIPPED);
    EXPECT_EQ(fe.rows.size(), 1u);
  }
  {
    CScriptedFrontEnd fe(dest);
    ASSERT_EQ(Run(fe, {m_tree}, kAttrFolderBit), REC_S_OK);
    ASSERT_EQ(fe.asked.size(), 1u);
    EXPECT_EQ(fe.asked[0].text, FormatResString(kIdsFolderCreateFailed, SystemErrorText(EROFS),
                                                dest + "/OldProject"));
    EXPECT_EQ(fe.reports.back().result, REC_E_SKIPPED);
  }
  {
    // Without questions every item is still a row.
    CScriptedFrontEnd fe(dest);
    ASSERT_EQ(Run(fe, {m_draft, m_budget}, 0, RF_ALL_STREAMS | RF_QUIET), REC_S_OK);
    EXPECT_TRUE(fe.asked.empty());
    EXPECT_EQ(fe.rows.size(), 2u);
  }
  EXPECT_TRUE(fs::is_empty(dest));
}

TEST_F(RecoverDestinations, VanishedDestinationIsNotRecreatedBehindTheUsersBack) {
  std::string dest = test::ScratchFolder("dest_vanish");
  std::string moved = dest + ".moved";
  fs::remove_all(moved);
  CScriptedFrontEnd fe(dest);
  fe.onItem = [&](RecoverJob&, const RecoveredItemReport& r) {
    if (r.id == m_draft) fs::rename(dest, moved);  // e.g. the disk was unplugged and remounted
  };
  // First question: Ignore. Second: the person puts the folder back and retries.
  fe.rule = [&](const PromptRequest&) {
    if (fe.asked.size() == 1) return PromptButton::kIgnore;
    fs::create_directory(dest);
    return PromptButton::kRetry;
  };
  ASSERT_EQ(Run(fe, {m_draft, m_budget, m_sparse}), REC_S_OK);
  ASSERT_EQ(fe.reports.size(), 3u);
  EXPECT_EQ(test::Sha256OfFile(moved + "/draft-old.txt"), m_sha.at(m_draft));
  EXPECT_EQ(fe.reports[1].result, REC_E_SKIPPED);
  ASSERT_EQ(fe.asked.size(), 2u);
  EXPECT_EQ(fe.asked[0].text,
            FormatResString(kIdsFileCreateFailed, SystemErrorText(ENOENT),
                            dest + "/budget-deleted (" + std::to_string(m_budget) + ").bin"));
  EXPECT_FALSE(fs::exists(moved + "/budget-deleted.bin"));
  EXPECT_EQ(fe.reports[2].result, REC_S_OK);
  // The name was taken by the failed attempt's numbered fallback, which the retry keeps.
  EXPECT_EQ(test::Sha256OfFile(dest + "/sparse-deleted (" + std::to_string(m_sparse) + ").bin"),
            m_sha.at(m_sparse));
  fs::remove_all(moved);
}

// Points the first data run of `record` in a copy of the image at the volume's last cluster,
// so the stream can be read for one cluster and then runs off the volume.
bool CutStreamShort(const std::string& image, CNtfsVolume& volume, std::uint32_t record) {
  CNtfsFileAttr* mft = volume.MftFile().FindAttribute(kAttrData);
  if (!mft) return false;
  const std::uint64_t cluster = volume.BytesPerCluster();
  const std::uint64_t recordSize = volume.MftRecordSize();
  std::uint64_t vcn = record * recordSize / cluster, at = 0;
  std::uint64_t first = 0;
  std::int64_t lcn = 0;
  for (const DataRun& run : mft->Runs()) {
    lcn += run.lcnDelta;
    if (!run.sparse && vcn < first + run.length) {
      at = (static_cast<std::uint64_t>(lcn) + (vcn - first)) * cluster +
           record * recordSize % cluster;
      break;
    }
    first += run.length;
  }
  if (at == 0) return false;
  std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<std::uint8_t> r(recordSize);
  f.seekg(static_cast<std::streamoff>(at));
  f.read(reinterpret_cast<char*>(r.data()), static_cast<std::streamsize>(r.size()));
  if (!f || ReadLe32(ByteSpan(r.data(), r.size()), 0x2C) != record) return false;
  ByteSpan bytes(r.data(), r.size());
  std::uint32_t offset = ReadLe16(bytes, 0x14);
  for (;;) {
    if (offset + 0x48 >= r.size() || ReadLe32(bytes, offset) == 0xFFFFFFFFu) return false;
    // The unnamed, non-resident $DATA.
    if (ReadLe32(bytes, offset) == kAttrData && r[offset + 8] == 1 && r[offset + 9] == 0) break;
    std::uint32_t length = ReadLe32(bytes, offset + 4);
    if (length == 0) return false;
    offset += length;
  }
  std::uint32_t runs = offset + ReadLe16(ByteSpan(r.data(), r.size()), offset + 0x20);
  unsigned lengthBytes = r[runs] & 0xF, offsetBytes = r[runs] >> 4;
  std::uint64_t last = volume.ClusterCount() - 1;
  if (offsetBytes < 2 || offsetBytes > 4 || last >= (1ull << (8 * offsetBytes - 1))) return false;
  const std::uint16_t usaOffset = ReadLe16(ByteSpan(r.data(), r.size()), 4);
  for (unsigned i = 0; i < offsetBytes; ++i) {
    std::size_t pos = runs + 1 + lengthBytes + i;
    // The last two bytes of each sector live in the update sequence array on disk.
    std::size_t stored =
        pos % 512 >= 510 ? usaOffset + 2 + 2 * (pos / 512) + (pos % 512 - 510) : pos;
    r[stored] = static_cast<std::uint8_t>(last >> (8 * i));
  }
  f.seekp(static_cast<std::streamoff>(at));
  f.write(reinterpret_cast<const char*>(r.data()), static_cast<std::streamsize>(r.size()));
  return static_cast<bool>(f);
}

TEST_F(RecoverDestinations, StreamThatStopsShortIsKeptAndReported) {
  std::string copy = test::ScratchFolder("stream_short_image") + "/ntfs-4k-cut.img";
  fs::copy_file(m_imagePath, copy, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(CutStreamShort(copy, *m_image.ntfs, m_budget));
  Open(copy);
  std::string dest = test::ScratchFolder("stream_short");
  {
    CScriptedFrontEnd fe(dest);
    ASSERT_EQ(Run(fe, {m_budget, m_draft}), REC_S_OK);
    ASSERT_EQ(fe.asked.size(), 1u);
    EXPECT_EQ(fe.asked[0].text,
              FormatResString(kIdsMsgStreamIncomplete, dest + "/budget-deleted.bin"));
    ASSERT_EQ(fe.reports.size(), 2u);
    EXPECT_TRUE(RecoverFailed(fe.reports[0].result));
    EXPECT_LT(fe.reports[0].bytes, 150000u);
    EXPECT_FALSE(fs::exists(dest + "/budget-deleted.bin"));
    EXPECT_EQ(fs::file_size(dest + "/budget-deleted.bin.partial"), fe.reports[0].bytes);
    ASSERT_EQ(fe.rows.size(), 1u);
    EXPECT_EQ(fe.rows[0].first, LoadResString(kIdsStatusStreamIncomplete));
    EXPECT_EQ(fe.reports[1].result, REC_S_OK);  // the run went on
    EXPECT_EQ(fe.progress.filesRecovered, 1u);
  }
  {
    // Cancel in that question ends the run.
    std::string again = test::ScratchFolder("stream_short_cancel");
    CScriptedFrontEnd fe(again);
    fe.answers = {PromptButton::kCancel};
    ASSERT_EQ(Run(fe, {m_budget, m_draft}), REC_S_OK);
    ASSERT_EQ(fe.reports.size(), 1u);
    EXPECT_EQ(fe.reports[0].result, REC_E_ABORT);
  }
}

TEST_F(RecoverDestinations, ItemsThatFailBeforeWritingAreCountedAndReported) {
  // A record that is no deleted item ($Volume) is not in the catalogue: the run says so,
  // counts it as a failed file, and writes nothing under a made-up name.
  std::string dest = test::ScratchFolder("dest_unknown_record");
  CScriptedFrontEnd fe(dest);
  ASSERT_EQ(Run(fe, {3, m_draft}), REC_S_OK);
  ASSERT_EQ(fe.reports.size(), 2u);
  EXPECT_EQ(fe.reports[0].result, REC_E_UNEXPECTED);
  EXPECT_EQ(fe.reports[0].id, 3u);
  EXPECT_TRUE(fe.reports[0].destination.empty());
  ASSERT_EQ(fe.rows.size(), 1u);
  EXPECT_EQ(fe.rows[0].first, LoadResString(kIdsStatusRecordUnreadable));
  RecoveryProgress p = fe.progress;
  EXPECT_EQ(p.filesTried, 2u);
  EXPECT_EQ(p.filesRecovered, 1u);
  EXPECT_FALSE(fs::exists(dest + "/3"));
}

}  // namespace
}  // namespace sorvani
