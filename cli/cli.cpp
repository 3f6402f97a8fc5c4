#include "cli/cli.h"

#include <cctype>

#include "disk/drive_table.h"
#include "foundation/log.h"
#include "platform/paths.h"

namespace sorvani::cli {

bool Args::Flag(const std::string& name) {
  for (std::size_t i = 0; i < m_words.size(); ++i) {
    if (!m_used[i] && m_words[i] == name) {
      m_used[i] = true;
      return true;
    }
  }
  return false;
}

bool Args::Option(const std::string& name, std::string& value, bool& missing) {
  missing = false;
  for (std::size_t i = 0; i < m_words.size(); ++i) {
    if (m_used[i] || m_words[i] != name) continue;
    m_used[i] = true;
    if (i + 1 >= m_words.size() || m_used[i + 1]) {
      missing = true;
      return false;
    }
    m_used[i + 1] = true;
    value = m_words[i + 1];
    return true;
  }
  return false;
}

std::vector<std::string> Args::Positionals() const {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < m_words.size(); ++i)
    if (!m_used[i] && !(m_words[i].size() > 2 && m_words[i].starts_with("--"))) out.push_back(m_words[i]);
  return out;
}

std::string Args::Leftover() const {
  for (std::size_t i = 0; i < m_words.size(); ++i)
    if (!m_used[i] && m_words[i].size() > 2 && m_words[i].starts_with("--")) return m_words[i];
  return {};
}

void PrintError(const std::string& message) { std::fprintf(stderr, "sorvani: %s\n", message.c_str()); }

bool ResolveSource(const std::string& source, std::vector<char>& letters, std::string& error) {
  letters.clear();
  if (source.size() == 2 && source[1] == ':' && std::isalpha(static_cast<unsigned char>(source[0]))) {
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(source[0])));
    if (!CDriveTable::Instance().Find(letter)) {
      error = source + ": no such drive";
      return false;
    }
    letters.push_back(letter);
    return true;
  }
  letters = CDriveTable::Instance().RegisterImage(source, error);
  return !letters.empty();
}

void InitProcessLog() {
  // The command line keeps a normal-level log in the program's state folder, like the
  // desktop program does beside its executable; a failure only means no log.
  std::string folder = StateFolder();
  if (MakeFolders(folder)) LogFile.Open(folder + "/SorvaniRecovery.log");
  LogFile.SetSizeLimit(51ull * 102400);
  LogFile.SetLevel(0);
}

}  // namespace sorvani::cli
