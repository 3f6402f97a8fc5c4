// Recovery planning on the committed fixtures: the items and sizes of a selection, computed
// without a front end touching records, agree with the answer key; hostile folder graphs end.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "app/recovery_plan.h"
#include "disk/drive_table.h"
#include "index/file_index.h"
#include "tests/recovery/recovery_test_util.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

// What the key says a recovery of a record's first stream can read: icat's bytes where the
// runs end before the claimed size, else the claimed size.
std::map<std::uint32_t, std::uint64_t> KeySizes(const std::string& keyText) {
  std::map<std::uint32_t, std::uint64_t> sizes;
  for (const test::KeyStream& k : test::DeletedStreamsOfKey(keyText)) {
    if (!k.stream.empty()) continue;
    sizes[k.record] = k.icatSize != 0 && k.icatSize < k.claimedSize ? k.icatSize : k.claimedSize;
  }
  return sizes;
}

using RecoveryPlanning = test::CIndexedImageTest;

TEST_F(RecoveryPlanning, AllDeletedSizesAreTheKeysSizes) {
  RecoverySelection all;
  all.kind = RecoverySelection::Kind::kAllDeleted;
  RecoveryPlan plan = PlanRecovery(*m_image.ntfs, *m_catalogue, all);
  ASSERT_FALSE(plan.items.empty());
  EXPECT_FALSE(plan.cancelled);
  // Every catalogued deleted file the key can read, each counted once through the items and
  // the folders above it.
  std::uint64_t keyTotal = 0;
  int counted = 0;
  for (const auto& [record, size] : KeySizes(m_keyText)) {
    if (!file_index.FindEntry(record)) continue;  // no name left: not a catalogued file
    keyTotal += size;
    ++counted;
  }
  EXPECT_GT(counted, 5);
  std::uint64_t itemSum = 0;
  for (const RecoverItem& item : plan.items) itemSum += item.size;
  EXPECT_EQ(plan.totalBytes, itemSum);
  EXPECT_EQ(plan.totalBytes, keyTotal);
}

TEST_F(RecoveryPlanning, RecordsAndFoldersAreSizedFromTheirRecords) {
  auto key = nlohmann::json::parse(m_keyText);
  std::map<std::string, std::uint32_t> records;
  for (const auto& e : key["entries"])
    if (e.value("deleted", false))
      records[e.value("path", "")] = e.at("record").get<std::uint32_t>();
  ASSERT_TRUE(records.count("OldProject"));
  ASSERT_TRUE(records.count("Docs/Reports/2023/draft-old.txt"));
  std::map<std::uint32_t, std::uint64_t> sizes = KeySizes(m_keyText);
  // The folder's size is every file below it, at any depth.
  std::uint64_t below = 0;
  for (const auto& e : key["entries"]) {
    std::string path = e.value("path", "");
    auto record = e.at("record").get<std::uint32_t>();
    if (e.value("deleted", false) && path.rfind("OldProject/", 0) == 0 && sizes.count(record) &&
        e.value("stream", nlohmann::json()).is_null())
      below += sizes[record];
  }
  RecoverySelection pick;
  pick.kind = RecoverySelection::Kind::kRecords;
  pick.records = {records["OldProject"], records["Docs/Reports/2023/draft-old.txt"], 3};
  RecoveryPlan plan = PlanRecovery(*m_image.ntfs, *m_catalogue, pick);
  ASSERT_EQ(plan.items.size(), 3u);
  EXPECT_EQ(plan.items[0].attributes, std::uint32_t{kFileAttrDirectory});
  EXPECT_EQ(plan.items[0].name, "OldProject");
  EXPECT_GT(below, 0u);
  EXPECT_EQ(plan.items[0].size, below);
  EXPECT_EQ(plan.items[1].size, sizes.at(records["Docs/Reports/2023/draft-old.txt"]));
  // $Volume is no deleted item: still planned (the run lists it as failed), and named.
  EXPECT_EQ(plan.unknownRecords, std::vector<std::uint32_t>{3});
  EXPECT_EQ(plan.items[2].id, 3u);
  // Below one folder: only what lies there.
  RecoverySelection folder;
  folder.kind = RecoverySelection::Kind::kFolder;
  folder.folder = "Docs/Reports/2023";
  RecoveryPlan inFolder = PlanRecovery(*m_image.ntfs, *m_catalogue, folder);
  ASSERT_FALSE(inFolder.items.empty());
  for (const RecoverItem& item : inFolder.items)
    EXPECT_EQ(item.subfolder.rfind("Docs/Reports/2023", 0), 0u);
  // A cancelled plan says so.
  std::atomic<bool> stop{true};
  EXPECT_TRUE(PlanRecovery(*m_image.ntfs, *m_catalogue, folder, &stop).cancelled);
}

// Folders that contain each other, and a chain of folders far deeper than a thread's stack
// could follow by recursion; real file records hang below them.
class CHostileCatalogue : public IRecoverCatalogue {
 public:
  CHostileCatalogue(std::uint32_t fileA, std::uint32_t fileB, std::uint32_t depth)
      : m_fileA(fileA), m_fileB(fileB), m_depth(depth) {}
  static constexpr std::uint32_t kLoopA = 0x100000, kLoopB = 0x100001, kChain = 0x200000;
  bool FindEntry(std::uint32_t record, CatalogueEntry& e) const override {
    if (record == m_fileA || record == m_fileB) {
      e = {record, "f" + std::to_string(record), 0x20, kLoopA};
      return true;
    }
    if (record == kLoopA || record == kLoopB || (record >= kChain && record < kChain + m_depth)) {
      e = {record, "d", 0x10, record == kLoopA ? kLoopB : record - 1};
      return true;
    }
    return false;
  }
  bool IsOrphanFolder(std::uint32_t) const override { return false; }
  void Children(std::uint32_t record, std::vector<CatalogueEntry>& out) const override {
    out.clear();
    if (record == kLoopA) out = {{kLoopB, "d", 0x10, kLoopA}, {m_fileA, "a", 0x20, kLoopA}};
    if (record == kLoopB) out = {{kLoopA, "d", 0x10, kLoopB}, {m_fileB, "b", 0x20, kLoopB}};
    if (record >= kChain && record + 1 < kChain + m_depth) out = {{record + 1, "d", 0x10, record}};
    if (record + 1 == kChain + m_depth) out = {{m_fileA, "a", 0x20, record}};
  }
  void AllEntries(std::vector<CatalogueEntry>& out) const override { out.clear(); }
  std::string LiveFolderPath(std::uint32_t) override { return ""; }

 private:
  std::uint32_t m_fileA, m_fileB, m_depth;
};

TEST_F(RecoveryPlanning, LoopingAndDeepFolderGraphsEnd) {
  auto key = nlohmann::json::parse(m_keyText);
  std::map<std::uint32_t, std::uint64_t> sizes = KeySizes(m_keyText);
  std::uint32_t a = 0, b = 0;
  for (const auto& [record, size] : sizes) {
    if (size == 0 || !file_index.FindEntry(record)) continue;
    (a == 0 ? a : b) = record;
    if (b) break;
  }
  ASSERT_NE(b, 0u);
  constexpr std::uint32_t kDepth = 200000;
  CHostileCatalogue hostile(a, b, kDepth);
  RecoverySelection pick;
  pick.kind = RecoverySelection::Kind::kRecords;
  pick.records = {CHostileCatalogue::kLoopA, CHostileCatalogue::kChain};
  RecoveryPlan plan;
  // A small stack: a walk that recursed per folder would overflow it.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  struct Args {
    CNtfsVolume* volume;
    CHostileCatalogue* catalogue;
    RecoverySelection* pick;
    RecoveryPlan* plan;
  } args{m_image.ntfs, &hostile, &pick, &plan};
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* p) -> void* {
                  auto* run = static_cast<Args*>(p);
                  *run->plan = PlanRecovery(*run->volume, *run->catalogue, *run->pick);
                  return nullptr;
                },
                &args),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  ASSERT_EQ(plan.items.size(), 2u);
  EXPECT_EQ(plan.items[0].size, sizes[a] + sizes[b]);  // each file once, though the folders loop
  EXPECT_EQ(plan.items[1].size, sizes[a]);             // found at the bottom of the chain
}

TEST(RecoveryPlanText, FolderFiltersAndRawRanges) {
  struct Case {
    const char* text;
    const char* folder;
    char letter;
  } cases[] = {{"X:\\Docs\\Reports\\", "Docs/Reports", 'X'},
               {"c:/a/b", "a/b", 'C'},
               {"/Docs/", "Docs", 0},
               {"Docs/Reports", "Docs/Reports", 0},
               {"\\", "", 0},
               {"", "", 0},
               {"C:\\a\\\\b", "a/b", 'C'},
               {"a/../b", "", 0}};
  for (const Case& c : cases) {
    char letter = '?';
    EXPECT_EQ(FolderFilterOf(c.text, letter), c.folder) << c.text;
    EXPECT_EQ(letter, c.letter) << c.text;
  }
  RecoveryPlan raw = PlanRawRanges({{"A.jpg", 7, 12, 1000, 0}, {"B.png", 9, 0, UINT64_MAX, 2}});
  ASSERT_EQ(raw.items.size(), 2u);
  EXPECT_EQ(raw.items[0].id, 7u);
  EXPECT_EQ(raw.items[0].offsetInUnit, 12u);
  EXPECT_EQ(raw.items[0].name, "A.jpg");
  EXPECT_EQ(raw.items[1].cutShort, 2);
  EXPECT_EQ(raw.totalBytes, UINT64_MAX);  // saturates, never wraps
}

}  // namespace
}  // namespace sorvani
