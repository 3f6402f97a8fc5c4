#include "ui/browse_hints.h"

#include "svres/res_ids.h"
#include "ui/folder_fill.h"

namespace sorvani::ui {

FillHint ChooseFillHint(unsigned flags, bool deletedOnly) {
  if (flags & kFillHasOverwritten) return FillHint::kOverwrittenFiles;
  if (flags & kFillHasDeleted) return FillHint::kDeletedFiles;
  return deletedOnly ? FillHint::kNone : FillHint::kShowDeletedItemsOnly;
}

std::optional<HintText> FillHintText(FillHint hint) {
  switch (hint) {
    case FillHint::kShowDeletedItemsOnly:
      return HintText{"TipShowDeletedItemsOnly", kIdsTipShowDeletedOnlyTitle,
                      kIdsTipShowDeletedOnlyText, "ShowDeletedItemsOnly"};
    case FillHint::kDeletedFiles:
      return HintText{"TipDeletedFiles", kIdsTipDeletedFilesTitle, kIdsTipDeletedFilesText,
                      "DeletedFiles"};
    case FillHint::kOverwrittenFiles:
      return HintText{"TipOverwrittenFiles", kIdsTipDeletedFilesTitle, kIdsTipOverwrittenFilesText,
                      "OverwrittenDeletedFiles"};
    case FillHint::kNone:
      break;
  }
  return std::nullopt;
}

std::optional<IndexHint> ChooseIndexHint(const std::set<char>& ntfsLetters) {
  if (ntfsLetters.empty()) return std::nullopt;
  const unsigned title = ntfsLetters.size() == 1 ? kIdsTipIndexTitleOne : kIdsTipIndexTitleMany;
  return IndexHint{*ntfsLetters.begin(),
                   HintText{"TipIndex", title, kIdsTipIndexText, "IndexingHardDrive"}};
}

bool PlaysFillSound(FillTrigger trigger) { return trigger == FillTrigger::kPerson; }

}  // namespace sorvani::ui
