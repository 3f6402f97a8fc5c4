#include "tests/recovery/recovery_test_util.h"

#include <algorithm>

#include <atomic>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include "disk/drive_table.h"
#include "index/enum_thread.h"
#include "index/file_index.h"
#include "tests/util/fixtures.h"
#include "volumes/open_volume.h"

namespace sorvani::test {

IndexedImage OpenIndexedImage(const std::string& image) {
  IndexedImage o;
  std::string error;
  auto letters = CDriveTable::Instance().RegisterImage(image, error);
  if (letters.empty()) return o;
  o.letter = letters[0];
  if (!OpenVolume(o.letter, o.volume)) return o;
  o.ntfs = dynamic_cast<CNtfsVolume*>(o.volume.get());
  EnumerateDrive(o.letter, true);
  return o;
}

void CIndexedImageTest::SetUp() {
  std::string image = Fixture("ntfs-4k.img");
  if (image.empty()) GTEST_SKIP();
  m_image = OpenIndexedImage(image);
  ASSERT_NE(m_image.ntfs, nullptr);
  m_catalogue = std::make_unique<CFileIndexCatalogue>(file_index, m_image.ntfs);
  m_keyText = FixtureText("ntfs-4k.img.key.json");
  auto key = nlohmann::json::parse(m_keyText, nullptr, false);
  ASSERT_FALSE(key.is_discarded());
  for (const auto& e : key["entries"])
    if (e.value("deleted", false))
      m_records[e.value("path", "")] = e.at("record").get<std::uint32_t>();
}

void CIndexedImageTest::TearDown() {
  m_catalogue.reset();
  if (m_image.letter) {
    m_image.volume.reset();
    CDriveTable::Instance().Remove(m_image.letter);
  }
}

NextRecoverItem ItemsFor(const std::vector<std::uint32_t>& records, std::uint32_t folderMask) {
  std::vector<RecoverItem> items;
  for (std::uint32_t r : records) {
    RecoverItem item;
    item.id = r;
    item.attributes = folderMask;
    items.push_back(item);
  }
  return MakeItemList(std::move(items));
}

namespace {

RecoverResult RunJob(CScriptedFrontEnd& fe, RecoverJob& j, bool raw) {
  fe.job = &j;
  j.prompt = &fe;
  j.events = &fe;
  j.destination = fe.Destination();
  if (fe.prepare) fe.prepare(j);
  std::atomic<bool> done{false};
  std::thread watcher;
  if (fe.watch)
    watcher = std::thread([&] {
      while (!done.load() && !fe.watch(j)) std::this_thread::yield();
    });
  RecoverResult result = raw ? RecoverRawRanges(j) : RecoverFileGroup(j);
  done = true;
  if (watcher.joinable()) watcher.join();
  fe.progress = j.Snapshot();
  fe.job = nullptr;
  return result;
}

}  // namespace

RecoverResult RunRecovery(CScriptedFrontEnd& fe, CVolume& volume, std::uint32_t flags,
                          NextRecoverItem items, IRecoverCatalogue* catalogue) {
  RecoverJob j;
  j.volume = &volume;
  j.catalogue = catalogue;
  j.flags = flags;
  j.nextItem = std::move(items);
  return RunJob(fe, j, (flags & RF_RAW_RANGES) != 0);
}

RecoverResult RunRawRanges(CScriptedFrontEnd& fe, char letter, std::uint32_t flags,
                           NextRecoverItem items) {
  std::unique_ptr<CVolume> volume;
  if (!OpenVolume(letter, volume) || !volume) return REC_E_INVALIDARG;
  RecoverJob j;
  j.volume = volume.get();
  j.flags = flags;
  j.nextItem = std::move(items);
  return RunJob(fe, j, true);
}

void CScriptedFrontEnd::AddFailureRow(const std::string& status, const std::string& path) {
  rows.emplace_back(status, path);
}

void CScriptedFrontEnd::ItemFinished(const RecoveredItemReport& report) {
  reports.push_back(report);
  if (onItem && job) onItem(*job, report);
}

PromptButton CScriptedFrontEnd::Ask(const PromptRequest& request) {
  asked.push_back(request);
  if (!answers.empty()) {
    PromptButton b = answers.front();
    answers.pop_front();
    return b;
  }
  if (rule) return rule(request);
  if (std::find(request.buttons.begin(), request.buttons.end(), PromptButton::kIgnore) !=
      request.buttons.end())
    return PromptButton::kIgnore;
  return request.Default();
}

std::vector<KeyStream> DeletedStreamsOfKey(const std::string& keyText) {
  std::vector<KeyStream> out;
  auto key = nlohmann::json::parse(keyText, nullptr, false);
  if (key.is_discarded()) return out;
  if (key.contains("streams")) {
    std::set<std::uint32_t> unallocated;
    for (const auto& row : key.value("unallocated", nlohmann::json::array()))
      unallocated.insert(row.at("record").get<std::uint32_t>());
    for (const auto& s : key["streams"]) {
      auto record = s.at("record").get<std::uint32_t>();
      if (!unallocated.count(record) || s.value("icat_rc", 1) != 0) continue;
      KeyStream k;
      k.record = record;
      k.stream = s["stream"].is_string() ? s["stream"].get<std::string>() : "";
      k.path = s.value("path", "");
      k.sha256 = s.at("sha256").get<std::string>();
      k.icatSize = s.value("icat_size", std::uint64_t{0});
      if (s.contains("attr") && s["attr"].is_object())
        k.claimedSize = s["attr"].value("size", std::uint64_t{0});
      out.push_back(k);
    }
  } else if (key.contains("items")) {
    for (const auto& s : key["items"]) {
      if (s.value("record_allocated", true) || !s.contains("sha256")) continue;
      if (s.value("attr_type", 128) != 128) continue;
      KeyStream k;
      k.record = s.at("record").get<std::uint32_t>();
      std::string path = s.value("path", "");
      auto slash = path.rfind('/');
      auto colon = path.find(':', slash == std::string::npos ? 0 : slash + 1);
      if (colon != std::string::npos) {
        k.stream = path.substr(colon + 1);
        path = path.substr(0, colon);
      }
      k.path = path;
      k.sha256 = s.at("sha256").get<std::string>();
      out.push_back(k);
    }
  }
  return out;
}

}  // namespace sorvani::test
