#include "tests/recovery/recovery_test_util.h"

#include <openssl/evp.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

namespace sorvani::test {

std::string Sha256OfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.gcount() > 0) EVP_DigestUpdate(ctx, buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  unsigned char digest[32];
  unsigned int length = 0;
  EVP_DigestFinal_ex(ctx, digest, &length);
  EVP_MD_CTX_free(ctx);
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < length; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 15];
  }
  return out;
}

bool CScriptedFrontEnd::ChooseDestination(RecoverJob& j, std::string& destination, bool& all,
                                          bool& folders) {
  job = &j;
  destination = m_destination;
  all = allStreams;
  folders = folderAttributes;
  return !cancelDialog;
}

void CScriptedFrontEnd::RunProgress(RecoverJob& j) {
  job = &j;
  std::thread worker(RecoverThread, &j);
  worker.join();
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
