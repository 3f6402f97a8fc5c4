// The file list's columns and the browse view's splitter as the profile keeps them: what a fresh
// profile gives, what a restart brings back (shown columns, order, widths, sorting column and
// direction), and what a hand-edited profile falls back to.

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QScreen>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

#include "app/resource_library.h"
#include "app/session.h"
#include "foundation/profile.h"
#include "ui/commands.h"
#include "ui/file_list_model.h"
#include "ui/main_frame.h"
#include "ui/resources.h"
#include "ui/window_placement.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

QByteArray Le32Bytes(std::initializer_list<std::int32_t> values) {
  QByteArray out;
  for (std::int32_t v : values)
    for (int i = 0; i < 4; ++i) out.append(static_cast<char>(std::uint32_t(v) >> (8 * i)));
  return out;
}

const char* const kLiteralHeaders[kColumnCount] = {"Name", "Size", "Type", "Date Created",
                                                   "Date Modified"};

}  // namespace

class TestLayout : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;
  QString m_profilePath;
  CSession m_session;

  std::unique_ptr<CMainFrame> StartFrame(QSize size = QSize(900, 600)) {
    CMainFrame::Options options;
    options.session = &m_session;
    auto frame = std::make_unique<CMainFrame>(options);
    frame->resize(size);
    frame->RestorePlacement();
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame.get())) return nullptr;
    QTest::qWait(20);  // the second stage (splitter, hints) runs from the event loop
    return frame;
  }

  // The closing sequence writes the layout and saves the profile; the next start reads the file.
  void Restart(std::unique_ptr<CMainFrame>& frame) {
    QVERIFY(frame->RequestClose());
    frame.reset();
    Profile().SetPath(m_profilePath.toStdString());
    QVERIFY(Profile().Load());
  }

  static QHeaderView* Header(CMainFrame& frame) {
    return frame.findChild<QTreeView*>("FileList")->header();
  }
  static CFileListModel* ListModel(CMainFrame& frame) {
    return qobject_cast<CFileListModel*>(frame.findChild<QTreeView*>("FileList")->model());
  }

  void ResetProfile() {
    QFile::remove(m_profilePath);
    Profile().SetPath(m_profilePath.toStdString());
    QVERIFY(Profile().Load());
    Profile().SetInt("Wizard", "ShowOnStartUp", 1);  // no start hints in these tests
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    m_profilePath = m_dir.filePath("Profile.xml");
    std::string error;
    QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
  }

  void init() { ResetProfile(); }

  void freshProfileGivesFiveColumnsSortedByName() {
    auto frame = StartFrame();
    QVERIFY(frame);
    QHeaderView* header = Header(*frame);
    QCOMPARE(header->count(), kColumnCount);
    QCOMPARE(header->hiddenSectionCount(), 0);
    const int widths[kColumnCount] = {200, 100, 150, 150, 150};
    for (int c = 0; c < kColumnCount; ++c) {
      QCOMPARE(header->sectionSize(c), widths[c]);
      QCOMPARE(header->logicalIndex(c), c);
      QVERIFY(frame->Action(kCmdColumnFirst + c)->isChecked());
      QCOMPARE(header->model()->headerData(c, Qt::Horizontal).toString(),
               QString::fromLatin1(kLiteralHeaders[c]));
    }
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(ListModel(*frame)->SortColumn(), 0);
    QCOMPARE(ListModel(*frame)->SortOrder(), Qt::AscendingOrder);
    const int pane = frame->findChild<QSplitter*>("BrowseSplitter")->sizes().front();
    QCOMPARE(pane, 200);

    Restart(frame);
    QCOMPARE(Profile().GetInt("LayoutMain", "ColumnMap", -1), 31);
    QCOMPARE(Profile().GetInt("LayoutMain", "SortingColumn", -1), 0);
    QCOMPARE(Profile().GetInt("LayoutMain", "SortDescending", -1), 0);
    QCOMPARE(Profile().GetInt("LayoutMain", "SplitterPos", -1), 200);
    const ColumnLayout layout = LoadColumnLayout(Profile());
    QCOMPARE(layout.order, (std::vector<int>{0, 1, 2, 3, 4}));
    QCOMPARE(layout.widths, (std::array<int, kColumnCount>{200, 100, 150, 150, 150}));
  }

  void hiddenColumnStaysHiddenAfterARestart() {
    auto frame = StartFrame();
    QVERIFY(frame);
    Header(*frame)->resizeSection(1, 120);
    frame->Action(kCmdColumnFirst + 1)->trigger();  // hide "Size"
    QVERIFY(Header(*frame)->isSectionHidden(1));
    Restart(frame);
    QCOMPARE(Profile().GetInt("LayoutMain", "ColumnMap", -1), 29);

    frame = StartFrame();
    QVERIFY(frame);
    QHeaderView* header = Header(*frame);
    QCOMPARE(header->count() - header->hiddenSectionCount(), 4);
    QVERIFY(header->isSectionHidden(1));
    QVERIFY(!frame->Action(kCmdColumnFirst + 1)->isChecked());
    // Shown again, the column comes back with its header and the width it had.
    frame->Action(kCmdColumnFirst + 1)->trigger();
    QVERIFY(!header->isSectionHidden(1));
    QCOMPARE(header->sectionSize(1), 120);
    QCOMPARE(header->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Size"));
    Restart(frame);
    QCOMPARE(Profile().GetInt("LayoutMain", "ColumnMap", -1), 31);
  }

  void columnShownAgainGetsItsOwnHeaderText() {
    auto frame = StartFrame();
    QVERIFY(frame);
    QAbstractItemModel* model = Header(*frame)->model();
    // The model keeps a header text it is given and tells the header.
    QSignalSpy changed(model, &QAbstractItemModel::headerDataChanged);
    QVERIFY(model->setHeaderData(3, Qt::Horizontal, QStringLiteral("Born")));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Born"));
    QVERIFY(!model->setHeaderData(5, Qt::Horizontal, QStringLiteral("x")));
    QVERIFY(!model->setHeaderData(0, Qt::Vertical, QStringLiteral("x")));
    QVERIFY(!model->setHeaderData(0, Qt::Horizontal, QStringLiteral("x"), Qt::ToolTipRole));
    // A column shown again by its command gets its own name back.
    frame->Action(kCmdColumnFirst + 3)->trigger();
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Born"));
    frame->Action(kCmdColumnFirst + 3)->trigger();
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Date Created"));
    QCOMPARE(Header(*frame)->model()->headerData(2, Qt::Horizontal).toString(),
             QStringLiteral("Type"));
  }

  void sortColumnAndDirectionSurviveARestart() {
    auto frame = StartFrame();
    QVERIFY(frame);
    QHeaderView* header = Header(*frame);
    // Two clicks on "Size": ascending first, then reversed.
    const QPoint sizeHeader(header->sectionViewportPosition(1) + 20, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeader);
    QCOMPARE(ListModel(*frame)->SortColumn(), 1);
    QCOMPARE(ListModel(*frame)->SortOrder(), Qt::AscendingOrder);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeader);
    QCOMPARE(ListModel(*frame)->SortOrder(), Qt::DescendingOrder);
    Restart(frame);
    QCOMPARE(Profile().GetInt("LayoutMain", "SortingColumn", -1), 1);
    QCOMPARE(Profile().GetInt("LayoutMain", "SortDescending", -1), 1);

    frame = StartFrame();
    QVERIFY(frame);
    header = Header(*frame);
    QCOMPARE(header->sortIndicatorSection(), 1);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    CFileListModel* model = ListModel(*frame);
    QCOMPARE(model->SortColumn(), 1);
    QCOMPARE(model->SortOrder(), Qt::DescendingOrder);
    // A list filled now comes out largest first.
    std::vector<FileListEntry> rows(3);
    rows[0].name = "small.txt", rows[0].size = 10;
    rows[1].name = "big.txt", rows[1].size = 9000;
    rows[2].name = "mid.txt", rows[2].size = 500;
    model->Append(std::move(rows));
    model->sort(model->SortColumn(), model->SortOrder());
    QCOMPARE(model->Entry(0).name, std::string("big.txt"));
    QCOMPARE(model->Entry(2).name, std::string("small.txt"));

    // Another column starts ascending again, and that is what the next start finds.
    const QPoint typeHeader(header->sectionViewportPosition(2) + 20, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, typeHeader);
    Restart(frame);
    QCOMPARE(Profile().GetInt("LayoutMain", "SortingColumn", -1), 2);
    QCOMPARE(Profile().GetInt("LayoutMain", "SortDescending", -1), 0);
  }

  void handEditedProfileNeverBreaksTheWindow_data() {
    QTest::addColumn<QByteArray>("placement");
    QTest::addColumn<QByteArray>("order");
    QTest::addColumn<QByteArray>("widths");
    QTest::addColumn<int>("map");
    QTest::addColumn<int>("sorting");
    QTest::addColumn<int>("descending");
    const QByteArray natural = Le32Bytes({0, 1, 2, 3, 4});
    const QByteArray good = Le32Bytes({200, 100, 150, 150, 150});
    QTest::newRow("placement garbage") << QByteArray(44, '\xff') << natural << good << 31 << 0 << 0;
    QTest::newRow("placement three bytes") << QByteArray("abc") << natural << good << 31 << 0 << 0;
    QTest::newRow("placement wrong length field")
        << Le32Bytes({40, 0, 1, 0, 0, 0, 0, 10, 10, 500, 400}) << natural << good << 31 << 0 << 0;
    QTest::newRow("order seven bytes")
        << QByteArray() << QByteArray(7, '\1') << good << 31 << 0 << 0;
    QTest::newRow("order negative")
        << QByteArray() << Le32Bytes({0, 1, 2, 3, -4}) << good << 31 << 0 << 0;
    QTest::newRow("order too short for the shown columns")
        << QByteArray() << Le32Bytes({4, 3}) << good << 31 << 0 << 0;
    QTest::newRow("widths zero and 100000")
        << QByteArray() << natural << Le32Bytes({0, 100000, 150, 150, 150}) << 31 << 0 << 0;
    QTest::newRow("widths negative")
        << QByteArray() << natural << Le32Bytes({-1, -100, 0, 0, 0}) << 31 << 0 << 0;
    QTest::newRow("sorting column beyond the list")
        << QByteArray() << natural << good << 31 << 9 << 7;
    QTest::newRow("sorting column negative") << QByteArray() << natural << good << 31 << -1 << -1;
    QTest::newRow("map negative") << QByteArray() << natural << good << -3 << 0 << 0;
  }
  void handEditedProfileNeverBreaksTheWindow() {
    QFETCH(QByteArray, placement);
    QFETCH(QByteArray, order);
    QFETCH(QByteArray, widths);
    QFETCH(int, map);
    QFETCH(int, sorting);
    QFETCH(int, descending);
    if (!placement.isEmpty())
      Profile().SetBinary("LayoutMain", "WindowPos", placement.constData(), placement.size());
    Profile().SetBinary("LayoutMain", "ColumnOrder", order.constData(), order.size());
    Profile().SetBinary("LayoutMain", "ColumnWidths", widths.constData(), widths.size());
    Profile().SetInt("LayoutMain", "ColumnMap", map);
    Profile().SetInt("LayoutMain", "SortingColumn", sorting);
    Profile().SetInt("LayoutMain", "SortDescending", descending);

    auto frame = StartFrame(QSize(800, 500));
    QVERIFY(frame);
    QCOMPARE(frame->size(), QSize(800, 500));
    QVERIFY(frame->screen()->availableGeometry().intersects(frame->geometry()));
    QHeaderView* header = Header(*frame);
    QCOMPARE(header->hiddenSectionCount(), 0);  // every bad map here falls back to all five
    for (int c = 0; c < kColumnCount; ++c) {
      QVERIFY2(header->sectionSize(c) >= 1 && header->sectionSize(c) <= 4096,
               qPrintable(QString::number(header->sectionSize(c))));
      QCOMPARE(header->logicalIndex(c), c);  // a bad order leaves the natural one
    }
    if (QTest::currentDataTag() == QByteArray("widths zero and 100000") ||
        QTest::currentDataTag() == QByteArray("widths negative")) {
      // A width that makes no sense gives the column its built-in width; the others keep theirs.
      for (int c = 0; c < kColumnCount; ++c)
        QCOMPARE(header->sectionSize(c), kDefaultColumnWidths[c]);
    }
    QCOMPARE(ListModel(*frame)->SortColumn(), sorting >= 0 && sorting < kColumnCount ? sorting : 0);
    QCOMPARE(ListModel(*frame)->SortOrder(), Qt::AscendingOrder);
    QCOMPARE(header->sortIndicatorSection(), ListModel(*frame)->SortColumn());

    // What the closing sequence writes back is sound again.
    Restart(frame);
    const ColumnLayout layout = LoadColumnLayout(Profile());
    QCOMPARE(layout.map, 0x1Fu);
    QCOMPARE(layout.order, (std::vector<int>{0, 1, 2, 3, 4}));
    QVERIFY(layout.orderRead);
    std::vector<std::uint8_t> raw;
    QVERIFY(Profile().GetBinary("LayoutMain", "WindowPos", raw));
    QVERIFY(DecodePlacement(raw).has_value());
  }

  void splitterStaysInsideTheWindow_data() {
    QTest::addColumn<int>("saved");
    QTest::addColumn<int>("expected");
    QTest::newRow("default") << 200 << 200;
    QTest::newRow("wider than the window") << 5000 << 800 - 150;
    QTest::newRow("just too wide") << 700 << 800 - 150;
    QTest::newRow("negative") << -40 << 50;
    QTest::newRow("zero") << 0 << 50;
  }
  void splitterStaysInsideTheWindow() {
    QFETCH(int, saved);
    QFETCH(int, expected);
    Profile().SetInt("LayoutMain", "SplitterPos", saved);
    auto frame = StartFrame(QSize(800, 500));
    QVERIFY(frame);
    auto* splitter = frame->findChild<QSplitter*>("BrowseSplitter");
    const QList<int> sizes = splitter->sizes();
    // The pane cannot be narrower than its title row and close button.
    expected = std::max(expected, splitter->widget(0)->minimumSizeHint().width());
    // The splitter's own width is the window's less its frame; the pane keeps the computed width
    // or is narrowed with the window, and the list always keeps room.
    QVERIFY2(std::abs(sizes.front() - expected) <= 20,
             qPrintable(QStringLiteral("%1 vs %2").arg(sizes.front()).arg(expected)));
    QVERIFY(sizes.back() >= 100);
  }

  void foldersPaneWidthRule() {
    QCOMPARE(FoldersPaneWidth(200, 1024), 200);
    QCOMPARE(FoldersPaneWidth(2000, 1024), 1024 - 150);
    QCOMPARE(FoldersPaneWidth(1, 1024), 50);
    QCOMPARE(FoldersPaneWidth(300, 120), 50);  // a tiny window: the pane's minimum wins
    QCOMPARE(FoldersPaneWidth(INT_MAX, 1024), 1024 - 150);
    QCOMPARE(FoldersPaneWidth(INT_MIN, 1024), 50);
  }

  void closedFoldersPaneKeepsItsWidth() {
    Profile().SetInt("LayoutMain", "SplitterPos", 260);
    auto frame = StartFrame();
    QVERIFY(frame);
    frame->Action(kCmdFoldersPane)->trigger();  // close the pane
    Restart(frame);
    QCOMPARE(Profile().GetInt("LayoutMain", "ShowFoldersPane", -1), 0);
    QCOMPARE(Profile().GetInt("LayoutMain", "SplitterPos", -1), 260);
    frame = StartFrame();
    QVERIFY(frame);
    QVERIFY(!frame->findChild<QWidget*>("FoldersPane")->isVisibleTo(frame.get()));
    frame->Action(kCmdFoldersPane)->trigger();
    QVERIFY(frame->findChild<QWidget*>("FoldersPane")->isVisibleTo(frame.get()));
  }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
