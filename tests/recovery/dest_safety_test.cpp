// What keeps a recovery from harming its source or what is already at the destination: a
// destination backed by the source (FUSE mount of the image, loop device, partition range),
// deep folder chains from a hostile image, stream siblings and partial files, holes, long
// names and ".." in a destination.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "disk/drive_table.h"
#include "index/file_index.h"
#include "platform/mount_table.h"
#include "recovery/dest_names.h"
#include "recovery/destination_check.h"
#include "recovery/recover_catalogue.h"
#include "recovery/recover_engine.h"
#include "tests/recovery/recovery_test_util.h"
#include "tests/util/fixtures.h"
#include "tests/util/shell.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using test::CScriptedFrontEnd;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs `body` on a thread with a small stack: work that recurses once per level of data from
// an image overflows it long before the data ends.
void OnSmallStack(const std::function<void()>& body, std::size_t stackBytes = 256 * 1024) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stackBytes);
  pthread_t thread;
  auto run = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&body)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

using test::Shell;
using test::ShellQuote;
TEST(DestinationSafety, ByteRangesOfOneFileOrDiskMeet) {
  auto file = [](std::uint64_t offset, std::uint64_t length, std::uint64_t inode = 7) {
    BackingRange r;
    r.device = 0x801;
    r.inode = inode;
    r.offset = offset;
    r.length = length;
    return r;
  };
  struct Case {
    BackingRange a, b;
    bool overlap;
  };
  BackingRange disk = file(0, 0);
  disk.disk = true;
  const Case cases[] = {
      {file(0, 0), file(0, 0), true},                // the whole image, both ways
      {file(1 << 20, 100 << 20), file(0, 0), true},  // a partition of an image mounted whole
      {file(1 << 20, 10 << 20), file(11 << 20, 10 << 20), false},  // two partitions side by side
      {file(1 << 20, 10 << 20), file(10 << 20, 10 << 20), true},   // one byte shared
      {file(0, 0), file(0, 0, 8), false},                          // another file
      {file(0, 0), disk, false},                                   // a disk is no file
      {file(~0ull - 10, 100), file(~0ull - 5, 0), true},           // no wrap-around at the end
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BackingsOverlap(c.a, c.b), c.overlap)
        << c.a.offset << "+" << c.a.length << " / " << c.b.offset;
    EXPECT_EQ(BackingsOverlap(c.b, c.a), c.overlap);
  }
}

// An image mounted through FUSE (ntfs-3g image.img /mnt) has an anonymous device number; only
// its mount names the image. A fake mount table puts the scratch folder on such a mount.
TEST(DestinationSafety, FuseMountOfTheImageCountsAsTheSource) {
  std::string root = test::ScratchFolder("dest_fuse_fake");
  std::string image = root + "/disk image.img";
  std::string other = root + "/other.img";
  std::ofstream(image) << std::string(4096, 'x');
  std::ofstream(other) << std::string(4096, 'y');
  fs::create_directories(root + "/mnt/rec");
  fs::create_symlink(image, root + "/link.img");
  struct stat st {};
  ASSERT_EQ(::stat((root + "/mnt").c_str(), &st), 0);
  std::string dev = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  auto escaped = [](std::string s) {
    std::string out;
    for (char c : s) out += c == ' ' ? std::string("\\040") : std::string(1, c);
    return out;
  };
  struct Case {
    const char* what;
    std::string mountSource;
    DriveSource source;
    bool refused;
  };
  DriveSource whole{image, 0, 0, nullptr, "", 0};
  DriveSource partition{image, 1024, 2048, nullptr, "MBR", 1};
  DriveSource viaLink{root + "/link.img", 0, 0, nullptr, "", 0};
  const Case cases[] = {
      {"the image itself", image, whole, true},
      {"a partition of the image", image, partition, true},
      {"the image named through a link", image, viaLink, true},
      {"another image", other, whole, false},
      {"a network share", "server:/export", whole, false},
      {"a device-less file system", "tmpfs", whole, false},
  };
  for (const Case& c : cases) {
    std::string table = root + "/mountinfo";
    std::ofstream(table) << "21 1 " << dev << " / " << escaped(root + "/mnt")
                         << " rw,relatime shared:1 - fuse " << escaped(c.mountSource)
                         << " rw,user_id=0,group_id=0\n";
    EXPECT_EQ(DestinationOnSource(root + "/mnt/rec/new/", c.source, table), c.refused) << c.what;
  }
}

// A real ntfs-3g mount of the image, and a loop device over one partition of a two-partition
// image: each destination on the source's bytes is refused, a neighbour partition is not.
TEST(DestinationSafety, RealMountsOfTheSourceAreRefused) {
  if (::geteuid() != 0 || Shell("command -v ntfs-3g").empty() || !fs::exists("/dev/fuse"))
    GTEST_SKIP() << "needs root, /dev/fuse and ntfs-3g";
  std::string fixture = test::Fixture("ntfs-4k.img");
  ASSERT_FALSE(fixture.empty());
  std::string root = test::ScratchFolder("dest_fuse_real");
  std::string image = root + "/image.img";
  fs::copy_file(fixture, image, fs::copy_options::overwrite_existing);
  fs::create_directories(root + "/mnt");
  if (Shell("ntfs-3g " + ShellQuote(image) + " " + ShellQuote(root + "/mnt") +
            " >/dev/null 2>&1; echo $?") != "0")
    GTEST_SKIP() << "ntfs-3g could not mount here";
  DriveSource source{image, 0, 0, nullptr, "", 0};
  bool onFuse = DestinationOnSource(root + "/mnt/rec/", source);
  bool elsewhere = DestinationOnSource(root + "/elsewhere/", source);
  Shell("umount " + ShellQuote(root + "/mnt"));
  EXPECT_TRUE(onFuse);
  EXPECT_FALSE(elsewhere);

  // Partitions: a loop device over the first partition of a two-partition image, mounted
  // through ntfs-3g (a fuseblk mount on the loop device).
  std::string two = test::Fixture("mbr-ntfs-fat32.img");
  ASSERT_FALSE(two.empty());
  std::string error;
  auto letters = CDriveTable::Instance().RegisterImage(two, error);
  ASSERT_GE(letters.size(), 2u) << error;
  auto first = CDriveTable::Instance().Find(letters[0]);
  auto second = CDriveTable::Instance().Find(letters[1]);
  ASSERT_TRUE(first && second && first->length != 0);
  std::string loop =
      Shell("losetup -f --show -r -o " + std::to_string(first->offset) + " --sizelimit " +
            std::to_string(first->length) + " " + ShellQuote(two) + " 2>&1");
  if (loop.rfind("/dev/loop", 0) != 0) GTEST_SKIP() << "no loop device: " << loop;
  fs::create_directories(root + "/part");
  bool mounted = Shell("ntfs-3g -o ro " + loop + " " + ShellQuote(root + "/part") +
                       " >/dev/null 2>&1; echo $?") == "0";
  bool firstRefused = mounted && DestinationOnSource(root + "/part/", *first);
  bool secondRefused = mounted && DestinationOnSource(root + "/part/", *second);
  DriveSource wholeImage{two, 0, 0, nullptr, "", 0};
  bool wholeRefused = mounted && DestinationOnSource(root + "/part/", wholeImage);
  if (mounted) Shell("umount " + ShellQuote(root + "/part"));
  Shell("losetup -d " + loop);
  if (!mounted) GTEST_SKIP() << "could not mount the loop device";
  EXPECT_TRUE(firstRefused);
  EXPECT_TRUE(wholeRefused);
  EXPECT_FALSE(secondRefused);  // the partition beside it shares no byte
  CDriveTable::Instance().Remove(letters[0]);
  CDriveTable::Instance().Remove(letters[1]);
}

TEST(DestinationSafety, DotDotInADestinationIsResolvedUpFront) {
  std::string root = test::ScratchFolder("dest_dotdot");
  fs::create_directories(root + "/a/b");
  fs::create_directory_symlink(root + "/a/b", root + "/link");
  struct Case {
    std::string text, expect;
  };
  const Case cases[] = {
      {root + "/a/../out", root + "/out/"},          {root + "/a/./b/../../x/y/..", root + "/x/"},
      {root + "/link/../c", root + "/a/c/"},  // ".." of a link is taken where the link leads
      {root + "/new/deeper/../z", root + "/new/z/"}, {"/../..", "/"},
  };
  for (const Case& c : cases) {
    std::string d;
    ASSERT_TRUE(NormalizeDestination(c.text, d)) << c.text;
    EXPECT_EQ(d, c.expect) << c.text;
    EXPECT_TRUE(PathLiesUnder(d, d + "file.txt")) << c.text;
  }
}

TEST(DestinationSafety, LongNamesAreShortenedKeepingTheirExtension) {
  std::string e300;
  for (int i = 0; i < 150; ++i) e300 += "\xC3\xA9";  // "é" 150 times, 300 bytes
  struct Case {
    std::string name;
    std::string ext;  // what the shortened name must end with
  };
  const Case cases[] = {
      {e300 + ".txt", ".txt"},
      {std::string(300, 'a'), "aaa"},
      {"x" + e300 + ".tar.gz", ".gz"},
      {"." + e300, ""},
      {std::string(250, 'b') + "." + std::string(60, 'c'), "ccc"},  // a long tail is no extension
  };
  for (const Case& c : cases) {
    std::string safe = SafeName(c.name);
    EXPECT_LE(safe.size(), kMaxNameBytes);
    EXPECT_GE(safe.size(), kMaxNameBytes - 3);
    EXPECT_EQ(safe.substr(safe.size() - c.ext.size()), c.ext);
    // Never a split character.
    std::size_t i = 0;
    while (i < safe.size()) {
      auto b = static_cast<unsigned char>(safe[i]);
      std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 4;
      ASSERT_LE(i + len, safe.size()) << c.name.size();
      i += len;
    }
    std::string numbered = CollisionName("/out/" + safe, 4294967295u);
    EXPECT_LE(numbered.size() - 5, kMaxNameBytes);
    EXPECT_NE(numbered.find(" (4294967295)"), std::string::npos);
    std::string partial = AppendToName("/out/" + safe, ".partial");
    EXPECT_LE(partial.size() - 5, kMaxNameBytes);
    EXPECT_EQ(partial.substr(partial.size() - 8), ".partial");
  }
  EXPECT_EQ(SafeName(std::string(255, 'k')), std::string(255, 'k'));
  EXPECT_EQ(CollisionName("/out/report.doc", 42), "/out/report (42).doc");
}

// A catalogue of one chain of deleted folders, each inside the one before, with one file at
// the bottom: what a hostile image can hold in a few megabytes. The deeper an item, the lower
// its record number, so a walk in record order meets the bottom of the chain first.
class CChainCatalogue : public IRecoverCatalogue {
 public:
  static constexpr std::uint32_t kFile = 100;
  explicit CChainCatalogue(std::uint32_t depth) : m_depth(depth) {}

  std::uint32_t Top() const { return kFile + m_depth; }
  // The folder `level` steps below the top one.
  std::uint32_t FolderAt(std::uint32_t level) const { return Top() - level; }
  bool FindEntry(std::uint32_t record, CatalogueEntry& entry) const override {
    if (record < kFile || record > Top()) return false;
    entry.record = record;
    entry.name = record == kFile ? "bottom.txt" : "d";
    entry.attributes = record == kFile ? 0x20u : std::uint32_t{kFileAttrDirectory};
    entry.parent = record == Top() ? kRootRecord : record + 1;
    return true;
  }
  bool IsOrphanFolder(std::uint32_t) const override { return false; }
  void Children(std::uint32_t record, std::vector<CatalogueEntry>& out) const override {
    out.clear();
    CatalogueEntry e;
    if (record > kFile && FindEntry(record - 1, e)) out.push_back(e);
  }
  void AllEntries(std::vector<CatalogueEntry>& out) const override {
    out.clear();
    for (std::uint32_t r = kFile; r <= Top(); ++r) {
      CatalogueEntry e;
      FindEntry(r, e);
      out.push_back(e);
    }
  }
  std::string LiveFolderPath(std::uint32_t) override { return "Users/x"; }

 private:
  std::uint32_t m_depth;
};

TEST(DeepFolderChains, AreWalkedWithoutRecursion) {
  constexpr std::uint32_t kDepth = 40000;
  CChainCatalogue chain(kDepth);
  std::vector<PlacedItem> all, below;
  std::uint64_t sum = 0;
  OnSmallStack([&] {
    all = PlaceDeletedItems(chain, "");
    // A filter three folders down the chain: the item placed is the folder there.
    below = PlaceDeletedItems(chain, "Users/X/d/d/d");
    sum = SumFolderData(chain, chain.Top(),
                        [&](std::uint32_t r) { return r == CChainCatalogue::kFile ? 7u : 0u; });
  });
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].record, chain.Top());
  EXPECT_EQ(all[0].subfolder, "Users/x");
  ASSERT_EQ(below.size(), 1u);
  EXPECT_EQ(below[0].record, chain.FolderAt(3));
  EXPECT_EQ(below[0].subfolder, "Users/x/d/d/d");
  EXPECT_EQ(sum, 7u);
  // Filters that the chain does not reach, or only as a prefix of a name.
  EXPECT_TRUE(PlaceDeletedItems(chain, "Users/x/dd").empty());
  EXPECT_TRUE(PlaceDeletedItems(chain, "Users").size() == 1u);
  EXPECT_TRUE(PlaceDeletedItems(chain, "Use").empty());
}

TEST(DeepFolderChains, PathTooLongFailsTheFolderThereNotTheRun) {
  constexpr std::uint32_t kDepth = 6000;
  CChainCatalogue chain(kDepth);
  std::string dest = test::ScratchFolder("deep_chain");
  CScriptedFrontEnd fe(dest);
  RecoverJob job;
  job.catalogue = &chain;
  job.prompt = &fe;
  job.events = &fe;
  job.destination = dest + "/";
  RecoverResult result = REC_S_OK;
  OnSmallStack([&] { result = RecoverFolder(job, dest + "/d", chain.Top(), RF_QUIET); });
  EXPECT_EQ(result, REC_E_SKIPPED);  // the deepest folder made failed, and with it its folder
  // Folders were made down to where the path became too long for the system, and no further.
  std::string path = dest;
  std::size_t made = 0;
  std::error_code ec;
  while (fs::is_directory(path + "/d", ec)) {
    path += "/d";
    ++made;
  }
  EXPECT_GT(made, 1000u);
  EXPECT_LT(made, kDepth);
  EXPECT_GE(path.size() + 2, 4000u);
  RecoveryProgress p = job.Snapshot();
  EXPECT_EQ(p.foldersTried, made + 1);  // the one that could not be made is tried and failed
  ASSERT_FALSE(fe.rows.empty());
  EXPECT_EQ(fe.rows.size(), made);  // each folder above it lists its failed child once
  Shell("rm -rf " + ShellQuote(dest));
}

// Recovery on the committed NTFS fixture: stream siblings, holes and partial names.
class DestinationFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    m_imagePath = test::Fixture("ntfs-4k.img");
    if (m_imagePath.empty()) GTEST_SKIP();
    m_image = test::OpenIndexedImage(m_imagePath);
    ASSERT_NE(m_image.ntfs, nullptr);
    m_catalogue = std::make_unique<CFileIndexCatalogue>(file_index, m_image.ntfs);
    auto key = nlohmann::json::parse(test::FixtureText("ntfs-4k.img.key.json"), nullptr, false);
    ASSERT_FALSE(key.is_discarded());
    for (const auto& e : key["entries"])
      if (e.value("deleted", false))
        m_records[e.value("path", "")] = e.at("record").get<std::uint32_t>();
    for (const auto& k : test::DeletedStreamsOfKey(key.dump()))
      m_sha[{k.record, k.stream}] = k.sha256;
  }

  void TearDown() override {
    m_catalogue.reset();
    if (m_image.letter) {
      m_image.volume.reset();
      CDriveTable::Instance().Remove(m_image.letter);
    }
  }

  RecoverResult Run(CScriptedFrontEnd& fe, const std::vector<std::uint32_t>& records) {
    return test::RunRecovery(fe, *m_image.volume, RF_ALL_STREAMS, test::ItemsFor(records),
                             m_catalogue.get());
  }

  std::string m_imagePath;
  test::IndexedImage m_image;
  std::unique_ptr<CFileIndexCatalogue> m_catalogue;
  std::map<std::string, std::uint32_t> m_records;
  std::map<std::pair<std::uint32_t, std::string>, std::string> m_sha;
};

TEST_F(DestinationFiles, StreamSiblingsFollowTheCollisionRule) {
  std::uint32_t ads = m_records.at("Streams/ads-deleted.txt");
  std::string dest = test::ScratchFolder("stream_siblings");
  std::string numbered = dest + "/ads-deleted (" + std::to_string(ads) + ").txt";
  // A file that stands for a stream of a file that is not there: the name counts as taken.
  std::ofstream(dest + "/ads-deleted.txt:secret") << "keep me";
  {
    CScriptedFrontEnd fe(dest);
    ASSERT_EQ(Run(fe, {ads}), REC_S_OK);
    ASSERT_EQ(fe.reports.size(), 1u);
    EXPECT_EQ(fe.reports[0].result, REC_S_OK);
    EXPECT_EQ(fe.reports[0].destination, numbered);
    EXPECT_TRUE(fe.asked.empty());
    EXPECT_EQ(Slurp(dest + "/ads-deleted.txt:secret"), "keep me");
    EXPECT_FALSE(fs::exists(dest + "/ads-deleted.txt"));
    EXPECT_EQ(test::Sha256OfFile(numbered), m_sha.at({ads, ""}));
    EXPECT_EQ(test::Sha256OfFile(numbered + ":secret"), m_sha.at({ads, "secret"}));
  }
  // The numbered name's stream taken too: the question, and "No" leaves everything as it was
  // (a skip, not a failure).
  fs::remove(numbered);
  fs::remove(numbered + ":secret");
  std::ofstream(numbered + ":small") << "keep me too";
  {
    CScriptedFrontEnd fe(dest);
    fe.answers = {PromptButton::kNo};
    ASSERT_EQ(Run(fe, {ads}), REC_S_OK);
    ASSERT_EQ(fe.asked.size(), 1u);
    ASSERT_EQ(fe.reports.size(), 1u);
    EXPECT_EQ(fe.reports[0].result, REC_S_NOTHING_DONE);
    EXPECT_TRUE(fe.rows.empty());
    EXPECT_EQ(Slurp(numbered + ":small"), "keep me too");
    EXPECT_FALSE(fs::exists(numbered));
    EXPECT_FALSE(fe.progress.failed);
  }
  // "Yes" replaces the file and its streams.
  {
    CScriptedFrontEnd fe(dest);
    fe.answers = {PromptButton::kYes};
    ASSERT_EQ(Run(fe, {ads}), REC_S_OK);
    EXPECT_EQ(fe.reports.at(0).result, REC_S_OK);
    EXPECT_EQ(test::Sha256OfFile(numbered + ":small"), m_sha.at({ads, "small"}));
  }
}

TEST_F(DestinationFiles, ALongNameStillHasACollisionName) {
  // A 255-byte name, the longest a file name may be here: its numbered name is shortened to
  // fit instead of failing.
  std::uint32_t record = 0;
  for (const auto& [path, r] : m_records)
    if (path.rfind("Names/L255-deleted-", 0) == 0) record = r;
  ASSERT_NE(record, 0u);
  std::string dest = test::ScratchFolder("long_collision");
  for (int run = 0; run < 2; ++run) {
    CScriptedFrontEnd fe(dest);
    ASSERT_EQ(Run(fe, {record}), REC_S_OK);
    ASSERT_EQ(fe.reports.size(), 1u);
    EXPECT_EQ(fe.reports[0].result, REC_S_OK) << run;
    std::string name = fs::path(fe.reports[0].destination).filename().string();
    EXPECT_LE(name.size(), kMaxNameBytes);
    if (run == 1) {
      EXPECT_NE(name.find(" (" + std::to_string(record) + ")"), std::string::npos) << name;
    }
    EXPECT_EQ(test::Sha256OfFile(fe.reports[0].destination), m_sha.at({record, ""}));
  }
}

TEST_F(DestinationFiles, SparseRunsBecomeHoles) {
  std::uint32_t sparse = m_records.at("Sparse/sparse-deleted.bin");
  std::string dest = test::ScratchFolder("sparse_holes");
  CScriptedFrontEnd fe(dest);
  ASSERT_EQ(Run(fe, {sparse}), REC_S_OK);
  ASSERT_EQ(fe.reports.at(0).result, REC_S_OK);
  std::string file = dest + "/sparse-deleted.bin";
  EXPECT_EQ(test::Sha256OfFile(file), m_sha.at({sparse, ""}));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 3309568);
  // The runs the source leaves sparse take no room here either (where holes exist at all).
  std::string type = Shell("stat -f -c %T " + ShellQuote(dest));
  if (type == "ext2/ext3" || type == "xfs" || type == "tmpfs" || type == "btrfs") {
    EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512,
              static_cast<std::uint64_t>(st.st_size) / 2);
  }
}

TEST_F(DestinationFiles, ACutShortRawRangeIsSetAside) {
  // A carved range whose copy is stopped: the partial file keeps its bytes under ".partial".
  std::string dest = test::ScratchFolder("raw_partial");
  std::vector<RecoverItem> items(1);
  items[0].id = 0;
  items[0].size = 1 << 30;  // far more than can be copied before the stop
  items[0].name = "RANGE.bin";
  CScriptedFrontEnd fe(dest);
  fe.prepare = [](RecoverJob& j) { j.pieceSize = 4096; };
  fe.watch = [](RecoverJob& j) {
    RecoveryProgress p = j.Snapshot();
    if (p.bytesProcessed == 0 && p.filesTried < 2) return false;
    j.cancel.Set();
    return true;
  };
  ASSERT_EQ(test::RunRawRanges(fe, m_image.letter, 0, MakeItemList(items)), REC_S_OK);
  ASSERT_EQ(fe.reports.size(), 1u);
  EXPECT_TRUE(RecoverFailed(fe.reports[0].result));
  EXPECT_FALSE(fs::exists(dest + "/RANGE.bin"));
  EXPECT_EQ(fe.reports[0].destination, dest + "/RANGE.bin.partial");
  EXPECT_TRUE(fs::exists(dest + "/RANGE.bin.partial"));
  // A second range of the same name neither replaces the first nor its partial file.
  std::ofstream(dest + "/RANGE.bin") << "keep me";
  CScriptedFrontEnd again(dest);
  items[0].size = 10;
  ASSERT_EQ(test::RunRawRanges(again, m_image.letter, 0, MakeItemList(items)), REC_S_OK);
  EXPECT_EQ(again.reports.at(0).destination, dest + "/RANGE (0).bin");
  EXPECT_EQ(Slurp(dest + "/RANGE.bin"), "keep me");
  EXPECT_EQ(fs::file_size(dest + "/RANGE (0).bin"), 10u);
}

}  // namespace
}  // namespace sorvani
