// browse_bench IMAGE [--folder "X:\\path\\"] [--runs N]: the browse view of the desktop program,
// timed as a person meets it. Opens IMAGE in a main window (offscreen unless a display is
// asked for), which selects its drive: the indexing dialog runs and the root's rows are
// shown. Then fills FOLDER again and again and sorts it by each column both ways. A 1 ms
// timer watches the event loop all along; its longest wait is the longest the window froze.
// Prints, one line each:
//   open SECONDS ROWS                   drive selected -> root rows shown (indexing included)
//   fill SECONDS ROWS                   median of N fills of FOLDER
//   sort COLUMN ORDER SECONDS           median of N sorts, the view's relayout included
//   gap open|fill|sort MILLISECONDS     longest time between two turns of the event loop
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/resource_library.h"
#include "app/session.h"
#include "disk/drive_enum.h"
#include "foundation/profile.h"
#include "index/index_cache.h"
#include "ui/file_list_model.h"
#include "ui/folder_fill.h"
#include "ui/main_frame.h"

namespace {

using namespace sorvani;
using namespace sorvani::ui;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The longest time between two timeouts of a 1 ms timer, less the timer's own millisecond.
class CLoopWatch {
 public:
  CLoopWatch() {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      m_longest = std::max(m_longest, m_since.nsecsElapsed() / 1e6 - 1.0);
      m_since.restart();
    });
    m_since.start();
    m_timer.start();
  }
  // The longest wait since the last call.
  double Take() {
    const double longest = std::max(m_longest, m_since.nsecsElapsed() / 1e6 - 1.0);
    m_longest = 0;
    m_since.restart();
    return longest;
  }

 private:
  QTimer m_timer;
  QElapsedTimer m_since;
  double m_longest = 0;
};

// Runs the event loop until `done` or `seconds` pass; false on the time-out.
template <typename Done>
bool Wait(Done done, int seconds) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > seconds * 1000LL) return false;
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: browse_bench IMAGE [--folder \"X:\\\\path\\\\\"] [--runs N]\n");
    return 2;
  }
  const QString image = QString::fromLocal8Bit(argv[1]);
  std::string folder;
  int runs = 5;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    if (flag == "--folder") folder = argv[i + 1];
  }

  std::string error;
  if (!ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error))
    std::fprintf(stderr, "browse_bench: no resource library (%s); texts are placeholders\n",
                 error.c_str());
  QTemporaryDir scratch;
  Profile().SetPath(scratch.filePath("Profile.xml").toStdString());
  Profile().Load();
  SetCacheFolder(scratch.filePath("cache").toStdString());

  CSession session(CDriveTable::Instance(), DriveTables{LogicalDiskMap, DiskList, DriveDiskMap});
  CMainFrame::Options options;
  options.session = &session;
  CMainFrame frame(options);
  frame.resize(1100, 700);
  frame.show();
  auto* list = frame.findChild<QTreeView*>("FileList");
  auto* model = list ? qobject_cast<CFileListModel*>(list->model()) : nullptr;
  auto* fill = frame.findChild<CFolderFill*>();
  if (!model || !fill) return 2;
  QApplication::processEvents();

  CLoopWatch watch;
  QElapsedTimer clock;
  clock.start();
  if (!frame.OpenImage(image)) {
    std::fprintf(stderr, "browse_bench: cannot open %s\n", qPrintable(image));
    return 1;
  }
  if (!Wait([&] { return model->rowCount() > 0 && !fill->Filling(); }, 3600)) {
    std::fprintf(stderr, "browse_bench: the root's rows never came\n");
    return 1;
  }
  std::printf("open %.3f %d\n", clock.nsecsElapsed() / 1e9, model->rowCount());
  std::printf("gap open %.1f\n", watch.Take());
  if (folder.empty()) return 0;

  std::vector<double> fills;
  for (int run = 0; run < runs; ++run) {
    clock.restart();
    if (!frame.SelectFolderChain(folder, "", "")) {
      std::fprintf(stderr, "browse_bench: %s is not on the opened drive\n", folder.c_str());
      return 1;
    }
    QApplication::processEvents();
    if (!Wait([&] { return !fill->Filling(); }, 600)) return 1;
    fills.push_back(clock.nsecsElapsed() / 1e9);
  }
  std::printf("fill %.3f %d\n", Median(fills), model->rowCount());
  std::printf("gap fill %.1f\n", watch.Take());

  for (int column = 0; column < kFileListColumns; ++column) {
    for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
      std::vector<double> sorts;
      for (int run = 0; run < runs; ++run) {
        // From the other order, so that each run really moves the rows.
        model->sort(column, order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder);
        QApplication::processEvents();
        clock.restart();
        model->sort(column, order);
        QApplication::processEvents();
        sorts.push_back(clock.nsecsElapsed() / 1e9);
      }
      std::printf("sort %d %s %.3f\n", column, order == Qt::AscendingOrder ? "asc" : "desc",
                  Median(sorts));
    }
  }
  std::printf("gap sort %.1f\n", watch.Take());
  return 0;
}
