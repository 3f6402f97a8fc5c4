// The file list: its order (folders first, each column's key, ties settled so the order is a
// strict weak ordering), its model under the model tester while it fills and sorts, its texts and
// tooltips, and filling on a worker from a synthetic folder and from a real indexed image.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMimeDatabase>
#include <QPainter>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "app/resource_library.h"
#include "app/session.h"
#include "foundation/display_format.h"
#include "foundation/file_time.h"
#include "index/file_index.h"
#include "tests/ui/ui_fixtures.h"
#include "tests/util/fixtures.h"
#include "ui/custom_list_view.h"
#include "ui/file_list_model.h"
#include "ui/file_list_sort.h"
#include "ui/folder_fill.h"
#include "ui/tooltip_style.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

constexpr std::uint32_t kFolder = kAttrFolderBit;
// 2021-06-15 12:00:00 UTC, the times of the fixture's files.
const std::uint64_t kJune2021 = UnixToFileTime(1623758400);

FileListEntry Make(const char* name, std::uint64_t size = 0, std::uint32_t attributes = 0,
                   std::uint32_t record = 100, bool deleted = false) {
  FileListEntry entry;
  entry.SetName(name);
  entry.size = size;
  entry.attributes = attributes;
  entry.record = record;
  entry.deleted = deleted;
  return entry;
}

// Types the tests can name: the desktop's database differs between machines.
class CFakeTypes : public IFileTypeProvider {
 public:
  FileTypeInfo Describe(std::string_view name) override {
    ++calls;
    FileTypeInfo info;
    if (name.ends_with(".txt") || name.ends_with(".TXT")) {
      info.description = "Plain Text";
      QPixmap blue(16, 16);
      blue.fill(Qt::blue);
      info.icon = std::make_shared<QIcon>(blue);
    } else if (name.ends_with(".exe")) {
      info.description = "Executable";
    }
    return info;
  }
  int calls = 0;
};

// Rows of a synthetic folder: many equal sizes, times, extensions and names differing only in
// case, so ties are everywhere.
std::vector<FileListEntry> RandomRows(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  const char* stems[] = {"alpha", "Alpha", "beta", "BETA", "gamma", "a", "b", "report", ""};
  const char* extensions[] = {"", ".txt", ".TXT", ".bin", ".jpg", ".tar.gz", "."};
  std::vector<FileListEntry> rows;
  rows.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::string name = stems[random() % std::size(stems)];
    name += std::to_string(random() % 50);
    name += extensions[random() % std::size(extensions)];
    FileListEntry entry;
    entry.SetName(std::move(name));
    entry.attributes = random() % 10 == 0 ? kFolder : 0x20;
    entry.size = (random() % 6) * 1000;
    entry.created = (random() % 4) * kFileTimeTicksPerSecond + kJune2021;
    entry.modified = random() % 3 == 0 ? 0 : kJune2021 + random() % 5;
    entry.record = static_cast<std::uint32_t>(random() % 4000);
    entry.deleted = random() % 2 == 0;
    rows.push_back(std::move(entry));
  }
  return rows;
}

// A row source over a prepared list, checking its cancel flag between rows.
FillSource RowsSource(std::vector<FileListEntry> entries, std::chrono::microseconds pause = {}) {
  return
      [entries = std::move(entries), pause](IListingSink& sink, const std::atomic<bool>* cancel) {
        CatalogueRow row;
        row.path = "Z:\\Synthetic\\";
        for (const FileListEntry& e : entries) {
          if (cancel && cancel->load()) return std::uint8_t{kListingCancelled};
          row.row.name = e.name;
          row.row.record = e.record;
          row.row.attributes = e.attributes;
          row.row.size = e.size;
          row.row.created = e.created;
          row.row.modified = e.modified;
          row.row.overwritten = e.overwritten;
          row.deleted = e.deleted;
          sink.OnRow(row);
          if (pause.count() != 0) std::this_thread::sleep_for(pause);
        }
        return std::uint8_t{kListingDone};
      };
}

bool SortedByModel(const CFileListModel& model) {
  const bool ascending = model.SortOrder() == Qt::AscendingOrder;
  for (int row = 1; row < model.rowCount(); ++row)
    if (FileListLess(model.Entry(row), model.Entry(row - 1), model.SortColumn(), ascending))
      return false;
  return true;
}

QStringList Column(const CFileListModel& model, int column) {
  QStringList out;
  for (int row = 0; row < model.rowCount(); ++row)
    out << model.index(row, column).data().toString();
  return out;
}

}  // namespace

class TestFileList : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void comparatorColumns_data();
  void comparatorColumns();
  void tiesAreSettledOneWay();
  void strictWeakOrderingOn100kRows();
  void sortTimes100k();
  void modelUnderTesterWhileFillingAndSorting();
  void headerClicksSort();
  void cellTexts();
  void toolTipTexts();
  void deletedRowsCarryTheOverlay();
  void desktopTypesBehindTheHook();
  void fill100kKeepsTheEventLoopTurning();
  void newFillCancelsTheRunningOne();
  void fixtureFolderBesideItsDeletedFiles();

 private:
  CFakeTypes m_types;
};

void TestFileList::initTestCase() {
  SetFileTypeProvider(&m_types);
  std::string error;
  QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
}

void TestFileList::cleanupTestCase() { SetFileTypeProvider(nullptr); }

void TestFileList::comparatorColumns_data() {
  QTest::addColumn<int>("column");
  QTest::addColumn<bool>("ascending");
  QTest::addColumn<QString>("a");
  QTest::addColumn<QString>("b");
  QTest::addColumn<int>("expected");  // sign of CompareByColumn(a, b)

  // Entries by name: "D..." folders, others files; sizes and times in the table below.
  for (bool ascending : {true, false}) {
    const int d = ascending ? 1 : -1;
    const char* dir = ascending ? "asc" : "desc";
    for (int column = 0; column < kFileListColumns; ++column) {
      QTest::addRow("col%d %s: folder before file", column, dir) << column << ascending << "Dzeta"
                                                                 << "alpha.txt" << -1;
      QTest::addRow("col%d %s: file after folder", column, dir)
          << column << ascending << "alpha.txt"
          << "Dzeta" << 1;
    }
    QTest::addRow("name %s", dir) << 0 << ascending << "alpha.txt"
                                  << "Beta.txt" << -d;
    QTest::addRow("name no case %s", dir) << 0 << ascending << "ALPHA.txt"
                                          << "alpha.TXT" << 0;
    QTest::addRow("folder names %s", dir) << 0 << ascending << "Dalpha"
                                          << "Dbeta" << -d;
    QTest::addRow("size %s", dir) << 1 << ascending << "small.bin"
                                  << "big.bin" << -d;
    QTest::addRow("equal sizes %s", dir) << 1 << ascending << "big.bin"
                                         << "big2.bin" << 0;
    QTest::addRow("folders by name in size %s", dir) << 1 << ascending << "Dalpha"
                                                     << "Dbeta" << -1;
    QTest::addRow("extension %s", dir) << 2 << ascending << "z.bin"
                                       << "a.txt" << -d;
    QTest::addRow("extension no case %s", dir) << 2 << ascending << "b.TXT"
                                               << "a.txt" << 1;
    QTest::addRow("same extension by name %s", dir) << 2 << ascending << "a.txt"
                                                    << "b.txt" << -1;
    QTest::addRow("no extension first %s", dir) << 2 << ascending << "README"
                                                << "a.txt" << -d;
    QTest::addRow("folders by name in type %s", dir) << 2 << ascending << "Dbeta"
                                                     << "Dalpha" << 1;
    QTest::addRow("created %s", dir) << 3 << ascending << "old.txt"
                                     << "new.txt" << -d;
    QTest::addRow("modified %s", dir) << 4 << ascending << "new.txt"
                                      << "old.txt" << d;
    QTest::addRow("equal times %s", dir) << 3 << ascending << "new.txt"
                                         << "new2.txt" << 0;
    QTest::addRow("folder times %s", dir) << 4 << ascending << "Dold"
                                          << "Dnew" << -d;
  }
}

void TestFileList::comparatorColumns() {
  QFETCH(int, column);
  QFETCH(bool, ascending);
  QFETCH(QString, a);
  QFETCH(QString, b);
  QFETCH(int, expected);
  auto entry = [](const QString& name) {
    FileListEntry e = Make(name.toUtf8().constData());
    if (name.startsWith('D')) e.attributes = kFolder;
    // Sizes: "small" 10, "big" 5000; times: "old" 2021, "new" one hour later; everything else
    // the same.
    e.size = name.startsWith("small") ? 10 : 5000;
    const bool old = name.contains("old");
    e.created = e.modified = kJune2021 + (old ? 0 : 3600 * kFileTimeTicksPerSecond);
    return e;
  };
  const FileListEntry x = entry(a);
  const FileListEntry y = entry(b);
  const int got = CompareByColumn(x, y, column, ascending);
  QCOMPARE((got > 0) - (got < 0), expected);
  // The strict order agrees wherever the key decides.
  if (expected != 0) {
    QCOMPARE(FileListLess(x, y, column, ascending), expected < 0);
    QCOMPARE(FileListLess(y, x, column, ascending), expected > 0);
  }
}

void TestFileList::tiesAreSettledOneWay() {
  // Equal sizes: the order is by name, then record, in both directions, and never "less" both
  // ways (the sort would read out of range).
  for (bool ascending : {true, false}) {
    const FileListEntry a = Make("a.bin", 4096, 0, 7);
    const FileListEntry b = Make("b.bin", 4096, 0, 3);
    QVERIFY(FileListLess(a, b, kColSize, ascending));
    QVERIFY(!FileListLess(b, a, kColSize, ascending));
    QVERIFY(!FileListLess(a, a, kColSize, ascending));
    // Same name without case: the exact name, then the record, then live before deleted.
    const FileListEntry upper = Make("Same.bin", 1, 0, 9);
    const FileListEntry lower = Make("same.bin", 1, 0, 2);
    QVERIFY(FileListLess(upper, lower, kColName, ascending));
    const FileListEntry first = Make("same.bin", 1, 0, 2);
    const FileListEntry second = Make("same.bin", 1, 0, 5);
    QVERIFY(FileListLess(first, second, kColModified, ascending));
    QVERIFY(!FileListLess(second, first, kColModified, ascending));
    const FileListEntry live = Make("same.bin", 1, 0, 5, false);
    const FileListEntry gone = Make("same.bin", 1, 0, 5, true);
    QVERIFY(FileListLess(live, gone, kColType, ascending));
    QVERIFY(!FileListLess(gone, live, kColType, ascending));
  }
}

void TestFileList::strictWeakOrderingOn100kRows() {
  std::vector<FileListEntry> rows = RandomRows(100000, 15);
  std::mt19937 random(7);
  for (int column = 0; column < kFileListColumns; ++column) {
    for (bool ascending : {true, false}) {
      auto less = [&](const FileListEntry& a, const FileListEntry& b) {
        return FileListLess(a, b, column, ascending);
      };
      // Irreflexive, asymmetric, transitive, and "neither less" transitive too, on samples
      // drawn from the rows (duplicate keys are common among them).
      for (int i = 0; i < 30000; ++i) {
        const FileListEntry& a = rows[random() % rows.size()];
        const FileListEntry& b = rows[random() % rows.size()];
        const FileListEntry& c = rows[random() % rows.size()];
        QVERIFY(!less(a, a));
        QVERIFY(!(less(a, b) && less(b, a)));
        if (less(a, b) && less(b, c)) QVERIFY(less(a, c));
        const bool ab = !less(a, b) && !less(b, a);
        const bool bc = !less(b, c) && !less(c, b);
        if (ab && bc) QVERIFY(!less(a, c) && !less(c, a));
      }
      // std::sort (not stable) over the whole set: under the sanitizers a comparator that is
      // not a strict weak ordering reads out of range; the result must be non-decreasing.
      std::vector<FileListEntry> sorted = rows;
      std::sort(sorted.begin(), sorted.end(), less);
      for (std::size_t i = 1; i < sorted.size(); ++i)
        QVERIFY2(!less(sorted[i], sorted[i - 1]), qPrintable(QString::number(i)));
      // Folders first in both directions.
      auto firstFile = std::find_if(sorted.begin(), sorted.end(),
                                    [](const FileListEntry& e) { return !e.IsFolder(); });
      QVERIFY(std::none_of(firstFile, sorted.end(),
                           [](const FileListEntry& e) { return e.IsFolder(); }));
      QVERIFY(firstFile != sorted.begin());
    }
  }
}

void TestFileList::sortTimes100k() {
  CFileListModel model;
  model.Append(RandomRows(100000, 21));
  const char* names[] = {"name", "size", "type", "created", "modified"};
  for (int column = 0; column < kFileListColumns; ++column) {
    for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
      QElapsedTimer clock;
      clock.start();
      model.sort(column, order);
      const qint64 ms = clock.elapsed();
      qInfo("sorting 100000 rows by %s %s: %lld ms", names[column],
            order == Qt::AscendingOrder ? "ascending" : "descending", ms);
      QVERIFY(SortedByModel(model));
      QVERIFY2(ms < 10000, "far beyond any sensible time");
    }
  }
}

void TestFileList::modelUnderTesterWhileFillingAndSorting() {
  CFileListModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  QItemSelectionModel selection(&model);
  CFolderFill fill(&model);
  QSignalSpy finished(&fill, &CFolderFill::fillFinished);
  std::vector<FileListEntry> rows = RandomRows(3000, 3);
  fill.FillFrom("Z:\\Synthetic\\", RowsSource(rows, std::chrono::microseconds(20)));
  QVERIFY(fill.Filling());
  // Select a row while rows still arrive; it must stay with its item through the sort.
  QTRY_VERIFY(model.rowCount() > 10);
  const FileListEntry picked = model.Entry(5);
  selection.select(model.index(5, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QVERIFY(finished.wait(20000));
  QCOMPARE(finished.size(), 1);
  QCOMPARE(model.rowCount(), 3000);
  QVERIFY(!fill.Filling());
  QVERIFY(SortedByModel(model));
  for (int column : {kColSize, kColType, kColModified, kColName}) {
    model.sort(column, column % 2 ? Qt::DescendingOrder : Qt::AscendingOrder);
    QVERIFY(SortedByModel(model));
    const QModelIndexList selected = selection.selectedRows();
    QCOMPARE(selected.size(), 1);
    const FileListEntry& now = model.Entry(selected[0].row());
    QCOMPARE(now.name, picked.name);
    QCOMPARE(now.record, picked.record);
  }
  QCOMPARE(fill.Result().rows, 3000u);
  QCOMPARE(fill.Result().outcome, std::uint8_t{kListingDone});
  QCOMPARE(fill.Result().folderPath, std::string("Z:\\Synthetic\\"));
  QVERIFY(fill.Result().flags & kFillHasDeleted);
  model.Clear();
  QCOMPARE(model.rowCount(), 0);
}

void TestFileList::headerClicksSort() {
  CCustomListView view;
  CFileListModel model;
  model.Append({Make("b.txt", 10), Make("a.bin", 30), Make("c.jpg", 20), Make("Dir", 0, kFolder)});
  view.setModel(&model);
  model.AttachHeader(view.header());
  view.resize(700, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  QHeaderView* header = view.header();
  auto click = [header](int section) {
    const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  };
  click(kColSize);  // another column: ascending
  QCOMPARE(model.SortColumn(), int(kColSize));
  QCOMPARE(model.SortOrder(), Qt::AscendingOrder);
  QCOMPARE(header->sortIndicatorSection(), int(kColSize));
  QCOMPARE(Column(model, kColName), QStringList({"Dir", "b.txt", "c.jpg", "a.bin"}));
  click(kColSize);  // the same column again: reversed, the folder still first
  QCOMPARE(model.SortOrder(), Qt::DescendingOrder);
  QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
  QCOMPARE(Column(model, kColName), QStringList({"Dir", "a.bin", "c.jpg", "b.txt"}));
  click(kColName);  // back to another column: ascending again
  QCOMPARE(model.SortColumn(), int(kColName));
  QCOMPARE(model.SortOrder(), Qt::AscendingOrder);
  QCOMPARE(Column(model, kColName), QStringList({"Dir", "a.bin", "b.txt", "c.jpg"}));
}

void TestFileList::cellTexts() {
  CFileListModel model;
  FileListEntry folder = Make("Photos", 999, kFolder | 0x20);
  FileListEntry text = Make("notes.TXT", 1536);
  text.created = kJune2021;
  FileListEntry unknown = Make("data.xyz", 150000);
  FileListEntry program = Make("setup.exe", 300);
  FileListEntry bare = Make("Makefile", 0);
  model.Append({folder, text, unknown, program, bare});
  model.sort(kColName, Qt::AscendingOrder);
  QCOMPARE(Column(model, kColName),
           QStringList({"Photos", "data.xyz", "Makefile", "notes.TXT", "setup.exe"}));
  QCOMPARE(Column(model, kColSize), QStringList({"", "146 KB", "0 KB", "2 KB", "0.3 KB"}));
  QCOMPARE(Column(model, kColType),
           QStringList({"File Folder", "XYZ File", "File", "Plain Text", "Application"}));
  QCOMPARE(Column(model, kColCreated), QStringList({"", "", "", "06/15/21 12:00:00", ""}));
  QCOMPARE(model.index(1, kColSize).data(Qt::TextAlignmentRole).toInt(),
           int(Qt::AlignRight | Qt::AlignVCenter));
  QCOMPARE(model.headerData(kColSize, Qt::Horizontal).toString(), QString("Size"));
  QCOMPARE(model.headerData(kColModified, Qt::Horizontal).toString(), QString("Date Modified"));
  // The desktop is asked once per extension, whatever the case of the names.
  const int before = m_types.calls;
  model.Append({Make("more.txt"), Make("MORE2.Txt"), Make("again.xyz")});
  for (int row = 0; row < model.rowCount(); ++row) model.index(row, kColType).data();
  QCOMPARE(m_types.calls, before);
  QCOMPARE(model.FindRow(100, "NOTES.txt"), 3);
  QCOMPARE(model.FindRow(101, "notes.txt"), -1);
}

void TestFileList::toolTipTexts() {
  FileListEntry deleted = Make("draft-old.txt", 300, 0x20, 73, true);
  deleted.created = kJune2021;
  deleted.modified = kJune2021 + 61 * kFileTimeTicksPerSecond;
  // 0 % overwritten: no "Overwritten" line.
  QCOMPARE(FileListToolTipText(deleted, "Plain Text"),
           QString("Name: draft-old.txt\nType: Plain Text\nSize: 0.3 KB\nAttributes: Archive"
                   "\nDate Created: 06/15/21 12:00:00\nDate Modified: 06/15/21 12:01:01"));
  deleted.overwritten = 37;
  deleted.attributes = 0;
  deleted.modified = 0;
  QCOMPARE(FileListToolTipText(deleted, "Plain Text"),
           QString("Name: draft-old.txt\nOverwritten: 37%\nType: Plain Text\nSize: 0.3 KB"
                   "\nDate Created: 06/15/21 12:00:00"));
  FileListEntry folder = Make("Q4", 160, kFolder, 69);
  QCOMPARE(FileListToolTipText(folder, "ignored"), QString("Name: Q4\nType: File Folder"));
  folder.attributes = kFolder | 0x2 | 0x4;
  folder.modified = kJune2021;
  QCOMPARE(FileListToolTipText(folder, "ignored"),
           QString("Name: Q4\nType: File Folder\nAttributes: Hidden, System"
                   "\nDate Modified: 06/15/21 12:00:00"));
  // The model's tooltip is that text made rich, with the type it shows; names keep their
  // characters (and markup in them stays text).
  CFileListModel model;
  FileListEntry odd = Make("<b>写真 📷.txt", 2048, 0, 5, true);
  model.Append({odd});
  const QString plain = FileListToolTipText(odd, "Plain Text");
  QCOMPARE(plain, QString("Name: <b>写真 📷.txt\nType: Plain Text\nSize: 2 KB"));
  QCOMPARE(model.index(0, kColType).data(Qt::ToolTipRole).toString(), RichToolTipText(plain));
  QVERIFY(RichToolTipText(plain).contains("&lt;b&gt;"));
}

void TestFileList::deletedRowsCarryTheOverlay() {
  CFileListModel model;
  model.Append({Make("a.txt", 1, 0, 1, false), Make("b.txt", 1, 0, 2, true),
                Make("c.txt", 1, 0, 3, true), Make("Dir", 0, kFolder, 4, true)});
  auto image = [&](int row) {
    return model.index(row, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage();
  };
  const QImage live = image(0);
  const QImage gone = image(1);
  QVERIFY(!live.isNull());
  QCOMPARE(live.pixelColor(8, 8), QColor(Qt::blue));  // the provider's icon of ".txt"
  QVERIFY(gone != live);                              // the mark is drawn over it
  QCOMPARE(model.index(1, 0).data(CFileListModel::kDeletedRole).toBool(), true);
  // Composed once: both deleted rows of the type share one icon.
  QCOMPARE(model.index(1, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
           model.index(2, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey());
  QVERIFY(!image(3).isNull());
}

void TestFileList::desktopTypesBehindTheHook() {
  CMimeFileTypeProvider desktop;
  SetFileTypeProvider(&desktop);
  const std::string program = DescribeFileType("setup.exe").description;
  const std::string icon = DescribeFileType("app.ICO").description;
  const FileTypeInfo unknown = DescribeFileType("data.zzqqy");
  const FileTypeInfo text = DescribeFileType("notes.txt");
  SetFileTypeProvider(&m_types);
  // Our own names win over the desktop's; an extension it does not know gets "XYZ File".
  QCOMPARE(program, std::string("Application"));
  QCOMPARE(icon, std::string("Icon File"));
  QCOMPARE(unknown.description, std::string("ZZQQY File"));
  QVERIFY(!unknown.icon);
  if (!QMimeDatabase().mimeTypeForName("text/plain").isValid())
    QSKIP("no MIME database on this machine");
  QCOMPARE(QString::fromStdString(text.description),
           QMimeDatabase().mimeTypeForName("text/plain").comment());
  if (text.icon) QVERIFY(!static_cast<const QIcon*>(text.icon.get())->isNull());
}

void TestFileList::fill100kKeepsTheEventLoopTurning() {
  CCustomListView view;
  CFileListModel model;
  view.setModel(&model);
  view.resize(800, 500);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  CFolderFill fill(&model, &view);
  QSignalSpy finished(&fill, &CFolderFill::fillFinished);
  std::vector<FileListEntry> rows = RandomRows(100000, 99);
  for (FileListEntry& row : rows) row.overwritten = row.deleted && row.size > 4000 ? 50 : 0;

  // The longest time between two turns of the UI thread's event loop.
  QElapsedTimer sinceTurn;
  qint64 longestGap = 0;
  int turns = 0;
  QTimer beat;
  beat.setInterval(0);
  connect(&beat, &QTimer::timeout, [&] {
    longestGap = std::max(longestGap, sinceTurn.restart());
    ++turns;
  });
  QElapsedTimer total;
  total.start();
  sinceTurn.start();
  beat.start();
  fill.FillFrom("Z:\\Synthetic\\", RowsSource(std::move(rows)));
  QCOMPARE(view.EmptyText(), QString("Processing Request..."));
  QVERIFY(finished.wait(60000));
  const qint64 fillMs = total.elapsed();
  QTest::qWait(20);
  beat.stop();
  qInfo("filling 100000 rows: %lld ms, longest event-loop gap %lld ms over %d turns", fillMs,
        longestGap, turns);
  QCOMPARE(model.rowCount(), 100000);
  QVERIFY(SortedByModel(model));
  QCOMPARE(finished.at(0).at(0).toUInt(), unsigned(kFillHasDeleted | kFillHasOverwritten));
  QCOMPARE(view.EmptyText(), QString("There are no items to show in this view."));
  QVERIFY2(turns > 10, "the event loop kept turning while the worker listed");
  QVERIFY2(longestGap < 5000, "a generous bound; the figure is reported above");
}

void TestFileList::newFillCancelsTheRunningOne() {
  CFileListModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  CCustomListView view;
  view.setModel(&model);
  CFolderFill fill(&model, &view);
  QSignalSpy finished(&fill, &CFolderFill::fillFinished);
  std::vector<FileListEntry> slow(20000, Make("slow.bin", 5, 0, 1, true));
  fill.FillFrom("Z:\\Slow\\", RowsSource(slow, std::chrono::microseconds(200)));
  QTRY_VERIFY(model.rowCount() > 0);
  // A second fill while the first still lists: the first is cancelled, its rows dropped.
  fill.FillFrom("Z:\\Fast\\", RowsSource({Make("x.txt", 1, 0, 2), Make("y.txt", 2, 0, 3)}));
  QVERIFY(finished.wait(20000));
  QTest::qWait(100);  // late batches of the cancelled fill would arrive here
  QCOMPARE(finished.size(), 1);
  QCOMPARE(model.rowCount(), 2);
  QCOMPARE(Column(model, kColName), QStringList({"x.txt", "y.txt"}));
  QCOMPARE(fill.Result().flags, 0u);  // the second folder holds nothing deleted
  QCOMPARE(model.FolderPath(), QString("Z:\\Fast\\"));
  // Cancel alone leaves the rows shown and says nothing more.
  fill.FillFrom("Z:\\Slow\\", RowsSource(slow, std::chrono::microseconds(200)));
  QTRY_VERIFY(model.rowCount() > 0);
  fill.Cancel();
  QVERIFY(!fill.Filling());
  QCOMPARE(view.EmptyText(), QString("There are no items to show in this view."));
  const int shown = model.rowCount();
  QTest::qWait(100);
  QCOMPARE(model.rowCount(), shown);
  QCOMPARE(finished.size(), 1);
}

void TestFileList::fixtureFolderBesideItsDeletedFiles() {
  CSession session;
  const char letter = test::OpenIndexedFixture(session, "ntfs-4k.img");
  QVERIFY(letter != 0);

  // The answer key's items directly inside the folder.
  struct Expected {
    bool deleted;
    std::uint64_t size;
    QString modified, created;
  };
  std::map<std::string, Expected> expected;
  const auto key = nlohmann::json::parse(test::FixtureText("ntfs-4k.img.key.json"));
  const std::string folder = "Docs/Reports/2023/";
  for (const auto& entry : key["entries"]) {
    const std::string path = entry["path"];
    if (!path.starts_with(folder) || path.find('/', folder.size()) != std::string::npos) continue;
    const bool isFolder = entry["meta_type"] == "d";
    const auto& times = entry["times"];  // modified, accessed, changed, created
    expected[path.substr(folder.size())] = {entry["deleted"].get<bool>(),
                                            isFolder ? 0 : entry["size"].get<std::uint64_t>(),
                                            QString::fromStdString(times[0].get<std::string>()),
                                            QString::fromStdString(times[3].get<std::string>())};
  }
  QVERIFY(expected.count("draft-old.txt") && expected.count("budget-deleted.bin"));

  CFileListModel model;
  CFolderFill fill(&model);
  QSignalSpy finished(&fill, &CFolderFill::fillFinished);
  fill.Fill(session, letter, std::string(1, letter) + ":\\Docs\\Reports\\2023\\", false);
  QVERIFY(finished.wait(20000));
  QCOMPARE(fill.Result().outcome, std::uint8_t{kListingDone});
  QCOMPARE(finished.at(0).at(0).toUInt(), unsigned(kFillHasDeleted));
  QCOMPARE(model.rowCount(), int(expected.size()));
  for (int row = 0; row < model.rowCount(); ++row) {
    const FileListEntry& entry = model.Entry(row);
    auto it = expected.find(entry.name);
    QVERIFY2(it != expected.end(), entry.name.c_str());
    QCOMPARE(entry.deleted, it->second.deleted);
    if (!entry.IsFolder()) {
      QCOMPARE(entry.size, it->second.size);
      // The key's times are UTC; the test runs in UTC.
      QCOMPARE(QString::fromStdString(FormatFileTime(entry.created, "%F %T (UTC)")),
               it->second.created);
      if (!entry.deleted)
        QCOMPARE(QString::fromStdString(FormatFileTime(entry.modified, "%F %T (UTC)")),
                 it->second.modified);
    }
  }
  auto sizeOf = [&](const char* name) {
    for (int r = 0; r < model.rowCount(); ++r)
      if (model.Entry(r).name == name) return model.index(r, kColSize).data().toString();
    return QString("absent");
  };
  QCOMPARE(sizeOf("draft-old.txt"), QString("0.3 KB"));
  QCOMPARE(sizeOf("budget-deleted.bin"), QString("146 KB"));
  QCOMPARE(sizeOf("summary.txt"), QString("0.6 KB"));
  QCOMPARE(sizeOf("Q4"), QString(""));
  // Sorted by name at the end, the folder first.
  QCOMPARE(Column(model, kColName).first(), QString("Q4"));

  // Deleted only: the live files go, the live folder with a deleted file below stays.
  fill.Fill(session, letter, "\\Docs\\Reports\\2023", true);
  QVERIFY(finished.wait(20000));
  QCOMPARE(Column(model, kColName), QStringList({"Q4", "budget-deleted.bin", "draft-old.txt"}));
  // A folder the drive does not have lists nothing and says so.
  fill.Fill(session, letter, "\\Docs\\Nowhere\\", false);
  QVERIFY(finished.wait(20000));
  QCOMPARE(fill.Result().outcome, std::uint8_t{kListingNoFolder});
  QCOMPARE(model.rowCount(), 0);
}

QTEST_MAIN(TestFileList)
#include "tst_file_list.moc"
