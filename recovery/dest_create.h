// Choosing and creating the destination file of one item: the collision name, the question
// before an existing file is overwritten, the stream siblings that travel with a file on a
// destination without streams, and the partial name of a file whose item failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dest_files.h"
#include "recovery/recovery_types.h"

namespace sorvani {

struct RecoverJob;

// Appended to the name of a file whose item failed, so that a cut-short file never looks
// recovered: "photo.jpg" becomes "photo.jpg.partial".
inline constexpr char kPartialSuffix[] = ".partial";

// Creates the file of an item at `path` and leaves it open in `file`. A name counts as taken
// when the path or any of `siblings` (suffixes such as ":stream", the files that stand for
// alternate streams where the destination has none) exists. A taken name gives the collision
// name with `id`; when that is taken too, the person is asked (or the run's choice applies).
// Returns REC_S_OK with `path` updated and `overwrite` telling whether an existing file was
// consented to be replaced; REC_S_NOTHING_DONE when overwriting was declined (a skip, not a
// failure); or the failure that ends the item.
RecoverResult CreateDestinationFile(RecoverJob& job, std::string& path, std::uint64_t id,
                                    std::uint32_t flags, const std::vector<std::string>& siblings,
                                    CDestFile& file, bool& overwrite);

// Opens the file that receives one alternate stream of a file just created: a new file (or
// stream) unless overwriting was consented. REC_S_OK, or the failure reported for it.
RecoverResult CreateStreamTarget(RecoverJob& job, const std::string& target, bool overwrite,
                                 std::uint32_t& flags, CDestFile& file);

// Renames the file at `path` and its sibling files to the partial name (the suffix, then the
// collision name of it, then numbered ones), never replacing anything. `path` becomes the
// new name; false (and a log line) when no rename succeeded.
bool SetAsidePartialFile(std::string& path, std::uint64_t id,
                         const std::vector<std::string>& siblings);

// Sets a file aside under its partial name when it goes out of scope, unless Keep() was
// called: every way out of a writer that is not success leaves no file under a final name.
class CPartialFileGuard {
 public:
  CPartialFileGuard(std::string& path, std::uint64_t id, std::vector<std::string> siblings = {})
      : m_path(path), m_id(id), m_siblings(std::move(siblings)) {}
  ~CPartialFileGuard() {
    if (!m_kept) SetAsidePartialFile(m_path, m_id, m_siblings);
  }
  CPartialFileGuard(const CPartialFileGuard&) = delete;
  CPartialFileGuard& operator=(const CPartialFileGuard&) = delete;
  void Keep() { m_kept = true; }

 private:
  std::string& m_path;
  std::uint64_t m_id;
  std::vector<std::string> m_siblings;
  bool m_kept = false;
};

}  // namespace sorvani
