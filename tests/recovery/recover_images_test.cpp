// End to end on real NTFS images: every deleted file and named stream that The Sleuth Kit
// reads from an unallocated record comes back byte for byte, in its folder, and the source
// image is left exactly as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>

#include "disk/drive_table.h"
#include "disk/volume.h"
#include "index/enum_thread.h"
#include "index/file_index.h"
#include "ntfs/ntfs_volume.h"
#include "recovery/recover_catalogue.h"
#include "recovery/recover_engine.h"
#include "tests/recovery/recovery_test_util.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;
using test::KeyStream;

struct Counts {
  int streams = 0;
  int compared = 0;
  int identical = 0;
  int files = 0;
};

// Recovers every deleted item of `image` into a scratch folder and compares with the key.
Counts RecoverAllAndCompare(const std::string& label, const std::string& image,
                            const std::string& keyText) {
  Counts counts;
  std::string before = test::Sha256OfFile(image);
  test::IndexedImage o = test::OpenIndexedImage(image);
  if (!o.ntfs) {
    ADD_FAILURE() << image << " is not NTFS";
    return counts;
  }
  CFileIndexCatalogue catalogue(file_index, o.ntfs);
  std::vector<RecoverItem> items;
  for (const PlacedItem& p : PlaceDeletedItems(catalogue, "")) {
    RecoverItem item;
    item.id = p.record;
    item.attributes = p.attributes;
    item.name = p.name;
    item.subfolder = p.subfolder;
    items.push_back(item);
  }
  std::string dest = test::ScratchFolder("recover_all_" + label);
  test::CScriptedFrontEnd frontEnd(dest);
  EXPECT_EQ(test::RunRecovery(frontEnd, *o.volume, RF_ALL_STREAMS | RF_FOLDER_ATTRIBUTES,
                              MakeItemList(items), &catalogue),
            REC_S_OK);

  std::map<std::uint32_t, RecoveredItemReport> byRecord;
  for (const auto& r : frontEnd.reports)
    if (!r.folder) byRecord[static_cast<std::uint32_t>(r.id)] = r;
  counts.files = static_cast<int>(byRecord.size());

  for (const KeyStream& k : test::DeletedStreamsOfKey(keyText)) {
    ++counts.streams;
    if (!file_index.FindEntry(k.record)) continue;  // no name left: not a catalogued file
    auto it = byRecord.find(k.record);
    if (it == byRecord.end()) {
      ADD_FAILURE() << label << ": record " << k.record << " (" << k.path << ") was not recovered";
      continue;
    }
    std::string target = it->second.destination + (k.stream.empty() ? "" : ":" + k.stream);
    ++counts.compared;
    std::string got = test::Sha256OfFile(target);
    // A record whose runs end before its claimed size (its last runs were in an extension
    // record that is gone): icat gives what the runs hold, and so must the start of ours.
    if (got != k.sha256 && k.icatSize != 0 && k.icatSize < k.claimedSize) {
      std::vector<std::uint8_t> bytes = test::ReadWholeFile(target);
      test::CSha256 prefix;
      if (bytes.size() >= k.icatSize) prefix.Update(bytes.data(), k.icatSize);
      if (bytes.size() >= k.icatSize) got = prefix.HexDigest();
    }
    if (got == k.sha256) {
      ++counts.identical;
    } else {
      ADD_FAILURE() << label << ": record " << k.record << " stream '" << k.stream << "' at "
                    << target << " differs from icat";
    }
    // Where TSK still knows the folders above a file, it comes back at the same place.
    if (k.path.rfind("$OrphanFiles", 0) != 0 && k.stream.empty()) {
      EXPECT_EQ(it->second.destination, dest + "/" + k.path) << label << " record " << k.record;
    }
  }
  EXPECT_EQ(test::Sha256OfFile(image), before) << "the source image changed";
  std::cout << label << ": " << counts.files << " files written; key streams " << counts.streams
            << ", compared " << counts.compared << ", identical " << counts.identical << "\n";
  return counts;
}

TEST(RecoverImages, CommittedFixturesComeBackByteForByte) {
  for (const char* name : {"ntfs-4k.img", "ntfs-512.img", "ntfs-64k.img", "ntfs-mftfrag.img"}) {
    std::string key = test::FixtureText(std::string(name) + ".key.json");
    if (key.empty()) {
      std::cout << name << ": no key yet, skipped\n";
      continue;
    }
    std::string image = test::Fixture(name);
    if (image.empty()) continue;
    Counts c = RecoverAllAndCompare(name, image, key);
    EXPECT_GT(c.compared, 0) << name;
    EXPECT_EQ(c.compared, c.identical) << name;
  }
}

TEST(RecoverImages, ThirdPartyImagesComeBackByteForByte) {
  struct Case {
    const char* image;
    const char* key;
  };
  int ran = 0;
  for (const Case& c : {Case{"dftt-7-undel-ntfs.dd", "keys/7-ntfs-undel.dd.key.json"},
                        Case{"dftt-8-jpeg-search.dd", "keys/8-jpeg-search.dd.key.json"},
                        Case{"charlie-attrlist-ads.dd", "keys/charlie.dd.key.json"},
                        Case{"dissect-ntfs.bin", "keys/ntfs.bin.key.json"}}) {
    auto image = test::RealImage(c.image);
    auto key = test::RealImageText(c.key);
    if (!image || !key) continue;
    ++ran;
    Counts counts = RecoverAllAndCompare(c.image, *image, *key);
    EXPECT_EQ(counts.compared, counts.identical) << c.image;
  }
  if (ran == 0) GTEST_SKIP() << "third-party images not present";
}

}  // namespace
}  // namespace sorvani
