#include "cli/cli.h"

#include <cctype>

#include <algorithm>

#include "app/session.h"
#include "disk/drive_enum.h"
#include "disk/drive_table.h"
#include "fat/fat_volume.h"
#include "foundation/display_format.h"

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

bool Args::Option2(const std::string& name, std::string& first, std::string& second,
                   bool& missing) {
  missing = false;
  for (std::size_t i = 0; i < m_words.size(); ++i) {
    if (m_used[i] || m_words[i] != name) continue;
    m_used[i] = true;
    if (i + 2 >= m_words.size() || m_used[i + 1] || m_used[i + 2]) {
      missing = true;
      return false;
    }
    m_used[i + 1] = m_used[i + 2] = true;
    first = m_words[i + 1];
    second = m_words[i + 2];
    return true;
  }
  return false;
}

std::vector<std::string> Args::Positionals() const {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < m_words.size(); ++i)
    if (!m_used[i] && !(m_words[i].size() > 2 && m_words[i].starts_with("--")))
      out.push_back(m_words[i]);
  return out;
}

std::string Args::Leftover() const {
  for (std::size_t i = 0; i < m_words.size(); ++i)
    if (!m_used[i] && m_words[i].size() > 2 && m_words[i].starts_with("--")) return m_words[i];
  return {};
}

CSession& Session() {
  static CSession session(CDriveTable::Instance(),
                          DriveTables{LogicalDiskMap, DiskList, DriveDiskMap});
  return session;
}

void PrintError(const std::string& message) {
  std::fprintf(stderr, "sorvani: %s\n", message.c_str());
}

bool ResolveSource(const std::string& source, std::vector<char>& letters, std::string& error) {
  letters.clear();
  if (source.size() == 2 && source[1] == ':' &&
      std::isalpha(static_cast<unsigned char>(source[0]))) {
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(source[0])));
    // Letters name this machine's drives: enumerate them the first time one is asked for.
    if (!CDriveTable::Instance().Find(letter)) RetreiveHardwareInfo();
    if (!CDriveTable::Instance().Find(letter)) {
      error = source + ": no such drive";
      return false;
    }
    letters.push_back(letter);
    return true;
  }
  letters = Session().OpenImage(source, error);
  return !letters.empty();
}

bool WarnIfCutOff(char letter, const CVolume& volume) {
  std::uint64_t missing = volume.MissingBytes();
  if (missing == 0) return false;
  auto source = CDriveTable::Instance().Find(letter);
  std::string where = (source ? source->path : std::string("?")) + " (drive " + letter + ":)";
  const char* type = FsTypeName(volume.GetFsType());
  PrintError("warning: " + where + ": the " + (type ? type : "") +
             " volume is cut off: its boot sector claims " + std::to_string(volume.ClaimedSize()) +
             " bytes, the source holds " + std::to_string(volume.DeviceSize()) + "; " +
             std::to_string(missing) + " bytes (" + FormatSize(missing, true) + ") are missing");
  return true;
}

bool WarnIfFatCutOff(char letter) {
  CFatVolume fat;
  return fat.Initialize(letter) && WarnIfCutOff(letter, fat);
}

}  // namespace sorvani::cli
