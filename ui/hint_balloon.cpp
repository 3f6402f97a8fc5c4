#include "ui/hint_balloon.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "foundation/log.h"
#include "foundation/profile.h"
#include "ui/help_viewer.h"
#include "ui/resources.h"

namespace sorvani::ui {

namespace {

constexpr int kTailHeight = 12;
constexpr int kTailWidth = 20;
constexpr int kTailOffset = 28;  // from the balloon's left edge to the tail's point
constexpr int kRadius = 8;
constexpr char kHintSection[] = "Wizard";

}  // namespace

CHintBalloon::CHintBalloon(QWidget* owner)
    : QWidget(owner ? owner->window() : nullptr, Qt::ToolTip | Qt::FramelessWindowHint),
      m_ownerWindow(owner ? owner->window() : nullptr) {
  setObjectName("hintBalloon");
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setMaximumWidth(360);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, colours.color(QPalette::ToolTipText));
  setPalette(colours);

  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(4);
  m_title = new QLabel(this);
  m_title->setTextFormat(Qt::PlainText);
  QFont bold = m_title->font();
  bold.setBold(true);
  m_title->setFont(bold);
  m_text = new QLabel(this);
  m_text->setTextFormat(Qt::PlainText);
  m_text->setWordWrap(true);
  m_more = new QLabel(this);
  m_more->setTextFormat(Qt::RichText);
  m_more->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  connect(m_more, &QLabel::linkActivated, this, [this] {
    QString topic = m_topic;
    HideBalloon();
    if (m_onHelp)
      m_onHelp(topic);
    else
      ShowHelp(m_ownerWindow, kHelpPage, topic);
  });
  layout->addWidget(m_title);
  layout->addWidget(m_text);
  layout->addWidget(m_more, 0, Qt::AlignRight);

  m_timer = new QTimer(this);
  m_timer->setSingleShot(true);
  m_timer->setInterval(kShowMilliseconds);
  connect(m_timer, &QTimer::timeout, this, &CHintBalloon::HideBalloon);
  if (m_ownerWindow) m_ownerWindow->installEventFilter(this);
}

CHintBalloon::~CHintBalloon() {
  if (m_ownerWindow) m_ownerWindow->removeEventFilter(this);
}

void CHintBalloon::SetHelpHandler(std::function<void(const QString&)> handler) {
  m_onHelp = std::move(handler);
}

void CHintBalloon::SetShowMilliseconds(int milliseconds) { m_timer->setInterval(milliseconds); }

QString CHintBalloon::Title() const { return m_title->text(); }
QString CHintBalloon::Text() const { return m_text->text(); }

void CHintBalloon::ShowAt(const QRect& globalRect, const QString& title, const QString& text,
                          const QString& helpTopic) {
  m_title->setText(title);
  m_text->setText(text);
  m_topic = helpTopic;
  m_more->setVisible(!helpTopic.isEmpty());
  if (!helpTopic.isEmpty())
    m_more->setText(
        QStringLiteral("<a href=\"help\">%1</a>").arg(ResString(kIdsHintMoreLink).toHtmlEscaped()));
  m_tip = globalRect.center();
  Place();
  show();
  raise();
  m_timer->start();
}

void CHintBalloon::Place() {
  // The tail points up from the balloon at the spot, or down when there is no room below.
  adjustSize();
  QScreen* screen = QGuiApplication::screenAt(m_tip);
  if (!screen) screen = QGuiApplication::primaryScreen();
  QRect area =
      screen ? screen->availableGeometry() : QRect(m_tip - QPoint(500, 500), QSize(1000, 1000));
  m_tailOnTop = m_tip.y() + height() + kTailHeight <= area.bottom();
  QMargins margins(0, m_tailOnTop ? kTailHeight : 0, 0, m_tailOnTop ? 0 : kTailHeight);
  layout()->setContentsMargins(QMargins(12, 8, 12, 8) + margins);
  adjustSize();
  int x = std::clamp(m_tip.x() - kTailOffset, area.left(),
                     std::max(area.left(), area.right() - width()));
  int y = m_tailOnTop ? m_tip.y() : m_tip.y() - height();
  move(x, y);
  // Without a compositing window manager the see-through corners would show black; the mask
  // cuts the window to the balloon's outline (one pixel larger, to keep the antialiased edge).
  QPainterPathStroker edge;
  edge.setWidth(2);
  const QPainterPath outline = Outline();
  setMask(QRegion(outline.united(edge.createStroke(outline)).toFillPolygon().toPolygon()));
}

void CHintBalloon::HideBalloon() {
  m_timer->stop();
  hide();
}

bool CHintBalloon::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_ownerWindow && isVisible() &&
      (event->type() == QEvent::Move || event->type() == QEvent::Resize))
    HideBalloon();
  return QWidget::eventFilter(watched, event);
}

void CHintBalloon::mousePressEvent(QMouseEvent*) { HideBalloon(); }

QPainterPath CHintBalloon::Outline() const {
  QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  if (m_tailOnTop)
    body.setTop(body.top() + kTailHeight);
  else
    body.setBottom(body.bottom() - kTailHeight);
  QPainterPath path;
  path.addRoundedRect(body, kRadius, kRadius);
  // The tail's point is where the balloon points, whatever clamping did to the left edge.
  qreal tipX = std::clamp<qreal>(m_tip.x() - x(), kRadius + kTailWidth / 2.0,
                                 width() - kRadius - kTailWidth / 2.0);
  QPolygonF tail;
  if (m_tailOnTop)
    tail << QPointF(tipX - kTailWidth / 2.0, body.top() + 1) << QPointF(tipX, 0.5)
         << QPointF(tipX + kTailWidth / 2.0, body.top() + 1);
  else
    tail << QPointF(tipX - kTailWidth / 2.0, body.bottom() - 1) << QPointF(tipX, height() - 0.5)
         << QPointF(tipX + kTailWidth / 2.0, body.bottom() - 1);
  QPainterPath tailPath;
  tailPath.addPolygon(tail);
  tailPath.closeSubpath();
  return path.united(tailPath);
}

void CHintBalloon::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(palette().color(QPalette::ToolTipText), 1));
  painter.setBrush(palette().color(QPalette::ToolTipBase));
  painter.drawPath(Outline());
}

bool ShowOneTimeHint(CHintBalloon& balloon, CXMLProfile& profile, const std::string& key,
                     const QRect& globalRect, unsigned titleId, unsigned textId,
                     const QString& helpTopic) {
  if (profile.GetInt(kHintSection, key, 1) == 0) return false;
  balloon.ShowAt(globalRect, ResString(titleId), ResString(textId), helpTopic);
  profile.SetInt(kHintSection, key, 0);
  if (!profile.Save())
    LogFile.Write(1, "Couldn't save the profile after the hint %s\n", key.c_str());
  return true;
}

}  // namespace sorvani::ui
