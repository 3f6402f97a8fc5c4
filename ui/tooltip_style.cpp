#include "ui/tooltip_style.h"

#include <QApplication>
#include <QStringList>

namespace sorvani::ui {

int CToolTipStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const {
  if (hint == SH_ToolTip_WakeUpDelay) return kWakeUpDelayMs;
  return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void InstallToolTipStyle() {
  QStyle* current = QApplication::style();
  if (qobject_cast<CToolTipStyle*>(current)) return;
  // The proxy takes a fresh base of the same kind; the application deletes the old one.
  QApplication::setStyle(new CToolTipStyle(current ? current->name() : QString()));
}

QString RichToolTipText(const QString& plain) {
  if (plain.isEmpty()) return {};
  QStringList lines;
  for (const QString& line : plain.split(QLatin1Char('\n'))) {
    qsizetype colon = line.indexOf(QLatin1String(": "));
    if (colon > 0)
      lines << QStringLiteral("<b>%1</b>%2")
                   .arg(line.left(colon + 1).toHtmlEscaped(), line.mid(colon + 1).toHtmlEscaped());
    else
      lines << line.toHtmlEscaped();
  }
  // <qt> makes Qt treat it as rich text even when it holds no tag of its own.
  return QStringLiteral("<qt><p style=\"white-space:pre\">%1</p></qt>").arg(lines.join("<br/>"));
}

}  // namespace sorvani::ui
