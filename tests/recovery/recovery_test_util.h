// Shared pieces of the recovery tests: a scripted front end, sha256 of files, and the streams
// of deleted files that a TSK answer key lists.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "disk/volume.h"
#include "ntfs/ntfs_volume.h"
#include "recovery/recover_catalogue.h"
#include "recovery/recover_engine.h"
#include "tests/util/sha256.h"

namespace sorvani::test {

// An image registered as a drive, a reader of the recovery's own, and the process-wide
// catalogue filled for it.
struct IndexedImage {
  char letter = 0;
  std::unique_ptr<CVolume> volume;
  CNtfsVolume* ntfs = nullptr;
};
IndexedImage OpenIndexedImage(const std::string& image);

// ntfs-4k.img indexed as above, with the catalogue a recovery reads, the text of its answer
// key and the key's deleted items by path. Skips when the fixture is absent.
class CIndexedImageTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  IndexedImage m_image;
  std::unique_ptr<CFileIndexCatalogue> m_catalogue;
  std::string m_keyText;
  std::map<std::string, std::uint32_t> m_records;
};

// One RecoverItem per record, as a selection of the file list would give them.
NextRecoverItem ItemsFor(const std::vector<std::uint32_t>& records, std::uint32_t folderMask = 0);

// A front end that answers prompts from a script (or with a rule) and records everything.
class CScriptedFrontEnd : public IRecoverPrompt, public IRecoverEvents {
 public:
  explicit CScriptedFrontEnd(std::string destination) : m_destination(std::move(destination)) {}

  void AddFailureRow(const std::string& status, const std::string& path) override;
  void ItemFinished(const RecoveredItemReport& report) override;
  PromptButton Ask(const PromptRequest& request) override;

  const std::string& Destination() const { return m_destination; }

  // Answers taken in order; when empty, `rule` decides (default: Ignore if offered, else the
  // box's default).
  std::deque<PromptButton> answers;
  std::function<PromptButton(const PromptRequest&)> rule;
  // Called on the worker thread for each finished item (e.g. to cancel the run).
  std::function<void(RecoverJob&, const RecoveredItemReport&)> onItem;
  // Called before the run starts (e.g. to set the piece size).
  std::function<void(RecoverJob&)> prepare;
  // Polled on a thread of its own while the run goes, until it returns true (e.g. to cancel
  // once the first bytes are written).
  std::function<bool(RecoverJob&)> watch;

  std::vector<PromptRequest> asked;
  std::vector<std::pair<std::string, std::string>> rows;  // status, path
  std::vector<RecoveredItemReport> reports;
  RecoverJob* job = nullptr;
  RecoveryProgress progress;  // the record of the last run, once it has ended

 private:
  std::string m_destination;
};

// Runs one recovery through the engine with `fe` as both sinks, to fe's destination.
RecoverResult RunRecovery(CScriptedFrontEnd& fe, CVolume& volume, std::uint32_t flags,
                          NextRecoverItem items, IRecoverCatalogue* catalogue);
// The same for raw ranges of drive `letter` (through a volume of the run's own);
// REC_E_INVALIDARG when the drive cannot be opened.
RecoverResult RunRawRanges(CScriptedFrontEnd& fe, char letter, std::uint32_t flags,
                           NextRecoverItem items);

struct KeyStream {
  std::uint32_t record = 0;
  std::string stream;  // "" for the unnamed stream
  std::string path;    // the path TSK gives the file
  std::string sha256;
  // Bytes icat delivered and the stream's claimed size, where the key gives both (0 else).
  std::uint64_t icatSize = 0;
  std::uint64_t claimedSize = 0;
};

// The streams of unallocated records that icat could read, from either key layout (the
// fixture keys' "streams", the third-party keys' "items").
std::vector<KeyStream> DeletedStreamsOfKey(const std::string& keyText);

}  // namespace sorvani::test
