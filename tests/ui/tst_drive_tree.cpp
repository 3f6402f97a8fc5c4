// The drive tree, the drive selection rules and the drive properties on a fake machine: one
// disk "ATA TestDisk" holding the NTFS and FAT32 fixtures, an empty optical drive and an NFS
// share, read through the same enumeration the program uses.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTreeView>
#include <QtTest>

#include "app/indexing_job.h"
#include "app/resource_library.h"
#include "app/session.h"
#include "disk/drive_enum.h"
#include "foundation/display_format.h"
#include "index/index_cache.h"
#include "tests/ui/fake_machine.h"
#include "tests/util/fixtures.h"
#include "ui/drive_prop_dlg.h"
#include "ui/drive_selection.h"
#include "ui/drive_tree_model.h"
#include "ui/resources.h"
#include "ui/volume_facts_cache.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

// Every text of the subtree under `parent`, depth first.
void CollectTexts(const QAbstractItemModel& model, const QModelIndex& parent, QStringList& out) {
  for (int row = 0; row < model.rowCount(parent); ++row) {
    QModelIndex at = model.index(row, 0, parent);
    out << at.data().toString();
    CollectTexts(model, at, out);
  }
}

}  // namespace

class TestDriveTree : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void treeOfTheMachine();
  void toolTipsComeFromTheFactsWorker();
  void foldersHangUnderTheirDrive();
  void openedImagesGoUnderDiskImages();
  void selectionRules();
  void selectingRunsTheBoxOrTheIndexing();
  void drivePropertiesOfTheOpticalAndNtfsDrives();
  void pureRules();

 private:
  std::unique_ptr<test::CFakeMachine> m_machine;
  CSession* m_session = nullptr;
  std::string m_ntfs, m_fat;
};

void TestDriveTree::initTestCase() {
  std::string error;
  QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
  SetCacheFolder(test::ScratchFolder("UiDriveTreeCache"));
  SetCacheSavingAllowed(false);
  m_machine = std::make_unique<test::CFakeMachine>("UiDriveTreeMachine", true);
  QVERIFY(m_machine->Ok());
  m_session = &m_machine->Session();
  m_ntfs = m_machine->NtfsImage();
  m_fat = m_machine->FatImage();
  // The machine as the tests below expect it.
  QCOMPARE(LogicalDiskMap['C'].fsName, std::string("NTFS"));
  QCOMPARE(LogicalDiskMap['D'].fsName, std::string("FAT32"));
  QCOMPARE(LogicalDiskMap['E'].type, std::uint32_t(kDriveCdRom));
  QCOMPARE(LogicalDiskMap['Z'].type, std::uint32_t(kDriveNetwork));
}

void TestDriveTree::cleanupTestCase() { m_machine.reset(); }

void TestDriveTree::treeOfTheMachine() {
  CDriveTreeModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  model.Rebuild(m_session->Tables());

  QCOMPARE(model.rowCount(), 2);  // the disk and the optical drive's own disk; no images yet
  const QModelIndex disk = model.index(0, 0);
  QCOMPARE(disk.data().toString(), QStringLiteral("ATA TestDisk"));
  QCOMPARE(model.Kind(disk), DriveNodeKind::kDisk);
  QCOMPARE(model.rowCount(disk), 2);
  QCOMPARE(model.index(0, 0, disk).data().toString(), QStringLiteral("SORVANI4K (C:)"));
  QCOMPARE(model.index(1, 0, disk).data().toString(), QStringLiteral("SORVANIF32 (D:)"));
  const QModelIndex optical = model.index(1, 0);
  QCOMPARE(optical.data().toString(), QStringLiteral("HL-DT-ST DVD-RAM GH22NS50"));
  QCOMPARE(model.rowCount(optical), 1);
  QCOMPARE(model.index(0, 0, optical).data().toString(), QStringLiteral("CD-ROM Disc (E:)"));

  // The share has no node anywhere.
  QStringList texts;
  CollectTexts(model, {}, texts);
  for (const QString& text : texts) QVERIFY2(!text.contains("(Z:)"), qPrintable(text));
  QVERIFY(!model.DriveIndex('Z').isValid());

  // Per-letter lookup and the placeholder a folder tree replaces.
  const QModelIndex c = model.DriveIndex('C');
  QCOMPARE(c, model.index(0, 0, disk));
  QCOMPARE(model.Letter(c), 'C');
  QCOMPARE(model.DriveType(c), std::uint32_t(kDriveFixed));
  QCOMPARE(c.data(CDriveTreeModel::kLetterRole).toChar(), QChar('C'));
  QVERIFY(model.hasChildren(c));
  const QModelIndex placeholder = model.PlaceholderIndex('C');
  QVERIFY(placeholder.isValid());
  QCOMPARE(placeholder.parent(), c);
  QCOMPARE(model.Kind(placeholder), DriveNodeKind::kPlaceholder);
  QVERIFY(!(model.flags(placeholder) & Qt::ItemIsSelectable));
  QCOMPARE(model.NtfsLetters(), (std::set<char>{'C'}));

  // Icons by type, from the layout the model shows.
  DriveTreeLayout layout = LayOutDriveTree(m_session->Tables());
  QCOMPARE(layout.top[0].icon, kIconDisk);
  QCOMPARE(layout.top[0].children[0].icon, kIconFixedDrive);
  QCOMPARE(layout.top[1].children[0].icon, kIconOptical);
  QVERIFY(!c.data(Qt::DecorationRole).value<QIcon>().isNull());

  // The groups open in a view.
  QTreeView view;
  view.setModel(&model);
  model.ExpandGroups(&view);
  QVERIFY(view.isExpanded(disk));
  QVERIFY(view.isExpanded(optical));
  QVERIFY(!view.isExpanded(c));
}

void TestDriveTree::toolTipsComeFromTheFactsWorker() {
  CVolumeFactsCache facts;
  CDriveTreeModel model(&facts);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  model.Rebuild(m_session->Tables());
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

  const QModelIndex c = model.DriveIndex('C');
  const QModelIndex e = model.DriveIndex('E');
  // Not read yet: no text now, the read goes to the worker.
  QVERIFY(c.data(Qt::ToolTipRole).isNull());
  QVERIFY(e.data(Qt::ToolTipRole).isNull());
  QVERIFY(facts.WaitForReads(20000));
  QVERIFY(changed.count() >= 2);

  VolumeInformation info;
  QVERIFY(GetVolumeInformation('C', info));
  QVERIFY(info.capacityKnown && info.freeKnown);
  QCOMPARE(info.capacity, std::uint64_t(12287) * 4096);  // the fixture's cluster count
  QCOMPARE(c.data(Qt::ToolTipRole).toString(),
           QStringLiteral("Name: SORVANI4K (C:)\nType: Fixed Disk\nFile system: NTFS\nSize: ") +
               QString::fromStdString(FormatSize(info.capacity, false)) +
               QStringLiteral("\nFree: ") + QString::fromStdString(FormatSize(info.free, false)));
  QCOMPARE(e.data(Qt::ToolTipRole).toString(),
           QStringLiteral("Name: CD-ROM Disc (E:)\nType: CD-ROM Drive\nFile system: \nSize: "
                          "\nFree: "));
  // Groups and placeholders have none, and ask for nothing.
  QVERIFY(model.index(0, 0).data(Qt::ToolTipRole).isNull());
  QVERIFY(model.PlaceholderIndex('C').data(Qt::ToolTipRole).isNull());
}

void TestDriveTree::foldersHangUnderTheirDrive() {
  CDriveTreeModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  model.Rebuild(m_session->Tables());
  QTreeView view;
  view.setModel(&model);
  model.ExpandGroups(&view);

  // A stand-in for the folder tree of C: Docs/Reports/2023 and OldProject.
  auto folders = std::make_unique<QStandardItemModel>();
  auto* docs = new QStandardItem(QStringLiteral("Docs"));
  auto* reports = new QStandardItem(QStringLiteral("Reports"));
  reports->appendRow(new QStandardItem(QStringLiteral("2023")));
  docs->appendRow(reports);
  folders->appendRow(docs);
  folders->appendRow(new QStandardItem(QStringLiteral("OldProject")));

  const QModelIndex c = model.DriveIndex('C');
  QCOMPARE(model.rowCount(c), 1);
  model.AttachFolders('C', folders.get());
  QCOMPARE(model.AttachedFolders('C'), folders.get());
  QCOMPARE(model.rowCount(c), 2);
  QVERIFY(!model.PlaceholderIndex('C').isValid());
  const QModelIndex docsAt = model.index(0, 0, c);
  QCOMPARE(docsAt.data().toString(), QStringLiteral("Docs"));
  QCOMPARE(model.Kind(docsAt), DriveNodeKind::kFolder);
  QCOMPARE(model.DriveOf(docsAt), 'C');
  QCOMPARE(model.Letter(docsAt), '\0');
  const QModelIndex yearAt = model.index(0, 0, model.index(0, 0, docsAt));
  QCOMPARE(yearAt.data().toString(), QStringLiteral("2023"));
  QCOMPARE(yearAt.parent().parent(), docsAt);
  QCOMPARE(docsAt.parent(), c);
  QCOMPARE(model.MapToFolders(yearAt), reports->child(0)->index());
  QCOMPARE(model.MapFromFolders('C', reports->child(0)->index()), yearAt);
  QCOMPARE(model.MapFromFolders('C', QModelIndex()), c);
  QVERIFY(!model.MapToFolders(c).isValid());
  QCOMPARE(model.DriveOf(model.DriveIndex('D')), 'D');
  // The other drives keep their placeholder; the view opens folders deep down.
  QVERIFY(model.PlaceholderIndex('D').isValid());
  view.expand(c);
  view.expand(docsAt);
  view.expand(yearAt.parent());
  QVERIFY(view.isExpanded(yearAt.parent()));
  view.setCurrentIndex(yearAt);

  // Changes of the folder model reach the tree: a folder added deep down...
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  reports->appendRow(new QStandardItem(QStringLiteral("2024")));
  QCOMPARE(inserted.count(), 1);
  QCOMPARE(inserted.at(0).at(0).value<QModelIndex>(), yearAt.parent());
  QCOMPARE(model.rowCount(yearAt.parent()), 2);
  // ...a text changed...
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  folders->item(1)->setText(QStringLiteral("OldProject (deleted)"));
  QCOMPARE(changed.count(), 1);
  QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.index(1, 0, c));
  QCOMPARE(model.index(1, 0, c).data().toString(), QStringLiteral("OldProject (deleted)"));
  // ...a sort keeps what the view holds on the same folders...
  QPersistentModelIndex held(model.index(1, 0, c));
  folders->sort(0, Qt::AscendingOrder);  // "Docs" < "OldProject..." already: no move
  folders->sort(0, Qt::DescendingOrder);
  QVERIFY(held.isValid());
  QCOMPARE(held.row(), 0);
  QCOMPARE(held.data().toString(), QStringLiteral("OldProject (deleted)"));
  QCOMPARE(QModelIndex(held).parent(), c);
  // ...a folder removed takes what is below it along...
  QPersistentModelIndex year(model.MapFromFolders('C', reports->child(0)->index()));
  QVERIFY(year.isValid());
  folders->removeRow(docs->row());
  QVERIFY(!year.isValid());
  QCOMPARE(model.rowCount(c), 1);
  // ...and a reset empties the drive's rows without touching the rest of the tree.
  const QModelIndex disk = model.index(0, 0);
  folders->clear();
  QCOMPARE(model.rowCount(c), 0);
  QVERIFY(view.isExpanded(disk));
  folders->appendRow(new QStandardItem(QStringLiteral("Fresh")));
  QCOMPARE(model.rowCount(c), 1);
  QCOMPARE(model.index(0, 0, c).data().toString(), QStringLiteral("Fresh"));

  // A rebuild keeps the folders under their drive; detaching brings the placeholder back.
  model.Rebuild(m_session->Tables());
  QCOMPARE(model.rowCount(model.DriveIndex('C')), 1);
  QCOMPARE(model.index(0, 0, model.DriveIndex('C')).data().toString(), QStringLiteral("Fresh"));
  model.DetachFolders('C');
  QVERIFY(model.PlaceholderIndex('C').isValid());
  QCOMPARE(model.rowCount(model.DriveIndex('C')), 1);
  QCOMPARE(model.AttachedFolders('C'), nullptr);
  folders->appendRow(new QStandardItem(QStringLiteral("Ignored")));
  QCOMPARE(model.rowCount(model.DriveIndex('C')), 1);

  // A folder model that goes away leaves the drive with its placeholder.
  model.AttachFolders('D', folders.get());
  QCOMPARE(model.rowCount(model.DriveIndex('D')), 2);
  folders.reset();
  QCOMPARE(model.AttachedFolders('D'), nullptr);
  QVERIFY(model.PlaceholderIndex('D').isValid());
}

void TestDriveTree::openedImagesGoUnderDiskImages() {
  CVolumeFactsCache facts;
  CDriveTreeModel model(&facts);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
  model.Rebuild(m_session->Tables());
  const int before = model.rowCount();
  facts.Request('C');  // a read may be in flight while the tables change

  std::string error;
  std::vector<char> letters = model.OpenImage(*m_session, test::Fixture("ntfs-512.img"), error);
  QCOMPARE(letters.size(), std::size_t(1));
  const char f = letters[0];
  QCOMPARE(f, 'F');  // the next letter after the machine's drives
  QCOMPARE(model.rowCount(), before + 1);
  const QModelIndex images = model.index(model.rowCount() - 1, 0);
  QCOMPARE(images.data().toString(), QStringLiteral("Disk images"));
  QCOMPARE(model.Kind(images), DriveNodeKind::kImages);
  QCOMPARE(model.DriveIndex(f).parent(), images);
  QVERIFY(model.DriveIndex(f).data().toString().endsWith(QStringLiteral(" (F:)")));
  QVERIFY(model.NtfsLetters().count(f));
  QVERIFY(model.PlaceholderIndex(f).isValid());
  // The machine's disk is untouched.
  QCOMPARE(model.DriveIndex('C').data().toString(), QStringLiteral("SORVANI4K (C:)"));

  // A second image joins the same group; a failing one changes nothing.
  letters = model.OpenImage(*m_session, m_fat, error);
  QCOMPARE(letters.size(), std::size_t(1));
  QCOMPARE(model.rowCount(), before + 1);
  QCOMPARE(model.rowCount(model.index(model.rowCount() - 1, 0)), 2);
  QCOMPARE(model.DriveIndex(letters[0]).data().toString(),
           QStringLiteral("SORVANIF32 (%1:)").arg(QChar(letters[0])));
  QVERIFY(!model.NtfsLetters().count(letters[0]));
  letters = model.OpenImage(*m_session, "/nonexistent/disk.img", error);
  QVERIFY(letters.empty());
  QVERIFY(!error.empty());
  QCOMPARE(model.rowCount(model.index(model.rowCount() - 1, 0)), 2);
  QVERIFY(facts.WaitForReads(20000));
}

void TestDriveTree::selectionRules() {
  CVolumeFactsCache facts;
  SetCacheSavingAllowed(false);

  // The FAT drive: the not-NTFS text with its file-system name, and the current drive stays.
  char current = 'C';
  DriveDecision fat = DecideDriveSelection(*m_session, facts, 'D', false);
  QCOMPARE(fat.choice, DriveChoice::kNotNtfs);
  QVERIFY(!fat.ChangesDrive());
  if (fat.ChangesDrive()) current = fat.letter;
  QCOMPARE(current, 'C');
  QCOMPARE(fat.message, ResFormat(kIdsDriveNotNtfs, std::string("FAT32")));
  QVERIFY(fat.message.contains(QStringLiteral("FAT32")));
  std::unique_ptr<QMessageBox> box(MakeDriveDecisionBox(fat, nullptr));
  QVERIFY(box);
  QCOMPARE(box->text(), fat.message);
  QCOMPARE(box->windowTitle(), ResString(kIdsCaption));
  QCOMPARE(box->icon(), QMessageBox::Information);

  // The empty optical drive cannot be read: the unreadable text with its root.
  DriveDecision optical = DecideDriveSelection(*m_session, facts, 'E', false);
  QCOMPARE(optical.choice, DriveChoice::kUnreadable);
  QCOMPARE(optical.message, ResFormat(kIdsDriveUnreadable, std::string("E:\\")));
  QVERIFY(optical.message.contains(QStringLiteral("E:\\")));
  box.reset(MakeDriveDecisionBox(optical, nullptr));
  QVERIFY(box);
  QCOMPARE(box->icon(), QMessageBox::Information);
  // A letter no table knows reads as unreadable too.
  QCOMPARE(DecideDriveSelection(*m_session, facts, 'Q', false).choice, DriveChoice::kUnreadable);

  // The NTFS drive needs its index, then no more unless a re-index is asked.
  DriveDecision c = DecideDriveSelection(*m_session, facts, 'C', false);
  QCOMPARE(c.choice, DriveChoice::kIndex);
  QVERIFY(c.message.isEmpty());
  QVERIFY(!MakeDriveDecisionBox(c, nullptr));
  CIndexingJob* job = m_session->StartIndexing('C', true);
  QVERIFY(job);
  job->Wait();
  QCOMPARE(job->Snapshot().outcome, std::uint8_t(kEnumScanned));
  QCOMPARE(DecideDriveSelection(*m_session, facts, 'C', false).choice, DriveChoice::kOpen);
  DriveDecision again = DecideDriveSelection(*m_session, facts, 'C', true);
  QCOMPARE(again.choice, DriveChoice::kIndex);
  QVERIFY(again.reindex);

  // A catalogue of C: made when C: stood for other bytes does not describe it now.
  PublishedCatalogue catalogue = m_session->Catalogue();
  DriveSource other = *m_session->Drives().Find('C');
  QVERIFY(CatalogueDescribes(catalogue, 'C', &other));
  other.offset = 4096;
  QVERIFY(!CatalogueDescribes(catalogue, 'C', &other));
  QVERIFY(!CatalogueDescribes(catalogue, 'D', nullptr));
  DriveFacts ntfs = facts.ReadNow('C');
  QCOMPARE(DecideDriveSelection('C', ntfs, catalogue, &other, false).choice, DriveChoice::kIndex);
  // "NTFS" exactly: another spelling is another file system here.
  ntfs.info.fsName = "ntfs";
  QCOMPARE(DecideDriveSelection('C', ntfs, catalogue, nullptr, false).choice,
           DriveChoice::kNotNtfs);
}

void TestDriveTree::selectingRunsTheBoxOrTheIndexing() {
  CVolumeFactsCache facts;
  QWidget owner;
  // Answers the next modal box, recording its text.
  QString boxText;
  auto answerBox = [&] {
    QTimer::singleShot(0, &owner, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxText = box->text();
        box->accept();
      }
    });
  };

  answerBox();
  DriveSelection fat = SelectDrive(*m_session, facts, 'D', false, &owner);
  QCOMPARE(boxText, ResFormat(kIdsDriveNotNtfs, std::string("FAT32")));
  QVERIFY(!fat.current);
  QCOMPARE(fat.outcome, std::uint8_t(0));

  // C: indexed through the dialog (forced, whatever an earlier test left), then opened as is.
  boxText.clear();
  DriveSelection c = SelectDrive(*m_session, facts, 'C', true, &owner);
  QVERIFY(boxText.isEmpty());
  QCOMPARE(c.decision.choice, DriveChoice::kIndex);
  QCOMPARE(c.outcome, std::uint8_t(kEnumScanned));
  QVERIFY(c.current && c.indexed);
  c = SelectDrive(*m_session, facts, 'C', false, &owner);
  QCOMPARE(c.decision.choice, DriveChoice::kOpen);
  QCOMPARE(c.outcome, std::uint8_t(0));
  QVERIFY(c.current && c.indexed);

  answerBox();
  DriveSelection optical = SelectDrive(*m_session, facts, 'E', false, &owner);
  QCOMPARE(boxText, ResFormat(kIdsDriveUnreadable, std::string("E:\\")));
  QVERIFY(!optical.current);
  // The catalogue of C: is untouched by the refused drives.
  QCOMPARE(m_session->Catalogue().drive, 'C');
}

void TestDriveTree::drivePropertiesOfTheOpticalAndNtfsDrives() {
  CVolumeFactsCache facts;
  {
    CDrivePropDlg dialog('E', LogicalDiskMap['E'].type, facts.ReadNow('E'));
    QCOMPARE(dialog.Field("Root")->text(), QStringLiteral("E:\\"));
    QCOMPARE(dialog.Field("Type")->text(), QStringLiteral("CD-ROM Drive"));
    QCOMPARE(dialog.Field("Label")->text(), QString());
    QCOMPARE(dialog.Field("FileSystem")->text(), QString());
    QCOMPARE(dialog.Field("Capacity")->text(), QString());
    QCOMPARE(dialog.Field("Free")->text(), QString());
    QCOMPARE(dialog.Fields().icon, kIconOptical);
  }
  {
    const DriveFacts c = facts.ReadNow('C');
    CDrivePropDlg dialog('C', LogicalDiskMap['C'].type, c);
    QCOMPARE(dialog.Field("Type")->text(), QStringLiteral("Fixed Disk"));
    QCOMPARE(dialog.Field("Label")->text(), QStringLiteral("SORVANI4K"));
    QCOMPARE(dialog.Field("FileSystem")->text(), QStringLiteral("NTFS"));
    QCOMPARE(dialog.Field("Capacity")->text(),
             QString::fromStdString(FormatSize(std::uint64_t(12287) * 4096, false)));
    QVERIFY(!dialog.Field("Free")->text().isEmpty());
    QCOMPARE(dialog.Fields().icon, kIconFixedDrive);
    QVERIFY(dialog.windowTitle().contains(QStringLiteral("C:\\")));
  }
  {
    // The FAT drive: its own label and file system.
    CDrivePropDlg dialog('D', LogicalDiskMap['D'].type, facts.ReadNow('D'));
    QCOMPARE(dialog.Field("Label")->text(), QStringLiteral("SORVANIF32"));
    QCOMPARE(dialog.Field("FileSystem")->text(), QStringLiteral("FAT32"));
  }
}

void TestDriveTree::pureRules() {
  // Properties: the free-space answer decides both sizes; a failed read empties label and FS.
  DriveFacts facts;
  facts.known = true;
  facts.info.label = "DATA";
  facts.info.fsName = "NTFS";
  facts.info.capacity = 1536;
  facts.info.capacityKnown = true;
  DrivePropFields fields = MakeDrivePropFields('C', kDriveFixed, facts);
  QCOMPARE(fields.label, QStringLiteral("DATA"));
  QCOMPARE(fields.capacity, QString());
  QCOMPARE(fields.free, QString());
  facts.info.freeKnown = true;
  facts.info.free = 0;
  fields = MakeDrivePropFields('C', kDriveFixed, facts);
  QCOMPARE(fields.capacity, QStringLiteral("2 KB"));
  QCOMPARE(fields.free, QStringLiteral("0 KB"));
  facts.known = false;
  fields = MakeDrivePropFields('C', kDriveFixed, facts);
  QCOMPARE(fields.label, QString());
  QCOMPARE(fields.fileSystem, QString());
  QCOMPARE(fields.capacity, QString());
  QCOMPARE(fields.type, QStringLiteral("Fixed Disk"));

  // Icons of the properties.
  QCOMPARE(DrivePropIcon('A', kDriveRemovable), kIconFloppy);
  QCOMPARE(DrivePropIcon('A', kDriveFixed), kIconFloppy);
  QCOMPARE(DrivePropIcon('C', kDriveUnknown), kIconFloppy);
  QCOMPARE(DrivePropIcon('B', kDriveRemovable), kIconRemovable);
  QCOMPARE(DrivePropIcon('C', kDriveFixed), kIconFixedDrive);
  QCOMPARE(DrivePropIcon('E', kDriveCdRom), kIconOptical);

  // Node texts and the NTFS set.
  LogicalDisk plain;
  plain.type = kDriveFixed;
  plain.description = "Local Fixed Disk";
  QCOMPARE(DriveNodeText('G', plain), QStringLiteral("Local disk (G:)"));
  plain.type = kDriveRemovable;
  plain.label = "STICK";
  QCOMPARE(DriveNodeText('G', plain), QStringLiteral("Local Fixed Disk (G:)"));
  LogicalDiskTable table;
  table['C'].type = kDriveFixed;
  table['C'].fsName = "ntfs";
  table['D'].type = kDriveRemovable;
  table['D'].fsName = "NTFS";
  table['E'].type = kDriveFixed;
  table['E'].fsName = "NTFS-3G";
  table['F'].type = kDriveFixed;
  table['F'].fsName = "NTFS";
  QCOMPARE(NtfsDriveLetters(table), (std::set<char>{'C', 'F'}));

  // Context commands of a drive node.
  const std::set<char> ntfs = {'C', 'F'};
  QVERIFY(DriveNodeCommandStates('C', 'F', ntfs).open);
  QVERIFY(!DriveNodeCommandStates('C', 'F', ntfs).reindex);
  QVERIFY(!DriveNodeCommandStates('C', 'C', ntfs).open);
  QVERIFY(DriveNodeCommandStates('C', 'C', ntfs).reindex);
  QVERIFY(DriveNodeCommandStates('C', 0, ntfs).open);
  QVERIFY(!DriveNodeCommandStates('D', 'C', ntfs).open);
  QVERIFY(!DriveNodeCommandStates('D', 'D', ntfs).reindex);

  // The tooltip of a drive whose facts could not be read names no file system or size.
  DriveFacts none;
  QCOMPARE(DriveToolTipText(QStringLiteral("X (G:)"), kDriveRemovable, none),
           QStringLiteral("Name: X (G:)\nType: Removable Media\nFile system: \nSize: \nFree: "));
}

QTEST_MAIN(TestDriveTree)
#include "tst_drive_tree.moc"
