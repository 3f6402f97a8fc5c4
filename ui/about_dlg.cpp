#include "ui/about_dlg.h"

#include <unistd.h>

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "app/version.h"
#include "ui/resources.h"

namespace sorvani::ui {

QString CAboutDlg::TitleText() {
  return ResString(kIdsAboutProduct) + QStringLiteral(" v.") +
         QString::fromUtf8(kApplicationVersion);
}

CAboutDlg::CAboutDlg(const QString& webSite, QWidget* parent) : QDialog(parent) {
  setWindowTitle(ResString(kIdsAboutTitle));
  setWindowIcon(ResIcon(kIconAbout));
  auto* outer = new QVBoxLayout(this);
  outer->setSizeConstraint(QLayout::SetFixedSize);
  auto* top = new QHBoxLayout;
  top->setSpacing(16);
  outer->addLayout(top);

  QIcon icon = ResIcon(kIconAbout);
  if (!icon.isNull()) {
    auto* picture = new QLabel(this);
    picture->setObjectName("aboutIcon");
    picture->setPixmap(icon.pixmap(64, 64));
    top->addWidget(picture, 0, Qt::AlignTop);
  }

  auto* column = new QVBoxLayout;
  top->addLayout(column, 1);
  auto* title = new QLabel(TitleText(), this);
  title->setObjectName("aboutTitle");
  title->setTextFormat(Qt::PlainText);
  QFont big = title->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.3);
  title->setFont(big);
  column->addWidget(title);

  if (!webSite.isEmpty()) {
    m_link = new QLabel(this);
    m_link->setObjectName("aboutLink");
    QUrl url(webSite);
    // Starting a browser as root is unsafe and usually fails; root is shown the address instead.
    if (geteuid() != 0 && url.isValid()) {
      m_link->setTextFormat(Qt::RichText);
      m_link->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                          .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(),
                               ResString(kIdsAboutWebSite).toHtmlEscaped()));
      m_link->setToolTip(webSite);
      m_link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
      connect(m_link, &QLabel::linkActivated, this, [url] { QDesktopServices::openUrl(url); });
    } else {
      m_link->setTextFormat(Qt::PlainText);
      m_link->setText(ResString(kIdsAboutWebSite) + QStringLiteral(": ") + webSite);
      m_link->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    column->addWidget(m_link);
  }

  auto* text = new QLabel(ResString(kIdsAboutText), this);
  text->setObjectName("aboutText");
  text->setTextFormat(Qt::PlainText);
  text->setWordWrap(true);
  text->setMinimumWidth(340);
  column->addSpacing(8);
  column->addWidget(text);
  column->addStretch(1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  outer->addWidget(buttons);
}

}  // namespace sorvani::ui
