// The indexing dialog: starts the session's indexing of one drive, shows its progress every
// 300 ms (phase title, per cent, elapsed time, estimate while scanning) and closes at the first
// tick after the run has ended; Cancel asks the run to stop and the dialog waits for it.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

#include "app/indexing_job.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace sorvani {
class CSession;
}

namespace sorvani::ui {

class CAnimationLabel;

// What the dialog polls: the session's indexing job, or a stand-in in tests.
class IIndexingRun {
 public:
  virtual ~IIndexingRun() = default;
  virtual IndexingSnapshot Snapshot() const = 0;
  virtual void Cancel() = 0;
};

// The texts of one tick.
struct IndexDialogTexts {
  QString title;  // empty: the title stays as it is
  QString percent;
  QString elapsed;
  QString estimate;  // empty outside the scanning phase
};
IndexDialogTexts MakeIndexDialogTexts(const IndexTick& tick);

class CIndexDlg : public QDialog {
  Q_OBJECT

 public:
  // Indexes `letter` of `session`; `reindex` drops the drive's cache file and scans again.
  CIndexDlg(CSession& session, char letter, bool reindex, QWidget* parent = nullptr);
  // Polls `run` (not owned; it must outlive the dialog).
  explicit CIndexDlg(IIndexingRun& run, QWidget* parent = nullptr);
  ~CIndexDlg() override;

  // Starts the run and shows the dialog modally until it ends. The outcome (kEnum...);
  // kEnumRunning when the session refused to start (another indexing runs).
  std::uint8_t Run();
  // Starts the run and the ticks without entering a modal loop (the dialog must be shown by
  // the caller); false when the session refused.
  bool Begin();
  // One poll; public for tests and pictures.
  void Tick();

  std::uint8_t Outcome() const { return m_outcome; }
  bool CancelAsked() const { return m_cancelAsked; }
  QProgressBar* Bar() const { return m_bar; }
  QLabel* PercentLabel() const { return m_percent; }
  QLabel* ElapsedLabel() const { return m_elapsed; }
  QLabel* EstimateLabel() const { return m_estimate; }
  QPushButton* CancelButton() const { return m_cancel; }
  CAnimationLabel* Animation() const { return m_animation; }

  // Convenience: runs the dialog for `letter` of `session`; the outcome.
  static std::uint8_t IndexDrive(CSession& session, char letter, bool reindex, QWidget* parent);

 public slots:
  // Escape and the window's close button cancel like the button; the dialog still waits for
  // the run to end.
  void reject() override;

 private:
  class CJobRun;
  void Build();
  void AskCancel();

  CSession* m_session = nullptr;
  char m_letter = 0;
  bool m_reindex = false;
  std::unique_ptr<IIndexingRun> m_ownRun;
  IIndexingRun* m_run = nullptr;
  std::uint8_t m_outcome = kEnumRunning;
  bool m_cancelAsked = false;
  QTimer* m_timer = nullptr;
  QProgressBar* m_bar = nullptr;
  QLabel* m_percent = nullptr;
  QLabel* m_elapsed = nullptr;
  QLabel* m_estimate = nullptr;
  QPushButton* m_cancel = nullptr;
  CAnimationLabel* m_animation = nullptr;
};

}  // namespace sorvani::ui
