#include "ui/drive_selection.h"

#include <QMessageBox>
#include <memory>

#include "ui/index_dlg.h"
#include "ui/resources.h"

namespace sorvani::ui {

bool CatalogueDescribes(const PublishedCatalogue& catalogue, char letter,
                        const DriveSource* current) {
  if (letter == 0 || catalogue.drive != letter) return false;
  if (!current || !catalogue.source) return true;  // nothing to compare: trust the letter
  const DriveSource& then = *catalogue.source;
  return then.path == current->path && then.offset == current->offset &&
         then.length == current->length && then.memory == current->memory;
}

DriveDecision DecideDriveSelection(char letter, const DriveFacts& facts,
                                   const PublishedCatalogue& catalogue, const DriveSource* current,
                                   bool reindex) {
  DriveDecision decision;
  decision.letter = letter;
  if (!facts.Readable()) {
    decision.choice = DriveChoice::kUnreadable;
    decision.message = ResFormat(kIdsDriveUnreadable, std::string(1, letter) + ":\\");
    return decision;
  }
  // Exactly "NTFS": the file system's own name, as the volume reports it.
  if (facts.info.fsName != "NTFS") {
    decision.choice = DriveChoice::kNotNtfs;
    decision.message = ResFormat(kIdsDriveNotNtfs, facts.info.fsName);
    return decision;
  }
  decision.reindex = reindex;
  decision.choice = !reindex && CatalogueDescribes(catalogue, letter, current)
                        ? DriveChoice::kOpen
                        : DriveChoice::kIndex;
  return decision;
}

DriveDecision DecideDriveSelection(CSession& session, CVolumeFactsCache& facts, char letter,
                                   bool reindex) {
  const DriveFacts read = facts.ReadNow(letter);
  auto current = session.Drives().Find(letter);
  return DecideDriveSelection(letter, read, session.Catalogue(), current ? &*current : nullptr,
                              reindex);
}

QMessageBox* MakeDriveDecisionBox(const DriveDecision& decision, QWidget* parent) {
  if (decision.ChangesDrive()) return nullptr;
  auto* box = new QMessageBox(QMessageBox::Information, ResString(kIdsCaption), decision.message,
                              QMessageBox::Ok, parent);
  box->setObjectName(decision.choice == DriveChoice::kNotNtfs
                         ? QStringLiteral("DriveNotNtfsBox")
                         : QStringLiteral("DriveUnreadableBox"));
  return box;
}

bool ShowDriveDecision(const DriveDecision& decision, QWidget* parent) {
  std::unique_ptr<QMessageBox> box(MakeDriveDecisionBox(decision, parent));
  if (!box) return false;
  box->exec();
  return true;
}

DriveNodeCommands DriveNodeCommandStates(char letter, char current,
                                         const std::set<char>& ntfsLetters) {
  DriveNodeCommands commands;
  if (!ntfsLetters.count(letter)) return commands;
  commands.open = letter != current;
  commands.reindex = letter == current;
  return commands;
}

DriveSelection SelectDrive(CSession& session, CVolumeFactsCache& facts, char letter, bool reindex,
                           QWidget* parent) {
  DriveSelection selection;
  selection.decision = DecideDriveSelection(session, facts, letter, reindex);
  if (!selection.decision.ChangesDrive()) {
    ShowDriveDecision(selection.decision, parent);
    return selection;
  }
  selection.current = true;
  if (selection.decision.choice == DriveChoice::kIndex)
    selection.outcome = CIndexDlg::IndexDrive(session, letter, selection.decision.reindex, parent);
  auto source = session.Drives().Find(letter);
  selection.indexed = CatalogueDescribes(session.Catalogue(), letter, source ? &*source : nullptr);
  return selection;
}

}  // namespace sorvani::ui
