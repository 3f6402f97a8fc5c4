// "Do not show again" answers: the button a person chose for a question they asked not to see
// again, kept in a small XML file in the profile folder so it outlives the run.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/profile.h"
#include "recovery/recovery_types.h"

namespace sorvani {

class CRememberedAnswers {
 public:
  // Reads `path` (missing → no answers). A file that cannot be parsed is moved aside to
  // `path` + ".bad" so that new answers can be kept again; it is never a reason to fail.
  explicit CRememberedAnswers(std::string path);

  // ProfileFolder() + "/Answers.xml".
  static std::string DefaultPath();

  // The remembered answer to the question `key`, when there is one and it is one of the buttons
  // the request offers now (a stale or hand-edited value is ignored, the box is shown).
  std::optional<PromptButton> Lookup(std::string_view key, const PromptRequest& request);
  // Keeps `answer` for `key` and saves the file at once; false when it could not be saved.
  bool Remember(std::string_view key, PromptButton answer);
  // Forgets every answer (an options page may offer it); saves.
  bool ForgetAll();

  const std::string& Path() const { return m_path; }

  // An element name for any key: valid keys stay as they are; others get their invalid
  // characters replaced, a leading "_" when they would start with a digit, ".", "-" or "xml",
  // and a hash suffix so that two different keys never share a name.
  static std::string ElementName(std::string_view key);
  static const char* ButtonName(PromptButton button);
  static std::optional<PromptButton> ButtonFromName(std::string_view name);

 private:
  std::string m_path;
  CXMLProfile m_file;
};

// The program's store at DefaultPath(), opened on first use (after start-up made the folder).
CRememberedAnswers& RememberedAnswers();

}  // namespace sorvani
