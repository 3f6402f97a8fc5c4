// Tooltips of the trees and lists: several lines of "Label: value", shown after one second.
#pragma once

#include <QProxyStyle>
#include <QString>

namespace sorvani::ui {

// The application style with a one-second tooltip delay; everything else as the base style.
class CToolTipStyle : public QProxyStyle {
  Q_OBJECT

 public:
  static constexpr int kWakeUpDelayMs = 1000;

  using QProxyStyle::QProxyStyle;
  int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                const QWidget* widget = nullptr,
                QStyleHintReturn* returnData = nullptr) const override;
};

// Puts the delay style over the application's current style (the application owns it).
void InstallToolTipStyle();

// "Name: a<b>.txt\nType: Text" → rich text with each line kept, markup in the values escaped, the
// labels in bold and no wrapping inside a line. Empty text stays empty (no tooltip).
QString RichToolTipText(const QString& plain);

}  // namespace sorvani::ui
