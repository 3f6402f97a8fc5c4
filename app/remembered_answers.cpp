#include "app/remembered_answers.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "foundation/log.h"
#include "platform/paths.h"

namespace sorvani {

namespace {

constexpr char kSection[] = "Answers";

constexpr std::array<std::pair<PromptButton, const char*>, 12> kButtonNames{{
    {PromptButton::kYes, "Yes"},
    {PromptButton::kNo, "No"},
    {PromptButton::kOk, "OK"},
    {PromptButton::kCancel, "Cancel"},
    {PromptButton::kAbort, "Abort"},
    {PromptButton::kRetry, "Retry"},
    {PromptButton::kIgnore, "Ignore"},
    {PromptButton::kYesToAll, "YesToAll"},
    {PromptButton::kNoToAll, "NoToAll"},
    {PromptButton::kIgnoreAll, "IgnoreAll"},
    {PromptButton::kSkipAll, "SkipAll"},
    {PromptButton::kTryAgain, "TryAgain"},
}};

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsNameChar(char c) {
  return IsLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
}

bool StartsWithXml(std::string_view name) {
  if (name.size() < 3) return false;
  auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
  return lower(name[0]) == 'x' && lower(name[1]) == 'm' && lower(name[2]) == 'l';
}

std::uint32_t Fnv1a(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace

CRememberedAnswers::CRememberedAnswers(std::string path) : m_path(std::move(path)) {
  m_file.SetPath(m_path);
  if (m_file.Load()) return;
  // A broken file would otherwise leave the store unable to keep anything; keep the old bytes
  // for whoever wants to look at them and start over.
  std::error_code error;
  std::filesystem::rename(m_path, m_path + ".bad", error);
  if (error) {
    LogFile.Write(1, "Couldn't move the unreadable answers file %s aside: %s\n", m_path.c_str(),
                  error.message().c_str());
    return;
  }
  LogFile.Write(1, "The answers file %s was unreadable and was moved to %s.bad\n", m_path.c_str(),
                m_path.c_str());
  m_file.Load();
}

std::string CRememberedAnswers::DefaultPath() { return ProfileFolder() + "/Answers.xml"; }

CRememberedAnswers& RememberedAnswers() {
  static CRememberedAnswers answers(CRememberedAnswers::DefaultPath());
  return answers;
}

std::string CRememberedAnswers::ElementName(std::string_view key) {
  bool valid = !key.empty() && (IsLetter(key.front()) || key.front() == '_') &&
               std::all_of(key.begin(), key.end(), IsNameChar) && !StartsWithXml(key);
  if (valid) return std::string(key);
  std::string name = "_";
  for (char c : key) name += IsNameChar(c) ? c : '_';
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "_%08x", Fnv1a(key));
  return name + suffix;
}

const char* CRememberedAnswers::ButtonName(PromptButton button) {
  for (const auto& [value, name] : kButtonNames) {
    if (value == button) return name;
  }
  return "";
}

std::optional<PromptButton> CRememberedAnswers::ButtonFromName(std::string_view name) {
  for (const auto& [value, text] : kButtonNames) {
    if (name == text) return value;
  }
  return std::nullopt;
}

std::optional<PromptButton> CRememberedAnswers::Lookup(std::string_view key,
                                                       const PromptRequest& request) {
  if (key.empty()) return std::nullopt;
  std::string text;
  try {
    text = m_file.GetString(kSection, ElementName(key), "");
  } catch (const CXMLProfile::CXMLProfileException&) {
    return std::nullopt;
  }
  std::optional<PromptButton> answer = ButtonFromName(text);
  if (!answer) {
    if (!text.empty())
      LogFile.Write(1, "Ignoring the remembered answer \"%s\" to %s: no such button\n",
                    text.c_str(), std::string(key).c_str());
    return std::nullopt;
  }
  if (std::find(request.buttons.begin(), request.buttons.end(), *answer) == request.buttons.end())
    return std::nullopt;
  return answer;
}

bool CRememberedAnswers::Remember(std::string_view key, PromptButton answer) {
  if (key.empty() || !m_file.HasDocument()) return false;
  m_file.SetString(kSection, ElementName(key), ButtonName(answer));
  std::string folder = std::filesystem::path(m_path).parent_path().string();
  if (!folder.empty()) MakeFolders(folder);
  return m_file.Save();
}

bool CRememberedAnswers::ForgetAll() {
  std::error_code error;
  std::filesystem::remove(m_path, error);
  m_file.SetPath(m_path);
  return m_file.Load() && !error;
}

}  // namespace sorvani
