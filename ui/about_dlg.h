// The About box: the program's icon, name and version, a link to the vendor's web site and a
// short text.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace sorvani::ui {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  // `webSite`: the vendor's address (from the site configuration); empty → no link is shown.
  // A program running as root does not start a browser: it shows the address to copy instead.
  CAboutDlg(const QString& webSite, QWidget* parent = nullptr);

  // "<product> v.<version>" as the title line shows it.
  static QString TitleText();

  QLabel* LinkLabel() const { return m_link; }

 private:
  QLabel* m_link = nullptr;
};

}  // namespace sorvani::ui
