// The `sorvani` command: a front end over the engines for scripts and terminals.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cmd_carve.h"
#include "cli/cmd_catalogue.h"
#include "cli/cmd_drives.h"
#include "cli/cmd_recover.h"
#include "index/index_cache.h"

namespace {

const char kUsage[] =
    "usage: sorvani COMMAND [ARGS]\n"
    "\n"
    "  drives [--json]\n"
    "      the drives of this machine: letter, device or image, disk, type, file system,\n"
    "      label, size, free space, mount point\n"
    "  info SOURCE [--json]\n"
    "      file system and geometry of each drive of SOURCE\n"
    "  list SOURCE [--path \"X:\\\\folder\\\\\"] [--recursive] [--deleted-only] [--json] "
    "[--cache]\n"
    "      deleted files and folders beside the existing ones\n"
    "  search SOURCE [--name TEXT [--exact]] [--min-kb N] [--max-kb N]\n"
    "         [--created|--modified FROM TO] [--path FOLDER] [--json] [--cache]\n"
    "      find deleted items; FROM and TO are local YYYY-MM-DD[THH:MM[:SS]]\n"
    "  recover SOURCE --to DEST (--record N ... | --all-deleted | --path \"X:\\\\folder\\\\\")\n"
    "          [--first-stream-only] [--no-folder-attributes] [--yes-to-all | --no-to-all]\n"
    "          [--quiet] [--json] [--allow-same-volume]\n"
    "      recover deleted files and folders, with every stream, into DEST\n"
    "  carve SOURCE [--types jpeg,bmp,png,gif] [--recover-to DEST] [--json]\n"
    "      carve pictures out of the free clusters of each drive of SOURCE\n"
    "\n"
    "SOURCE is a drive letter (\"D:\"), a block device or a disk image file. Sources are\n"
    "only ever opened for reading. A folder is written \"X:\\\\a\\\\b\\\\\", \"X:/a/b\", \"/a/b\" "
    "or \"a/b\";\n"
    "it may be an existing or a deleted folder.\n"
    "Exit codes: 0 success, 1 some items failed, 2 bad usage or unreadable source.\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace sorvani::cli;
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
      !std::strcmp(argv[1], "help")) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? kExitBadUsage : kExitOk;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("sorvani %s\n", kApplicationVersion);
    return kExitOk;
  }
  std::string command = argv[1];
  Args args(std::vector<std::string>(argv + 2, argv + argc));
  InitProcessLog();
  // The command line keeps a catalogue on disk only where --cache asks for it, and no run
  // leaves behind a cache file too old to be used.
  sorvani::SetCacheSavingAllowed(false);
  std::atexit([] { sorvani::CleanUpStaleCache(); });
  if (command == "drives") return RunDrives(args);
  if (command == "info") return RunInfo(args);
  if (command == "dump-record") return RunDumpRecord(args);
  if (command == "list") return RunList(args);
  if (command == "search") return RunSearch(args);
  if (command == "recover") return RunRecover(args);
  if (command == "carve") return RunCarve(args);
  PrintError("unknown command '" + command + "' (see sorvani --help)");
  return kExitBadUsage;
}
