// The cache file: byte layout, round trip, and every way a file is refused.
#include "index/index_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "foundation/endian.h"
#include "foundation/profile.h"
#include "index/file_index.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

std::int64_t g_now = 1'700'000'000;
std::int64_t FixedClock() { return g_now; }

class IndexCache : public ::testing::Test {
 protected:
  void SetUp() override {
    m_folder = test::ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    SetCacheFolder(m_folder);
    g_now = 1'700'000'000;
    SetCacheClock(FixedClock);
    progress = IndexProgress{};
    Profile().SetPath(m_folder + "/Profile.xml");
    ASSERT_TRUE(Profile().Load());
    Profile().SetInt("Cache", "SaveToDisk", 1);
  }
  void TearDown() override {
    SetCacheFolder("");
    SetCacheClock(nullptr);
  }

  static void Fill(CFileIndex& index) {
    index.InsertEntry(40, "2008", 0x10, 30);
    index.InsertEntry(41, std::string(300, 'n'), 0x20, 40);
    index.InsertEntry(42, "b.jpg", 0x21, 40);
    index.InsertChild(40, 42);
    index.InsertChild(30, 40);
    index.InsertChild(40, 41);
    index.InsertOrphanFolder(1234);
    index.InsertOrphanFolder(77);
    index.InsertLiveFolder(30);
  }

  static void ExpectSame(const CFileIndex& a, const CFileIndex& b) {
    ASSERT_EQ(a.EntryCount(), b.EntryCount());
    std::vector<const FileIndexEntry*> entries;
    a.ForEachEntry([&](const FileIndexEntry& e) {
      entries.push_back(&e);
      return true;
    });
    ASSERT_EQ(entries.size(), a.EntryCount());
    for (const FileIndexEntry* entry : entries) {
      const FileIndexEntry& e = *entry;
      const FileIndexEntry* o = b.FindEntry(e.record);
      ASSERT_NE(o, nullptr) << e.record;
      EXPECT_EQ(o->name, e.name);
      EXPECT_EQ(o->attributes, e.attributes);
      EXPECT_EQ(o->parent, e.parent);
    }
    using P = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    EXPECT_EQ(P(a.Children()), P(b.Children()));
    EXPECT_TRUE(std::equal(a.OrphanFolders().begin(), a.OrphanFolders().end(),
                           b.OrphanFolders().begin(), b.OrphanFolders().end()));
    EXPECT_TRUE(std::equal(a.LiveFolders().begin(), a.LiveFolders().end(), b.LiveFolders().begin(),
                           b.LiveFolders().end()));
  }

  std::vector<std::uint8_t> Bytes(char letter) {
    return test::ReadWholeFile(CacheFilePath(letter));
  }
  void Write(char letter, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(CacheFilePath(letter), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  bool Exists(char letter) { return std::filesystem::exists(CacheFilePath(letter)); }
  std::vector<std::uint8_t> Header(std::uint32_t count, char letter = 'C') {
    std::vector<std::uint8_t> h(24, 0);
    WriteLe32(h.data(), 100001);
    h[5] = static_cast<std::uint8_t>(letter);
    WriteLe64(h.data() + 8, static_cast<std::uint64_t>(g_now));
    WriteLe32(h.data() + 16, count);
    return h;
  }
  static void Append(std::vector<std::uint8_t>& f, std::initializer_list<std::uint8_t> rec) {
    f.insert(f.end(), rec);
  }
  // The identity record of an empty identity, as the overloads without one write it.
  static void AppendNoIdentity(std::vector<std::uint8_t>& f) {
    std::vector<std::uint8_t> rec(64, 0);
    rec[0] = 64;
    rec[2] = 5;
    f.insert(f.end(), rec.begin(), rec.end());
  }
  static CacheIdentity SomeIdentity() {
    CacheIdentity id;
    id.device = 0x801;
    id.inode = 123456;
    id.modified = 1'700'000'000'123'456'789ull;
    id.offset = 1048576;
    id.size = 64ull << 20;
    id.serial = 0x1122334455667788ull;
    id.mftRecords = 4096;
    id.clusterSize = 4096;
    id.realPath = "/images/a.img";
    return id;
  }

  std::string m_folder;
  IndexProgress progress;
};

TEST_F(IndexCache, LayoutAndRoundTrip) {
  CFileIndex index;
  Fill(index);
  const CacheIdentity id = SomeIdentity();
  ASSERT_EQ(DumpIndexToCache('C', index, progress, id), 1u);
  EXPECT_EQ(progress.phase, kPhaseSaving);
  EXPECT_EQ(progress.total, 10u);
  EXPECT_EQ(progress.done, 10u);
  EXPECT_EQ(CacheFilePath('C'), m_folder + "/~index_dump_C.tmp");

  auto f = Bytes('C');
  ByteSpan s(f);
  const std::size_t idLength = 64 + id.realPath.size();
  ASSERT_EQ(f.size(), 24u + idLength + (4 + 16) + 316 + (5 + 16) + 3 * 11 + 3 * 7);
  EXPECT_EQ(ReadLe32(s, 0), 100001u);
  EXPECT_EQ(f[4], 0);  // complete
  EXPECT_EQ(f[5], 'C');
  EXPECT_EQ(f[6], 0);
  EXPECT_EQ(static_cast<std::int64_t>(ReadLe64(s, 8)), g_now);
  EXPECT_EQ(ReadLe32(s, 16), 10u);
  // The identity first: what the source and the volume were.
  EXPECT_EQ(ReadLe16(s, 24), idLength);
  EXPECT_EQ(f[26], 5);
  EXPECT_EQ(ReadLe64(s, 27), id.device);
  EXPECT_EQ(ReadLe64(s, 35), id.inode);
  EXPECT_EQ(ReadLe64(s, 43), id.modified);
  EXPECT_EQ(ReadLe64(s, 51), id.offset);
  EXPECT_EQ(ReadLe64(s, 59), id.size);
  EXPECT_EQ(ReadLe64(s, 67), id.serial);
  EXPECT_EQ(ReadLe64(s, 75), id.mftRecords);
  EXPECT_EQ(ReadLe32(s, 83), id.clusterSize);
  EXPECT_EQ(std::string(f.begin() + 87, f.begin() + 87 + 13), id.realPath);
  EXPECT_EQ(f[87 + 13], 0);
  // First entry, record 40: length, type, record, parent, attributes, name, zero.
  const std::size_t e = 24 + idLength;
  EXPECT_EQ(ReadLe16(s, e), 20u);
  EXPECT_EQ(f[e + 2], 1);
  EXPECT_EQ(ReadLe32(s, e + 3), 40u);
  EXPECT_EQ(ReadLe32(s, e + 7), 30u);
  EXPECT_EQ(ReadLe32(s, e + 11), 0x10u);
  EXPECT_EQ(std::string(f.begin() + e + 15, f.begin() + e + 19), "2008");
  EXPECT_EQ(f[e + 19], 0);
  EXPECT_EQ(ReadLe16(s, e + 20), 316u);  // the 300-byte name
  // Child links follow the entries, by parent, equal parents in insertion order.
  std::size_t links = e + 20 + 316 + 21;
  EXPECT_EQ(ReadLe16(s, links), 11u);
  EXPECT_EQ(f[links + 2], 2);
  EXPECT_EQ(ReadLe32(s, links + 3), 30u);
  EXPECT_EQ(ReadLe32(s, links + 7), 40u);
  EXPECT_EQ(ReadLe32(s, links + 11 + 7), 42u);
  EXPECT_EQ(ReadLe32(s, links + 22 + 7), 41u);
  std::size_t orphans = links + 33;
  EXPECT_EQ(f[orphans + 2], 3);
  EXPECT_EQ(ReadLe32(s, orphans + 3), 77u);
  EXPECT_EQ(f[orphans + 14 + 2], 4);

  CFileIndex back;
  back.InsertEntry(999, "stale", 0, 5);  // cleared by the load
  g_now += 18000;                        // exactly five hours: still accepted
  ASSERT_EQ(RestoreIndexFromCache('C', back, progress, id), 1u);
  EXPECT_EQ(progress.phase, kPhaseLoading);
  EXPECT_EQ(progress.done, 10u);
  ExpectSame(index, back);
  EXPECT_TRUE(Exists('C'));

  // An empty index is the header and the identity, and loads into an empty index.
  CFileIndex empty;
  ASSERT_EQ(DumpIndexToCache('E', empty, progress), 1u);
  EXPECT_EQ(Bytes('E').size(), 24u + 64u);
  ASSERT_EQ(RestoreIndexFromCache('E', back, progress), 1u);
  EXPECT_EQ(back.EntryCount(), 0u);
  EXPECT_TRUE(back.Children().empty() && back.LiveFolders().empty());
}

TEST_F(IndexCache, AFileIsLoadedOnlyForTheSourceAndVolumeItDescribes) {
  CFileIndex index, out;
  Fill(index);
  const CacheIdentity id = SomeIdentity();
  struct Case {
    const char* what;
    std::function<void(CacheIdentity&)> change;
  } cases[] = {
      {"other device", [](auto& i) { i.device ^= 1; }},
      {"other file", [](auto& i) { i.inode ^= 1; }},
      {"file changed since", [](auto& i) { i.modified += 1; }},
      {"other partition", [](auto& i) { i.offset += 512; }},
      {"other size", [](auto& i) { i.size -= 4096; }},
      {"other volume serial", [](auto& i) { i.serial ^= 0x100; }},
      {"other MFT size", [](auto& i) { i.mftRecords += 1; }},
      {"other cluster size", [](auto& i) { i.clusterSize = 512; }},
      {"other path", [](auto& i) { i.realPath = "/images/b.img"; }},
      {"no identity known", [](auto& i) { i = CacheIdentity{}; }},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(DumpIndexToCache('C', index, progress, id), 1u);
    CacheIdentity other = id;
    c.change(other);
    out.InsertEntry(999, "earlier", 0, 5);
    EXPECT_EQ(RestoreIndexFromCache('C', out, progress, other), 0u) << c.what;
    EXPECT_FALSE(Exists('C')) << c.what << ": a refused file is deleted";
    EXPECT_NE(out.FindEntry(999), nullptr) << c.what << ": refused before anything was taken";
  }

  // A path too long for one record is cut alike on both sides and still compares.
  CacheIdentity longPath = id;
  longPath.realPath = "/" + std::string(5000, 'p');
  ASSERT_EQ(DumpIndexToCache('C', index, progress, longPath), 1u);
  EXPECT_EQ(RestoreIndexFromCache('C', out, progress, longPath), 1u);
  EXPECT_EQ(out.EntryCount(), 3u);

  // A file as written before identities existed (the same layout without the identity
  // record) cannot say what it describes and is refused.
  auto old = Header(2);
  Append(old, {7, 0, 3, 50, 0, 0, 0});
  Append(old, {7, 0, 4, 60, 0, 0, 0});
  Write('C', old);
  EXPECT_EQ(RestoreIndexFromCache('C', out, progress), 0u);
  EXPECT_FALSE(Exists('C'));
  Write('C', Header(0));
  EXPECT_EQ(RestoreIndexFromCache('C', out, progress), 0u);
  EXPECT_FALSE(Exists('C'));
}

TEST_F(IndexCache, StaleFilesAreCleanedUpAndFreshOnesKept) {
  CFileIndex index;
  Fill(index);
  ASSERT_EQ(DumpIndexToCache('C', index, progress), 1u);  // written now
  g_now -= 18001;
  ASSERT_EQ(DumpIndexToCache('D', index, progress), 1u);  // five hours and a second earlier
  g_now += 18001;
  Write('E', {1, 2, 3});  // not ours: judged by the file's own time, which is now
  std::ofstream(m_folder + "/other.tmp") << "x";
  EXPECT_EQ(CleanUpStaleCache(), 1u);
  EXPECT_TRUE(Exists('C'));
  EXPECT_FALSE(Exists('D'));
  EXPECT_TRUE(Exists('E'));
  EXPECT_TRUE(std::filesystem::exists(m_folder + "/other.tmp"));
  g_now += 18001;
  EXPECT_EQ(CleanUpStaleCache(), 1u);
  EXPECT_FALSE(Exists('C'));
  EXPECT_TRUE(Exists('E'));
  EXPECT_EQ(CleanUpStaleCache(0.0 - 1.0), 1u);  // every file is older than -1 s
  EXPECT_FALSE(Exists('E'));
}

TEST_F(IndexCache, HeaderRefusalsDeleteTheFile) {
  CFileIndex index, out;
  Fill(index);
  ASSERT_EQ(DumpIndexToCache('C', index, progress), 1u);
  auto good = Bytes('C');

  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> change;
  } cases[] = {
      {"truncated header", [](auto& f) { f.resize(23); }},
      {"empty file", [](auto& f) { f.clear(); }},
      {"other format", [](auto& f) { WriteLe32(f.data(), 100002); }},
      {"other drive", [](auto& f) { f[5] = 'D'; }},
      {"incomplete", [](auto& f) { f[4] = 1; }},
      {"too old",
       [](auto& f) { WriteLe64(f.data() + 8, static_cast<std::uint64_t>(g_now - 18001)); }},
      {"count too high", [](auto& f) { WriteLe32(f.data() + 16, 11); }},
      {"count too low", [](auto& f) { WriteLe32(f.data() + 16, 9); }},
      {"identity length 0", [](auto& f) { WriteLe16(f.data() + 24, 0); }},
      {"identity shorter than its fields", [](auto& f) { WriteLe16(f.data() + 24, 63); }},
      {"identity of another type", [](auto& f) { f[26] = 4; }},
      {"length 0", [](auto& f) { WriteLe16(f.data() + 88, 0); }},
      {"length 1", [](auto& f) { WriteLe16(f.data() + 88, 1); }},
      {"length 2", [](auto& f) { WriteLe16(f.data() + 88, 2); }},
      {"length 4097", [](auto& f) { WriteLe16(f.data() + 88, 4097); }},
      {"entry shorter than its fields", [](auto& f) { WriteLe16(f.data() + 88, 10); }},
  };
  for (const Case& c : cases) {
    auto bytes = good;
    c.change(bytes);
    Write('C', bytes);
    EXPECT_EQ(RestoreIndexFromCache('C', out, progress), 0u) << c.what;
    EXPECT_FALSE(Exists('C')) << c.what;
  }

  // A file created in the future (a clock that went back) is accepted.
  auto future = good;
  WriteLe64(future.data() + 8, static_cast<std::uint64_t>(g_now + 100000));
  Write('C', future);
  EXPECT_EQ(RestoreIndexFromCache('C', out, progress), 1u);

  // No file: nothing to load, nothing deleted.
  EXPECT_EQ(RestoreIndexFromCache('Q', out, progress), 0u);
}

TEST_F(IndexCache, TruncatedRecordKeepsTheFileAndUnknownTypesAreCounted) {
  CFileIndex out;
  auto f = Header(4);
  AppendNoIdentity(f);
  Append(f, {7, 0, 3, 50, 0, 0, 0});  // orphan 50
  Append(f, {5, 0, 9, 1, 2});         // unknown type 9, still counted
  Append(f, {7, 0, 4, 60, 0, 0, 0});  // live 60
  Write('C', f);
  ASSERT_EQ(RestoreIndexFromCache('C', out, progress), 1u);
  EXPECT_TRUE(out.IsOrphanFolder(50));
  EXPECT_TRUE(out.IsLiveFolderWithDeleted(60));

  f.resize(f.size() - 2);
  Write('C', f);
  EXPECT_EQ(RestoreIndexFromCache('C', out, progress), 0u);
  EXPECT_TRUE(Exists('C'));  // the next complete scan overwrites it

  // Records that would break the index's rules are read and counted but not taken.
  auto g = Header(5);
  AppendNoIdentity(g);
  Append(g, {16, 0, 1, 5, 0, 0, 0, 5, 0, 0, 0, 0x10, 0, 0, 0, 0});  // the root as an entry
  Append(g, {16, 0, 1, 9, 1, 0, 0, 5, 0, 0, 0, 0x20, 0, 0, 0, 0});  // empty name
  Append(g, {7, 0, 3, 24, 0, 0, 0});                                // a system record as orphan
  Append(g, {18, 0, 1, 8, 1, 0, 0, 5, 0, 0, 0, 0x20, 0, 0, 0, 'a', 'b', 'c'});  // no zero byte
  Write('C', g);
  ASSERT_EQ(RestoreIndexFromCache('C', out, progress), 1u);
  EXPECT_EQ(out.EntryCount(), 1u);
  EXPECT_EQ(out.FindEntry(264)->name, "abc");
  EXPECT_TRUE(out.OrphanFolders().empty());
}

TEST_F(IndexCache, CancelledSaveIsRefusedLaterAndCancelledLoadKeepsWhatItRead) {
  CFileIndex index, out;
  Fill(index);
  progress.cancel = 1;
  ASSERT_EQ(DumpIndexToCache('C', index, progress), 1u);
  EXPECT_EQ(progress.done, 1u);
  auto f = Bytes('C');
  ASSERT_GE(f.size(), 24u);
  EXPECT_EQ(f[4], 1);  // still marked incomplete
  progress.cancel = 0;
  EXPECT_EQ(RestoreIndexFromCache('C', out, progress), 0u);
  EXPECT_FALSE(Exists('C'));

  ASSERT_EQ(DumpIndexToCache('C', index, progress), 1u);
  progress.cancel = 1;
  EXPECT_EQ(RestoreIndexFromCache('C', out, progress), 1u);
  EXPECT_EQ(out.EntryCount(), 0u);  // only the identity was read before the cancel was seen
  EXPECT_TRUE(Exists('C'));
}

TEST_F(IndexCache, SwitchedOffSavesNothingButStillLoadsAndCleanUpFindsEveryDrive) {
  CFileIndex index, out;
  Fill(index);
  ASSERT_EQ(DumpIndexToCache('C', index, progress), 1u);
  Profile().SetInt("Cache", "SaveToDisk", 0);
  EXPECT_EQ(DumpIndexToCache('D', index, progress), 0u);
  EXPECT_FALSE(Exists('D'));
  EXPECT_EQ(RestoreIndexFromCache('C', out, progress), 1u);
  EXPECT_EQ(out.EntryCount(), 3u);

  Write('D', Header(0, 'D'));
  std::ofstream(m_folder + "/~index_dump_CD.tmp") << "x";
  std::ofstream(m_folder + "/other.tmp") << "x";
  EXPECT_EQ(CleanUpCache('D'), 1u);
  EXPECT_EQ(CleanUpCache('D'), 0u);  // already gone
  Write('D', Header(0, 'D'));
  EXPECT_EQ(CleanUpCache(0), 1u);
  EXPECT_FALSE(Exists('C'));
  EXPECT_FALSE(Exists('D'));
  EXPECT_TRUE(std::filesystem::exists(m_folder + "/~index_dump_CD.tmp"));
  EXPECT_TRUE(std::filesystem::exists(m_folder + "/other.tmp"));
  EXPECT_EQ(CleanUpCache(0), 1u);  // nothing to delete
}

TEST_F(IndexCache, DamagedFilesNeverCrashTheLoader) {
  CFileIndex index, out;
  Fill(index);
  ASSERT_EQ(DumpIndexToCache('C', index, progress), 1u);
  const auto good = Bytes('C');
  std::mt19937 rng(7);
  int loaded = 0;
  for (int i = 0; i < 400; ++i) {
    auto bytes = good;
    int flips = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < flips; ++k)
      bytes[24 + rng() % (bytes.size() - 24)] = static_cast<std::uint8_t>(rng());
    if (rng() % 4 == 0) bytes.resize(24 + rng() % (bytes.size() - 24));
    Write('C', bytes);
    loaded += RestoreIndexFromCache('C', out, progress) == 1;
  }
  // Random bytes after a valid header: refused, never a crash.
  std::vector<std::uint8_t> noise = Header(1000);
  AppendNoIdentity(noise);
  for (int i = 0; i < 100000; ++i) noise.push_back(static_cast<std::uint8_t>(rng()));
  Write('C', noise);
  EXPECT_EQ(RestoreIndexFromCache('C', out, progress), 0u);
  EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace sorvani
