// The program's message box: the recovery prompts' buttons (standard ones and "Yes to all",
// "No to all", "Ignore all", "Skip all", "Try again"), an optional "Do not show again" check box
// whose answer is remembered, an optional help button and an optional time-out that answers
// with the default button.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "recovery/recovery_types.h"

class QAbstractButton;
class QCheckBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QTimer;

namespace sorvani {
class CRememberedAnswers;
}

namespace sorvani::ui {

struct RichBoxOptions {
  // Non-empty: the box offers "Do not show again", and a remembered answer to this question is
  // returned without showing the box. Answers are kept in `answers`, else in the program's store.
  std::string answerKey;
  CRememberedAnswers* answers = nullptr;
  // Non-empty: a help button opens this topic of the help pages (or calls `onHelp`).
  QString helpTopic;
  std::function<void(const QString& topic)> onHelp;
  // Above 0: the default button is chosen by itself after this many seconds.
  int timeoutSeconds = 0;
};

class CRichMessageBox : public QDialog {
  Q_OBJECT

 public:
  explicit CRichMessageBox(const PromptRequest& request, RichBoxOptions options = {},
                           QWidget* parent = nullptr);
  ~CRichMessageBox() override;

  // Shows the box modally and returns the chosen button: the default after a time-out, Cancel
  // (or the only button) on Escape. A click with "Do not show again" ticked is remembered.
  PromptButton Run();

  // The remembered answer when there is one, else the box shown modally; the owner is `parent`
  // or else the active window.
  static PromptButton Ask(const PromptRequest& request, const RichBoxOptions& options = {},
                          QWidget* parent = nullptr);

  QAbstractButton* Button(PromptButton button) const;
  QCheckBox* DoNotShowAgainBox() const { return m_doNotShowAgain; }
  QPushButton* HelpButton() const { return m_help; }
  int SecondsLeft() const { return m_secondsLeft; }
  PromptButton Answer() const { return m_answer; }

  // The caption a button shows: the extra ones come from the resource library, the standard ones
  // from Qt's own (translated) texts.
  static QString Caption(PromptButton button);

 public slots:
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Choose(PromptButton button, bool byPerson);
  void Tick();
  void ShowCountdown();

  PromptRequest m_request;
  RichBoxOptions m_options;
  std::vector<std::pair<PromptButton, QPushButton*>> m_buttons;
  QPushButton* m_default = nullptr;
  QString m_defaultCaption;
  QCheckBox* m_doNotShowAgain = nullptr;
  QPushButton* m_help = nullptr;
  QTimer* m_countdown = nullptr;
  int m_secondsLeft = 0;
  PromptButton m_answer;
};

}  // namespace sorvani::ui
