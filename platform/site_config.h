// Site settings an administrator sets for every user (crash-report address, vendor addresses):
// "key=value" lines in /etc/sorvani-recovery.conf, each key overridable per user in
// $XDG_CONFIG_HOME/SorvaniRecovery/site.conf.
#pragma once

#include <map>
#include <string>

namespace sorvani {

using SiteSettings = std::map<std::string, std::string>;

// Files larger than this are refused whole: the program may run as root and reads them early.
inline constexpr std::size_t kMaxSiteConfigSize = 64 * 1024;

// Lines of "key=value"; blanks around key and value are dropped, lines starting with '#' and
// lines without '=' or with an empty key are skipped; a later line wins. Keys are kept as
// written (exact case), unknown ones included. '#' inside a value is part of it (URLs).
SiteSettings ParseSiteConfig(const std::string& text);

// Adds the settings of the file at `path` to `settings` (overriding equal keys). False, and
// `settings` unchanged, when the file is missing, not a regular file, larger than
// kMaxSiteConfigSize, writable by others, or unreadable.
bool ReadSiteConfigFile(const std::string& path, SiteSettings& settings);

// The system file, then the user's file over it.
SiteSettings LoadSiteConfig(const std::string& systemPath, const std::string& userPath);
std::string SystemSiteConfigPath();  // /etc/sorvani-recovery.conf
std::string UserSiteConfigPath();    // $XDG_CONFIG_HOME/SorvaniRecovery/site.conf

// The value of `key` from the two default files; empty when absent.
std::string SiteSetting(const std::string& key);

}  // namespace sorvani
