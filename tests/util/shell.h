// Shell helpers for tests that drive outside tools (mounts, loop devices, the built command).
#pragma once

#include <cstdio>
#include <string>

namespace sorvani::test {

// `s` as one single-quoted shell word.
inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs `command` with /bin/sh and returns what it printed, without trailing blanks.
inline std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    ::pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace sorvani::test
