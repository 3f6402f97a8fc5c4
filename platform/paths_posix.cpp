#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/paths.h"

namespace sorvani {
namespace {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string XdgFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  // Relative values are invalid by the XDG rules and are ignored.
  if (value && value[0] == '/') return value;
  return HomeFolder() + fallback;
}

bool IsWorldWritable(const std::string& folder) {
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && (st.st_mode & S_IWOTH);
}

}  // namespace

std::string ExecutableFolder() {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  std::string path(buf.data(), static_cast<std::size_t>(n));
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ProfileFolder() {
  return XdgFolder("XDG_CONFIG_HOME", "/.config") + "/SorvaniRecovery";
}

std::string StateFolder() {
  std::string exe = ExecutableFolder();
  if (!exe.empty() && ::access(exe.c_str(), W_OK) == 0 && !IsWorldWritable(exe)) return exe;
  return XdgFolder("XDG_STATE_HOME", "/.local/state") + "/SorvaniRecovery";
}

bool MakeFolders(const std::string& path) {
  if (path.empty()) return false;
  for (std::size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string part = path.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

}  // namespace sorvani
