#include "ui/rich_message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "app/remembered_answers.h"
#include "ui/help_viewer.h"
#include "ui/resources.h"

namespace sorvani::ui {

namespace {

QDialogButtonBox::StandardButton StandardOf(PromptButton button) {
  switch (button) {
    case PromptButton::kYes:
      return QDialogButtonBox::Yes;
    case PromptButton::kNo:
      return QDialogButtonBox::No;
    case PromptButton::kOk:
      return QDialogButtonBox::Ok;
    case PromptButton::kCancel:
      return QDialogButtonBox::Cancel;
    case PromptButton::kAbort:
      return QDialogButtonBox::Abort;
    case PromptButton::kRetry:
      return QDialogButtonBox::Retry;
    case PromptButton::kIgnore:
      return QDialogButtonBox::Ignore;
    default:
      return QDialogButtonBox::NoButton;
  }
}

unsigned ExtraCaptionId(PromptButton button) {
  switch (button) {
    case PromptButton::kYesToAll:
      return kIdsButtonYesToAll;
    case PromptButton::kNoToAll:
      return kIdsButtonNoToAll;
    case PromptButton::kIgnoreAll:
      return kIdsButtonIgnoreAll;
    case PromptButton::kSkipAll:
      return kIdsButtonSkipAll;
    case PromptButton::kTryAgain:
      return kIdsButtonTryAgain;
    default:
      return 0;
  }
}

QStyle::StandardPixmap PixmapOf(PromptIcon icon) {
  switch (icon) {
    case PromptIcon::kQuestion:
      return QStyle::SP_MessageBoxQuestion;
    case PromptIcon::kExclamation:
      return QStyle::SP_MessageBoxWarning;
    case PromptIcon::kError:
      return QStyle::SP_MessageBoxCritical;
    case PromptIcon::kInformation:
    default:
      return QStyle::SP_MessageBoxInformation;
  }
}

// A path or name longer than the box is wide would be cut off: word wrap only breaks at spaces, so
// long runs get zero-width break opportunities after path separators or every 40 characters.
QString Breakable(const QString& text) {
  constexpr int kLongestRun = 40;
  QString out;
  out.reserve(text.size() + text.size() / 8);
  int run = 0;
  for (QChar c : text) {
    out += c;
    if (c.isSpace()) {
      run = 0;
    } else if (c == QLatin1Char('/') || c == QLatin1Char('\\') || ++run >= kLongestRun) {
      out += QChar(0x200B);
      run = 0;
    }
  }
  return out;
}

}  // namespace

QString CRichMessageBox::Caption(PromptButton button) {
  if (unsigned id = ExtraCaptionId(button)) return ResString(id);
  // Qt words and translates the standard buttons; a scratch button box lends its captions.
  QDialogButtonBox scratch;
  QPushButton* standard = scratch.addButton(StandardOf(button));
  return standard ? standard->text() : QString();
}

CRichMessageBox::CRichMessageBox(const PromptRequest& request, RichBoxOptions options,
                                 QWidget* parent)
    : QDialog(parent), m_request(request), m_options(std::move(options)) {
  if (!m_options.answerKey.empty() && !m_options.answers) m_options.answers = &RememberedAnswers();
  if (m_request.buttons.empty()) m_request.buttons = {PromptButton::kOk};
  m_answer = m_request.Default();
  setWindowTitle(QString::fromStdString(m_request.caption));
  setModal(true);

  auto* grid = new QGridLayout(this);
  grid->setSizeConstraint(QLayout::SetFixedSize);
  auto* icon = new QLabel(this);
  int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(style()->standardIcon(PixmapOf(m_request.icon), nullptr, this).pixmap(iconSize));
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  grid->addWidget(icon, 0, 0, Qt::AlignTop);

  auto* text = new QLabel(Breakable(QString::fromStdString(m_request.text)), this);
  text->setObjectName("text");
  text->setTextFormat(Qt::PlainText);  // paths in the text are not markup
  text->setWordWrap(true);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text->setMinimumWidth(320);
  text->setMaximumWidth(560);
  grid->addWidget(text, 0, 1);
  grid->setColumnStretch(1, 1);
  grid->setHorizontalSpacing(16);

  int row = 1;
  if (!m_options.answerKey.empty()) {
    m_doNotShowAgain = new QCheckBox(ResString(kIdsDoNotShowAgain), this);
    grid->addWidget(m_doNotShowAgain, row++, 1);
  }

  // The buttons stay in the order the question gives them (Abort, Retry, Ignore reads as one).
  auto* buttons = new QHBoxLayout;
  if (!m_options.helpTopic.isEmpty()) {
    m_help = new QPushButton(ResString(kIdsButtonHelp), this);
    m_help->setAutoDefault(false);
    connect(m_help, &QPushButton::clicked, this, [this] {
      if (m_options.onHelp)
        m_options.onHelp(m_options.helpTopic);
      else
        ShowHelp(this, kHelpPage, m_options.helpTopic);
    });
    buttons->addWidget(m_help);
  }
  buttons->addStretch(1);
  for (PromptButton value : m_request.buttons) {
    if (Button(value)) continue;  // a button listed twice is shown once
    auto* button = new QPushButton(Caption(value), this);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, value] { Choose(value, true); });
    buttons->addWidget(button);
    m_buttons.emplace_back(value, button);
  }
  grid->addLayout(buttons, row, 0, 1, 2);

  m_default = static_cast<QPushButton*>(Button(m_request.Default()));
  if (!m_default) {
    m_default = m_buttons.front().second;
    m_answer = m_buttons.front().first;
  }
  m_default->setDefault(true);
  m_default->setFocus();
  m_defaultCaption = m_default->text();

  if (m_options.timeoutSeconds > 0) {
    m_secondsLeft = m_options.timeoutSeconds;
    m_countdown = new QTimer(this);
    m_countdown->setInterval(1000);
    connect(m_countdown, &QTimer::timeout, this, &CRichMessageBox::Tick);
    ShowCountdown();
  }
}

CRichMessageBox::~CRichMessageBox() = default;

QAbstractButton* CRichMessageBox::Button(PromptButton button) const {
  for (const auto& [value, widget] : m_buttons) {
    if (value == button) return widget;
  }
  return nullptr;
}

void CRichMessageBox::ShowCountdown() {
  m_default->setText(QStringLiteral("%1 (%2)").arg(m_defaultCaption).arg(m_secondsLeft));
}

void CRichMessageBox::Tick() {
  if (--m_secondsLeft > 0) {
    ShowCountdown();
    return;
  }
  m_countdown->stop();
  Choose(m_request.Default(), false);
}

void CRichMessageBox::Choose(PromptButton button, bool byPerson) {
  m_answer = button;
  if (byPerson && m_doNotShowAgain && m_doNotShowAgain->isChecked())
    m_options.answers->Remember(m_options.answerKey, button);
  if (m_countdown) m_countdown->stop();
  done(QDialog::Accepted);
}

void CRichMessageBox::keyPressEvent(QKeyEvent* event) {
  if (m_help && event->matches(QKeySequence::HelpContents)) {
    m_help->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CRichMessageBox::reject() {
  // Escape and the window's close button mean Cancel, or the only answer there is; a question
  // without either must be answered by a button.
  if (Button(PromptButton::kCancel))
    Choose(PromptButton::kCancel, false);
  else if (m_buttons.size() == 1)
    Choose(m_buttons.front().first, false);
}

PromptButton CRichMessageBox::Run() {
  if (m_countdown) m_countdown->start();
  exec();
  return m_answer;
}

PromptButton CRichMessageBox::Ask(const PromptRequest& request, const RichBoxOptions& options,
                                  QWidget* parent) {
  if (!options.answerKey.empty()) {
    CRememberedAnswers& answers = options.answers ? *options.answers : RememberedAnswers();
    if (auto remembered = answers.Lookup(options.answerKey, request)) return *remembered;
  }
  CRichMessageBox box(request, options, parent ? parent : QApplication::activeWindow());
  return box.Run();
}

}  // namespace sorvani::ui
