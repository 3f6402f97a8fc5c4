// A hint balloon: a small frameless window with a title, a text and a "More…" help link, whose
// pointer touches the centre of a spot on the screen. It hides by itself after a while and as
// soon as its owner window moves or changes size, so it never points at the wrong place.
#pragma once

#include <QPainterPath>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

class QLabel;
class QTimer;

namespace sorvani {
class CXMLProfile;
}

namespace sorvani::ui {

class CHintBalloon : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kShowMilliseconds = 8000;

  // `owner`: the window whose moves and resizes hide the balloon (its top-level window counts).
  explicit CHintBalloon(QWidget* owner);
  ~CHintBalloon() override;

  // Called with the topic when the help link is clicked; by default the help viewer opens it.
  void SetHelpHandler(std::function<void(const QString& topic)> handler);
  void SetShowMilliseconds(int milliseconds);

  // Shows the balloon pointing at the centre of `globalRect`; a balloon already up is replaced.
  void ShowAt(const QRect& globalRect, const QString& title, const QString& text,
              const QString& helpTopic);
  void HideBalloon();

  QString Title() const;
  QString Text() const;
  QString HelpTopic() const { return m_topic; }
  QPoint TipPoint() const { return m_tip; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void Place();
  // The balloon with its tail, in the widget's coordinates.
  QPainterPath Outline() const;

  QPointer<QWidget> m_ownerWindow;
  QLabel* m_title;
  QLabel* m_text;
  QLabel* m_more;
  QTimer* m_timer;
  QString m_topic;
  QPoint m_tip;
  bool m_tailOnTop = true;
  std::function<void(const QString&)> m_onHelp;
};

// One-time hints: shows the balloon when the profile's `Wizard/<key>` is not 0 (missing counts as
// 1), then stores 0 and saves the profile so it is never shown again. True when it was shown.
bool ShowOneTimeHint(CHintBalloon& balloon, CXMLProfile& profile, const std::string& key,
                     const QRect& globalRect, unsigned titleId, unsigned textId,
                     const QString& helpTopic);

}  // namespace sorvani::ui
