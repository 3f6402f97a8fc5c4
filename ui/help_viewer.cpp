#include "ui/help_viewer.h"

#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "platform/paths.h"
#include "ui/resources.h"

namespace sorvani::ui {

namespace {

QString& HelpFolderOverride() {
  static QString folder;
  return folder;
}

QPointer<CHelpViewer>& TheViewer() {
  static QPointer<CHelpViewer> viewer;
  return viewer;
}

}  // namespace

QString HelpFolder() {
  if (!HelpFolderOverride().isEmpty()) return HelpFolderOverride();
  return QString::fromStdString(ExecutableFolder()) + QStringLiteral("/help");
}

void SetHelpFolder(const QString& folder) { HelpFolderOverride() = folder; }

CHelpViewer::CHelpViewer(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(ResString(kIdsHelpTitle));
  setWindowIcon(ResIcon(kIconHelp));
  setObjectName("helpViewer");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_browser = new QTextBrowser(this);
  // Links are followed here so that nothing outside the help folder is ever loaded or launched.
  m_browser->setOpenLinks(false);
  m_browser->setOpenExternalLinks(false);
  connect(m_browser, &QTextBrowser::anchorClicked, this, &CHelpViewer::Follow);
  layout->addWidget(m_browser);
  auto* back = new QShortcut(QKeySequence::Back, this);
  connect(back, &QShortcut::activated, m_browser, &QTextBrowser::backward);
  auto* forward = new QShortcut(QKeySequence::Forward, this);
  connect(forward, &QShortcut::activated, m_browser, &QTextBrowser::forward);
  resize(720, 560);
}

QUrl CHelpViewer::CurrentPage() const { return m_showingMissing ? QUrl() : m_browser->source(); }

bool CHelpViewer::Open(const QString& page, const QString& anchor) {
  // Only a plain file name of the help folder: a topic request never reads anything else.
  QString name = QFileInfo(page).fileName();
  QString path = QDir(HelpFolder()).filePath(name);
  if (name.isEmpty() || name != page || !QFileInfo(path).isFile() ||
      !QFileInfo(path).isReadable()) {
    ShowMissing(page);
    return false;
  }
  m_showingMissing = false;
  QUrl url = QUrl::fromLocalFile(path);
  if (!anchor.isEmpty()) url.setFragment(anchor);
  m_browser->setSource(url, QTextDocument::HtmlResource);
  m_browser->document()->setDocumentMargin(12);
  if (!anchor.isEmpty()) m_browser->scrollToAnchor(anchor);
  return true;
}

void CHelpViewer::Follow(const QUrl& link) {
  QUrl target = m_browser->source().resolved(link);
  if (link.isRelative() && link.path().isEmpty()) {
    // A link within the page.
    m_browser->setSource(target, QTextDocument::HtmlResource);
    m_browser->scrollToAnchor(link.fragment());
    return;
  }
  if (!target.isLocalFile()) return;  // web addresses are not opened from the help pages
  QString file = target.toLocalFile();
  if (QFileInfo(file).absolutePath() != QDir(HelpFolder()).absolutePath()) return;
  Open(QFileInfo(file).fileName(), target.fragment());
}

void CHelpViewer::ShowMissing(const QString& page) {
  m_showingMissing = true;
  m_browser->clearHistory();
  QString message = ResFormat(kIdsHelpMissing, page.toStdString());
  // The full path as well, so that a broken install can be told from a missing topic.
  QString path = QDir::toNativeSeparators(QDir(HelpFolder()).filePath(page));
  m_browser->setHtml(QStringLiteral("<h2>%1</h2><p><tt>%2</tt></p>")
                         .arg(message.toHtmlEscaped(), path.toHtmlEscaped()));
}

CHelpViewer* ShowHelp(QWidget* parent, const QString& page, const QString& anchor) {
  QPointer<CHelpViewer>& viewer = TheViewer();
  if (!viewer) {
    // Top-level without an owner: it stays open while the dialog that asked for it closes.
    viewer = new CHelpViewer;
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    if (parent) {
      QRect area = parent->screen()->availableGeometry();
      viewer->move(area.center() - viewer->rect().center());
    }
  }
  viewer->Open(page, anchor);
  viewer->show();
  viewer->raise();
  viewer->activateWindow();
  return viewer;
}

}  // namespace sorvani::ui
