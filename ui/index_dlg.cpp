#include "ui/index_dlg.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/session.h"
#include "foundation/display_format.h"
#include "index/index_cache.h"
#include "ui/animation_label.h"
#include "ui/resources.h"

namespace sorvani::ui {

// The session's job as the dialog polls it.
class CIndexDlg::CJobRun final : public IIndexingRun {
 public:
  explicit CJobRun(CIndexingJob& job) : m_job(job) {}
  IndexingSnapshot Snapshot() const override { return m_job.Snapshot(); }
  void Cancel() override { m_job.Cancel(); }

 private:
  CIndexingJob& m_job;
};

IndexDialogTexts MakeIndexDialogTexts(const IndexTick& tick) {
  IndexDialogTexts texts;
  if (tick.titleString) texts.title = ResString(tick.titleString);
  texts.percent = ResFormat(kIdsIndexPercentDone, tick.percent);
  texts.elapsed = ResFormat(kIdsIndexElapsedTime, FormatElapsed(tick.elapsedSeconds));
  if (tick.estimateShown) {
    // The tick marks an estimate known only below an hour and a second.
    texts.estimate = tick.estimateKnown && tick.estimateSeconds < 3601
                         ? ResFormat(kIdsIndexTimeLeft, FormatEstimate(tick.estimateSeconds))
                         : ResString(kIdsIndexTimeEstimating);
  }
  return texts;
}

CIndexDlg::CIndexDlg(CSession& session, char letter, bool reindex, QWidget* parent)
    : QDialog(parent), m_session(&session), m_letter(letter), m_reindex(reindex) {
  Build();
}

CIndexDlg::CIndexDlg(IIndexingRun& run, QWidget* parent) : QDialog(parent), m_run(&run) { Build(); }

CIndexDlg::~CIndexDlg() = default;

void CIndexDlg::Build() {
  setObjectName(QStringLiteral("IndexDialog"));
  setModal(true);
  setWindowIcon(ResIcon(kIconReindex));
  setWindowTitle(ResString(kIdsIndexPhaseScan));
  // No close button of its own: closing is cancelling, and the run decides when it ends.
  setWindowFlag(Qt::WindowCloseButtonHint, false);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 12);
  outer->setSizeConstraint(QLayout::SetFixedSize);
  auto* banner = new QLabel;
  banner->setObjectName(QStringLiteral("Banner"));
  banner->setPixmap(ResImage(kImageIndexBanner));
  outer->addWidget(banner);

  auto* body = new QVBoxLayout;
  body->setContentsMargins(12, 6, 12, 0);
  outer->addLayout(body);
  auto* top = new QHBoxLayout;
  body->addLayout(top);
  m_animation = new CAnimationLabel;
  m_animation->SetAnimation(kAnimationIndexing);
  top->addWidget(m_animation, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  top->addLayout(texts, 1);
  m_percent = new QLabel;
  m_percent->setObjectName(QStringLiteral("Percent"));
  m_elapsed = new QLabel;
  m_elapsed->setObjectName(QStringLiteral("Elapsed"));
  m_estimate = new QLabel;
  m_estimate->setObjectName(QStringLiteral("Estimate"));
  texts->addWidget(m_percent);
  texts->addWidget(m_elapsed);
  texts->addWidget(m_estimate);
  texts->addStretch(1);

  m_bar = new QProgressBar;
  m_bar->setRange(0, 100);
  m_bar->setValue(0);
  m_bar->setTextVisible(false);
  body->addWidget(m_bar);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  m_cancel = new QPushButton(tr("Cancel"));
  m_cancel->setObjectName(QStringLiteral("CancelButton"));
  m_cancel->setAutoDefault(false);
  buttons->addWidget(m_cancel);
  body->addLayout(buttons);
  connect(m_cancel, &QPushButton::clicked, this, &CIndexDlg::AskCancel);

  m_timer = new QTimer(this);
  m_timer->setInterval(CIndexingJob::kTickMilliseconds);
  connect(m_timer, &QTimer::timeout, this, &CIndexDlg::Tick);
}

bool CIndexDlg::Begin() {
  if (!m_run && m_session) {
    if (m_reindex) CleanUpCache(m_letter);
    CIndexingJob* job = m_session->StartIndexing(m_letter, m_reindex);
    if (!job) return false;
    m_ownRun = std::make_unique<CJobRun>(*job);
    m_run = m_ownRun.get();
  }
  if (!m_run) return false;
  m_animation->Start();
  m_timer->start();
  return true;
}

std::uint8_t CIndexDlg::Run() {
  if (!Begin()) return m_outcome;
  // The first texts before the first tick, so the window never opens blank.
  Tick();
  if (m_timer->isActive()) exec();
  return m_outcome;
}

void CIndexDlg::Tick() {
  if (!m_run) return;
  const IndexingSnapshot snapshot = m_run->Snapshot();
  if (snapshot.finished) {
    m_outcome = snapshot.outcome;
    m_timer->stop();
    m_animation->Stop();
    done(QDialog::Accepted);
    return;
  }
  const IndexDialogTexts texts = MakeIndexDialogTexts(snapshot);
  if (!texts.title.isEmpty()) setWindowTitle(texts.title);
  m_bar->setValue(snapshot.percent);
  m_percent->setText(texts.percent);
  m_elapsed->setText(texts.elapsed);
  m_estimate->setText(texts.estimate);
}

void CIndexDlg::AskCancel() {
  if (!m_run || m_cancelAsked) return;
  m_cancelAsked = true;
  m_cancel->setEnabled(false);
  m_run->Cancel();
}

void CIndexDlg::reject() { AskCancel(); }

std::uint8_t CIndexDlg::IndexDrive(CSession& session, char letter, bool reindex, QWidget* parent) {
  CIndexDlg dialog(session, letter, reindex, parent);
  return dialog.Run();
}

}  // namespace sorvani::ui
