// The built-in help window: the program's own HTML pages from the "help" folder beside the
// executable, shown in a text browser and opened at a topic (an anchor of a page).
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QTextBrowser;

namespace sorvani::ui {

// The page that holds the program's topics; its anchors are the topic names.
inline constexpr char kHelpPage[] = "SorvaniRecovery_HelpSystem.htm";

// The folder the pages are read from: the executable's folder + "/help" unless set.
QString HelpFolder();
// Tests and installs with another layout point the viewer elsewhere; empty restores the default.
void SetHelpFolder(const QString& folder);

class CHelpViewer : public QWidget {
  Q_OBJECT

 public:
  explicit CHelpViewer(QWidget* parent = nullptr);

  // Shows `page` of the help folder scrolled to `anchor` (none: the top). A missing page or
  // folder shows a message saying which page is missing; false then.
  bool Open(const QString& page, const QString& anchor = {});

  QTextBrowser* Browser() const { return m_browser; }
  // The page shown, or empty while the "missing" message is up.
  QUrl CurrentPage() const;

 private:
  void Follow(const QUrl& link);
  void ShowMissing(const QString& page);

  QTextBrowser* m_browser;
  bool m_showingMissing = false;
};

// Opens the help window at `page` and `anchor`, reusing the one help window of the program;
// raises it when it is already open. `parent` only places it on the right screen.
CHelpViewer* ShowHelp(QWidget* parent, const QString& page, const QString& anchor);

}  // namespace sorvani::ui
