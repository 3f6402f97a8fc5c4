#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/paths.h"
#include "platform/site_config.h"

namespace sorvani {
namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n\v\f";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

SiteSettings ParseSiteConfig(const std::string& text) {
  SiteSettings settings;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = Trim(line.substr(0, equals));
    if (key.empty()) continue;
    settings[key] = Trim(line.substr(equals + 1));
  }
  return settings;
}

bool ReadSiteConfigFile(const std::string& path, SiteSettings& settings) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWOTH) == 0 &&
            static_cast<std::uint64_t>(st.st_size) <= kMaxSiteConfigSize;
  std::string text;
  if (ok) {
    // Read one byte past the cap, so a file that grew after fstat is refused too.
    text.resize(kMaxSiteConfigSize + 1);
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t r = ::read(fd, text.data() + done, text.size() - done);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) ok = false;
      if (r <= 0) break;
      done += static_cast<std::size_t>(r);
    }
    text.resize(done);
    if (done > kMaxSiteConfigSize) ok = false;
  }
  ::close(fd);
  if (!ok) return false;
  for (auto& [key, value] : ParseSiteConfig(text)) settings[key] = value;
  return true;
}

SiteSettings LoadSiteConfig(const std::string& systemPath, const std::string& userPath) {
  SiteSettings settings;
  if (!systemPath.empty()) ReadSiteConfigFile(systemPath, settings);
  if (!userPath.empty()) ReadSiteConfigFile(userPath, settings);
  return settings;
}

std::string SystemSiteConfigPath() { return "/etc/sorvani-recovery.conf"; }

std::string UserSiteConfigPath() { return ProfileFolder() + "/site.conf"; }

std::string SiteSetting(const std::string& key) {
  // Read afresh each time: it is asked rarely, and an edit then takes effect without a restart.
  SiteSettings settings = LoadSiteConfig(SystemSiteConfigPath(), UserSiteConfigPath());
  auto it = settings.find(key);
  return it == settings.end() ? std::string() : it->second;
}

}  // namespace sorvani
