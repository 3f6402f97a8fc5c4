// `sorvani recover` as a person at a terminal sees it: run under a pseudo-terminal, the items
// written are not listed one by one (only failures, skips and the summary), --verbose lists
// them all, and --json lists every item wherever it goes.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"
#include "tests/util/fixtures.h"

namespace sorvani {
namespace {

namespace fs = std::filesystem;

// Runs the command with stdin, stdout and stderr on a pseudo-terminal; what it wrote there,
// with the line redraws ("\r", erase to the end of the line) taken out.
test::CommandResult RunOnTerminal(const std::vector<std::string>& args) {
  test::CommandResult r;
  std::string home =
      std::string(::testing::TempDir()) + "sorvani-tty-home." + std::to_string(::getpid());
  std::vector<std::string> words = {SORVANI_BIN};
  words.insert(words.end(), args.begin(), args.end());
  struct winsize size {};
  size.ws_col = 120;
  size.ws_row = 40;
  int master = -1;
  pid_t child = ::forkpty(&master, nullptr, nullptr, &size);
  if (child < 0) return r;
  if (child == 0) {
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(master, buf, sizeof buf);
    if (n > 0) {
      r.out.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;  // EIO once the child has closed the terminal
  }
  ::close(master);
  int status = 0;
  ::waitpid(child, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::string plain;
  for (std::size_t i = 0; i < r.out.size(); ++i) {
    if (r.out.compare(i, 3, "\033[K") == 0) {
      i += 2;
    } else if (r.out[i] != '\r') {
      plain += r.out[i];
    }
  }
  r.out = plain;
  return r;
}

int LinesStartingWith(const std::string& text, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : test::Lines(text)) n += line.rfind(prefix, 0) == 0;
  return n;
}

TEST(CliTerminal, ATerminalSeesFailuresAndTheSummaryNotEveryItem) {
  std::string image = test::Fixture("ntfs-4k.img");
  if (image.empty()) GTEST_SKIP();
  std::string root = test::ScratchFolder("cli_terminal");
  auto key = nlohmann::json::parse(test::FixtureText("ntfs-4k.img.key.json"));
  std::string draft;
  for (const auto& e : key["entries"])
    if (e.value("path", "") == "Docs/Reports/2023/draft-old.txt")
      draft = std::to_string(e.at("record").get<int>());
  ASSERT_FALSE(draft.empty());
  struct Case {
    std::vector<std::string> args;
    bool everyItem;  // an "ok" line (or a JSON object) per item written
    bool json;
  };
  const std::vector<Case> cases = {
      {{"--all-deleted"}, false, false},
      {{"--all-deleted", "--verbose"}, true, false},
      {{"--all-deleted", "--json"}, true, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string dest = root + "/" + std::to_string(n++);
    std::vector<std::string> args = {"recover", image, "--to", dest};
    args.insert(args.end(), c.args.begin(), c.args.end());
    test::CommandResult r = RunOnTerminal(args);
    SCOPED_TRACE(c.args.back());
    // The fixture holds a damaged file: the run says so in every mode.
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("Recovered: "), std::string::npos) << r.out;
    EXPECT_GE(LinesStartingWith(r.out, "sorvani: failed: "), 1) << r.out;
    EXPECT_TRUE(fs::exists(dest + "/Docs/Reports/2023/draft-old.txt"));
    int ok = c.json ? LinesStartingWith(r.out, "{\"record\":") : LinesStartingWith(r.out, "ok ");
    if (c.everyItem) {
      EXPECT_GT(ok, 10) << r.out;
    } else {
      EXPECT_EQ(ok, 0) << r.out;
    }
  }
  // A failed item is shown with its reason, the written one is not listed.
  test::CommandResult failed =
      RunOnTerminal({"recover", image, "--to", root + "/failed", "--record", "3", draft});
  EXPECT_NE(failed.exitCode, 0);
  EXPECT_EQ(LinesStartingWith(failed.out, "sorvani: failed: "), 1) << failed.out;
  EXPECT_EQ(LinesStartingWith(failed.out, "ok "), 0) << failed.out;
  EXPECT_NE(failed.out.find("Failed:    1 files"), std::string::npos) << failed.out;
  // Items left as they were at the destination are listed too.
  test::CommandResult left =
      RunOnTerminal({"recover", image, "--to", root + "/failed", "--record", draft, "--no-to-all"});
  left =
      RunOnTerminal({"recover", image, "--to", root + "/failed", "--record", draft, "--no-to-all"});
  EXPECT_EQ(left.exitCode, 0) << left.out;
  EXPECT_EQ(LinesStartingWith(left.out, "left "), 1) << left.out;
}

}  // namespace
}  // namespace sorvani
