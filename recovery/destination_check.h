// The checks a destination folder must pass before a run starts: a usable path, not on the
// volume being recovered from, room for the selection, and whether streams and attributes
// will survive on its file system. Plus the list of recent destinations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sorvani {

struct DriveSource;

struct DestinationCheck {
  std::string destination;  // trimmed, ending in "/"
  bool valid = false;       // absolute, none of "|<>*?"
  bool sameVolume =
      false;  // lies on the source volume: writing there may destroy what is recovered
  bool freeSpaceKnown = false;
  std::uint64_t freeSpace = 0;
  bool enoughSpace = true;  // free space >= selection size (true when unknown)
  std::string fileSystem;   // "" when it cannot be told
  bool notNtfs = false;     // alternate streams and attributes may be lost
};

// Trims blanks and tabs and appends "/"; valid when absolute and free of "|", "<", ">", "*",
// "?" (and control characters).
bool NormalizeDestination(const std::string& text, std::string& destination);

DestinationCheck CheckDestination(const std::string& text, char sourceLetter,
                                  std::uint64_t selectionSize);

// True when `destination` (or its nearest existing folder) lies on a file system that is
// backed by any byte of the source: the same device, a partition or loop device over the same
// range, or an image file mounted through FUSE (whose mount names the file as its source).
bool DestinationOnSource(const std::string& destination, const DriveSource& source);
// The same with another mount table (for tests).
bool DestinationOnSource(const std::string& destination, const DriveSource& source,
                         const std::string& mountInfoPath);

// Recover/LastDestinationFolders, most recent first.
std::vector<std::string> RecentDestinations();
// Puts `destination` first (case-insensitive duplicates removed), keeps five, saves the profile.
void RememberDestination(const std::string& destination);

}  // namespace sorvani
