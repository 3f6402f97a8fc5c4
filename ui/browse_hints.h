// Which one-time hint the browse view offers, decided from plain facts so the choice is tested
// without windows: after a folder fill, from what the fill found; for indexing, from the NTFS
// drives known.
#pragma once

#include <cstddef>
#include <optional>
#include <set>

namespace sorvani::ui {

enum class FillHint {
  kNone,
  kShowDeletedItemsOnly,  // nothing deleted here: the deleted-only button helps
  kDeletedFiles,          // deleted items, none overwritten
  kOverwrittenFiles,      // deleted items, some overwritten
};

// Everything a hint balloon needs besides its place.
struct HintText {
  const char* key;   // Wizard/<key> in the profile: 0 once shown
  unsigned titleId;  // resource strings
  unsigned textId;
  const char* topic;  // help anchor of the balloon's link
};

// `flags` are the fill's kFill... bits. A list already showing deleted items only gets no hint
// about the button that is already on.
FillHint ChooseFillHint(unsigned flags, bool deletedOnly);
// The texts of `hint`; nothing for kNone.
std::optional<HintText> FillHintText(FillHint hint);

// The indexing hint: pointed at the first of the NTFS drives, worded for one or several. Nothing
// when no NTFS drive is known.
struct IndexHint {
  char letter = 0;
  HintText text;
};
std::optional<IndexHint> ChooseIndexHint(const std::set<char>& ntfsLetters);

// Who asked for a fill: only a fill a person asked for ends with the "folder filled" sound, so
// the program's own refills stay quiet.
enum class FillTrigger { kPerson, kProgram };
bool PlaysFillSound(FillTrigger trigger);

}  // namespace sorvani::ui
