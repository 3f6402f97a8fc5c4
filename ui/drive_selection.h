// What selecting a drive in the tree leads to, decided without widgets: a drive whose volume
// cannot be read and a drive that is not NTFS each get a message and change nothing; an NTFS
// drive becomes the current drive and is indexed first unless the published catalogue already
// describes it.
#pragma once

#include <QString>
#include <set>

#include "app/session.h"
#include "ui/volume_facts_cache.h"

class QMessageBox;
class QWidget;

namespace sorvani::ui {

enum class DriveChoice {
  kUnreadable,  // message: the drive cannot be read
  kNotNtfs,     // message: the file system; the current drive stays
  kOpen,        // becomes current; the catalogue describes it already
  kIndex,       // becomes current after the indexing dialog
};

struct DriveDecision {
  DriveChoice choice = DriveChoice::kUnreadable;
  char letter = 0;
  bool reindex = false;  // kIndex: the cache is dropped and the drive scanned again
  QString message;       // kUnreadable and kNotNtfs: the text of the box

  bool ChangesDrive() const {
    return choice == DriveChoice::kOpen || choice == DriveChoice::kIndex;
  }
};

// Whether `catalogue` describes `letter` as it stands now (`current`: the letter's source
// today; a letter mapped to other bytes since needs a new index).
bool CatalogueDescribes(const PublishedCatalogue& catalogue, char letter,
                        const DriveSource* current);

// The rules, from facts already read.
DriveDecision DecideDriveSelection(char letter, const DriveFacts& facts,
                                   const PublishedCatalogue& catalogue, const DriveSource* current,
                                   bool reindex);
// The same, reading the facts through `facts` (now, on this thread, when not cached).
DriveDecision DecideDriveSelection(CSession& session, CVolumeFactsCache& facts, char letter,
                                   bool reindex);

// The message box of a decision that has one (information icon, the program's caption);
// nullptr for a decision that changes the drive. The caller owns it.
QMessageBox* MakeDriveDecisionBox(const DriveDecision& decision, QWidget* parent);
// Shows that box modally; false when the decision has nothing to say.
bool ShowDriveDecision(const DriveDecision& decision, QWidget* parent);

struct DriveSelection {
  DriveDecision decision;
  std::uint8_t outcome = 0;  // of the indexing dialog when it ran (kEnum...), else 0
  // The drive is the current one now (even when its indexing was cancelled: it then has no
  // catalogue, and `indexed` is false).
  bool current = false;
  bool indexed = false;  // the published catalogue describes the drive
};
// The drive node's context commands: open the drive (when it is not the current one) and
// re-index it (when it is); both only for the fixed NTFS drives.
struct DriveNodeCommands {
  bool open = false;
  bool reindex = false;
};
DriveNodeCommands DriveNodeCommandStates(char letter, char current,
                                         const std::set<char>& ntfsLetters);

// The whole selection: decides, shows the box of a drive that cannot be browsed, or runs the
// indexing dialog when the drive needs it. UI thread; modal.
DriveSelection SelectDrive(CSession& session, CVolumeFactsCache& facts, char letter, bool reindex,
                           QWidget* parent);

}  // namespace sorvani::ui
