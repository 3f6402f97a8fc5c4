// Runs the built `sorvani` command and captures what it prints.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/util/shell.h"

namespace sorvani::test {

struct CommandResult {
  int exitCode = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

// Runs `binary` (the built command, or a link to it elsewhere) with `args`.
inline CommandResult RunSorvaniAt(const std::string& binary, const std::vector<std::string>& args) {
  static int counter = 0;
  std::string errFile = std::string(::testing::TempDir()) + "sorvani-stderr." +
                        std::to_string(::getpid()) + "." + std::to_string(counter++);
  // A private profile and log folder, so tests never touch the user's own.
  std::string home =
      std::string(::testing::TempDir()) + "sorvani-home." + std::to_string(::getpid());
  std::string cmd = "XDG_CONFIG_HOME=" + ShellQuote(home + "/config") +
                    " XDG_STATE_HOME=" + ShellQuote(home + "/state") + " " + ShellQuote(binary);
  for (const auto& a : args) cmd += " " + ShellQuote(a);
  cmd += " 2>" + ShellQuote(errFile);
  CommandResult r;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  if (FILE* e = std::fopen(errFile.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, e)) > 0) r.err.append(buf, n);
    std::fclose(e);
    std::remove(errFile.c_str());
  }
  return r;
}

inline CommandResult RunSorvani(const std::vector<std::string>& args) {
  return RunSorvaniAt(SORVANI_BIN, args);
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(pos, nl - pos));
    pos = nl + 1;
  }
  return lines;
}

// One JSON value per non-empty line, as the --json outputs print them.
inline std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> objects;
  for (const auto& line : Lines(out))
    if (!line.empty()) objects.push_back(nlohmann::json::parse(line));
  return objects;
}

}  // namespace sorvani::test
