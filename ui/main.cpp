// sorvani-recovery: start-up and shutdown of the desktop program.
//
// The order matters: the single-instance lock comes before anything is written, so a second
// start neither truncates the running instance's log nor saves its stale copy of the profile; it
// only wakes the first window and ends with exit code 1.

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <cstdio>

#include "app/resource_library.h"
#include "app/session.h"
#include "app/startup.h"
#include "disk/drive_enum.h"
#include "disk/drive_table.h"
#include "foundation/display_format.h"
#include "foundation/log.h"
#include "platform/access_check.h"
#include "platform/instance_lock.h"
#include "platform/site_config.h"
#include "ui/file_types.h"
#include "ui/instance_channel.h"
#include "ui/main_frame.h"
#include "ui/resources.h"
#include "ui/signal_bridge.h"
#include "ui/tooltip_style.h"

namespace {

// "--image FILE" (beyond the design, which takes no arguments); everything else is ignored.
QString ImageArgument(const QStringList& arguments) {
  const int at = arguments.indexOf(QStringLiteral("--image"));
  return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1) : QString();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sorvani;
  using namespace sorvani::ui;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("SorvaniRecovery"));
  QApplication::setQuitOnLastWindowClosed(false);  // only the closing sequence ends the program

  // 1. One instance: the lock first, before the profile or the log is touched.
  // Without a private folder (say, root with another user's variables) there is nowhere safe
  // for the lock; the program then runs unguarded rather than not at all, and logs it.
  const std::string instanceFolder = InstanceFolder();
  CInstanceLock lock;
  if (!instanceFolder.empty() && !lock.TryLock(instanceFolder)) {
    WakeRunningInstance(QString::fromStdString(instanceFolder));
    return 1;
  }
  // Close requests by signal wait in a pipe until the event loop runs, so one that comes
  // during start-up closes the window properly instead of killing the process.
  CSignalBridge signalBridge;
  signalBridge.Install();
  CInstanceServer instanceServer;
  const bool listening =
      !instanceFolder.empty() && instanceServer.Listen(QString::fromStdString(instanceFolder));

  // 2. Profile, log and crash reports.
  LoadProfile();
  const std::string logPath = OpenProcessLog();
  InstallCrashReporting(logPath);
  if (instanceFolder.empty())
    LogFile.WriteAlways("No private folder for the single-instance lock; running without it.\n");
  else if (!listening)
    LogFile.Write(1, "The activation socket could not be opened.\n");

  // 3. The resource library: every text and picture of the windows.
  std::string error;
  if (!ResourceLibrary().Load(FindResourceLibrary(), error)) {
    LogFile.WriteAlways("Error loading resource library (libsvres.so)\n");
    LogFile.WriteAlways("%s\n", error.c_str());
    std::fprintf(stderr, "Error loading resource library (libsvres.so): %s\n", error.c_str());
    return 1;
  }
  InstallToolTipStyle();
  // File types and their icons as the desktop knows them.
  static CMimeFileTypeProvider fileTypes;
  SetFileTypeProvider(&fileTypes);

  // 4. Rights to read disks. Without them the program still opens disk images.
  const bool imagesOnly = !HasRawDiskAccess();
  if (imagesOnly) LogFile.WriteAlways("Need admin rights!\n");

  // 5. The main window.
  CSession session(CDriveTable::Instance(), DriveTables{LogicalDiskMap, DiskList, DriveDiskMap});
  RetreiveHardwareInfo();
  CMainFrame::Options options;
  options.session = &session;
  options.imagesOnly = imagesOnly;
  options.webSite = QString::fromStdString(SiteSetting("WebSite"));
  options.onlineHelp = QString::fromStdString(SiteSetting("HelpURL"));
  CMainFrame frame(options);
  frame.RestorePlacement();

  QObject::connect(&signalBridge, &CSignalBridge::closeRequested, &frame, [&frame](int number) {
    LogFile.Write(1, "Signal %d: close request.\n", number);
    frame.RequestClose();
  });
  QObject::connect(&instanceServer, &CInstanceServer::activationRequested, &frame,
                   &CMainFrame::Activate);
  QObject::connect(&frame, &CMainFrame::closed, &app, [] { QApplication::exit(0); });

  frame.show();
  if (imagesOnly) {
    auto* box = new QMessageBox(QMessageBox::Critical, ResString(kIdsCaption),
                                ResString(kIdsNeedAdminRights), QMessageBox::Ok, &frame);
    box->setObjectName(QStringLiteral("NeedAdminRightsBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
  }
  const QString image = ImageArgument(QApplication::arguments());
  if (!image.isEmpty()) frame.OpenImage(image);

  const int code = QApplication::exec();
  LogFile.Write(1, "Exit code %d.\n", code);
  return code;
}
