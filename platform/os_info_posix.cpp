#include <sys/utsname.h>

#include <fstream>

#include "platform/os_info.h"

namespace sorvani {
namespace {

std::string Unquote(std::string v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

std::string OperatingSystemText(const std::string& osReleasePath) {
  std::string name, version;
  std::ifstream in(osReleasePath);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("NAME="))
      name = Unquote(line.substr(5));
    else if (line.starts_with("VERSION_ID="))
      version = Unquote(line.substr(11));
  }
  std::string text = name.empty() ? "Linux" : name;
  if (!version.empty()) text += " v." + version;
  struct utsname u {};
  if (::uname(&u) == 0) text += std::string(" build ") + u.release;
  return text;
}

}  // namespace sorvani
