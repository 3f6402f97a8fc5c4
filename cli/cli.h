// Shared pieces of the `sorvani` command: argument access, source resolution, exit codes.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/startup.h"

namespace sorvani {
class CVolume;
class CSession;
}  // namespace sorvani

namespace sorvani::cli {

using sorvani::InitProcessLog;
using sorvani::kApplicationVersion;

// The command's one session, over the process-wide drive table and drive tables.
CSession& Session();

enum ExitCode { kExitOk = 0, kExitItemsFailed = 1, kExitBadUsage = 2 };

// Arguments after the command word, with simple flag lookup.
class Args {
 public:
  explicit Args(std::vector<std::string> words) : m_words(std::move(words)) {}
  bool Flag(const std::string& name);  // consumes --name
  // Consumes --name VALUE; false when absent. Sets `missing` when the value is absent.
  bool Option(const std::string& name, std::string& value, bool& missing);
  // Consumes --name FIRST SECOND (a range); `missing` when either value is absent.
  bool Option2(const std::string& name, std::string& first, std::string& second, bool& missing);
  // The remaining words that are not options, in order.
  std::vector<std::string> Positionals() const;
  // Any --option left unconsumed (an unknown flag), or "".
  std::string Leftover() const;

 private:
  std::vector<std::string> m_words;
  std::vector<bool> m_used = std::vector<bool>(m_words.size(), false);
};

// Prints "sorvani: message" on stderr.
void PrintError(const std::string& message);

// SOURCE is "X:" (a drive letter already in the table), a block device or an image file.
// Fills the drive letters it stands for; a partitioned image gives several.
bool ResolveSource(const std::string& source, std::vector<char>& letters, std::string& error);

// "NTFS", "FAT12", "FAT16", "FAT32" for a file-system type code; null for none.
const char* FsName(std::uint32_t type);

// Warns on stderr when the boot sector of drive `letter`'s volume claims more bytes than its
// source holds (a cut-off image), naming how many are missing. True when it warned. The
// second form opens the drive as FAT itself and says nothing of a drive that is not FAT.
bool WarnIfCutOff(char letter, const CVolume& volume);
bool WarnIfFatCutOff(char letter);

int RunInfo(Args& args);
int RunDumpRecord(Args& args);

}  // namespace sorvani::cli
