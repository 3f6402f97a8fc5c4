#include "app/startup.h"

#include <algorithm>
#include <ctime>
#include <string>

#include "foundation/log.h"
#include "foundation/profile.h"
#include "platform/os_info.h"
#include "platform/paths.h"

namespace sorvani {

void InitProcessLog() {
  // Profile first: it says whether and how much to log. A profile that cannot be read or
  // saved leaves the defaults in effect.
  CXMLProfile& profile = Profile();
  std::string profileFolder = ProfileFolder();
  MakeFolders(profileFolder);
  profile.SetPath(profileFolder + "/Profile.xml");
  profile.Load();
  profile.SetString("Application", "Version", kApplicationVersion);
  profile.Save();

  int type = profile.GetInt("Logging", "Type", 1);
  if (type <= 0) return;  // no log at all, not even an empty file
  std::string folder = StateFolder();
  if (!MakeFolders(folder) || !LogFile.Open(folder + "/SorvaniRecovery.log")) return;
  std::uint64_t limit = CLogFile::kDefaultSizeLimit;
  if (profile.GetInt("Logging", "LogSizeIsLimited", 1) != 0)
    limit = std::uint64_t(std::clamp(profile.GetInt("Logging", "MaxLogSize", 51), 1, 51)) * 102400;
  LogFile.SetSizeLimit(limit);
  LogFile.SetLevel(type - 1);

  LogFile.Write(0, "[ Sorvani Recovery Log ]\n");
  LogFile.Write(1, "Verbose\n");
  LogFile.Write(0, "Operating System: %s\n", OperatingSystemText().c_str());
  LogFile.Write(0, "Application version: %s\n", kApplicationVersion);
  char when[128] = "";
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local) || !std::strftime(when, sizeof when, "%B %d, %Y %I:%M %p", &local))
    when[0] = 0;
  LogFile.Write(0, "System time: %s\n", when);
}

}  // namespace sorvani
