// The browse view's one-time hints and its "folder filled" sound: the start hints, the hint a
// finished fill chooses from what it found, the indexing hint, each shown once and remembered in
// the saved profile; the sound only after fills a person asked for. The fills run on a fake
// machine whose C: is the NTFS fixture.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>
#include <memory>

#include "app/resource_library.h"
#include "app/session.h"
#include "disk/drive_enum.h"
#include "disk/drive_table.h"
#include "foundation/profile.h"
#include "foundation/res_strings.h"
#include "index/index_cache.h"
#include "tests/ui/fake_machine.h"
#include "tests/util/fixtures.h"
#include "ui/browse_hints.h"
#include "ui/commands.h"
#include "ui/custom_list_view.h"
#include "ui/drive_tree_model.h"
#include "ui/file_list_model.h"
#include "ui/folder_fill.h"
#include "ui/hint_balloon.h"
#include "ui/main_frame.h"
#include "ui/resources.h"
#include "ui/sound_player.h"

using namespace sorvani;
using namespace sorvani::ui;

Q_DECLARE_METATYPE(sorvani::ui::FillHint)

namespace {

QRect GlobalRect(const QWidget* widget, const QRect& local) {
  return QRect(widget->mapToGlobal(local.topLeft()), local.size());
}

}  // namespace

class TestHints : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;
  QString m_profilePath;
  std::unique_ptr<test::CFakeMachine> m_machine;
  CSession* m_session = nullptr;
  CRecordingSoundPlayer m_sounds;

  std::unique_ptr<CMainFrame> StartFrame(CSession* session) {
    CMainFrame::Options options;
    options.session = session;
    auto frame = std::make_unique<CMainFrame>(options);
    frame->resize(1000, 640);
    frame->show();
    if (!QTest::qWaitForWindowExposed(frame.get())) return nullptr;
    return frame;
  }

  // The value the profile file on disk holds: what a hint stores must survive a crash.
  int SavedHintKey(const char* key) {
    CXMLProfile reread;
    reread.SetPath(m_profilePath.toStdString());
    if (!reread.Load()) return -1;
    return reread.GetInt("Wizard", key, 1);
  }

  static CHintBalloon* VisibleBalloon(CMainFrame& frame) {
    CHintBalloon* balloon = frame.findChild<CHintBalloon*>();
    return balloon && balloon->isVisible() ? balloon : nullptr;
  }

  static int FolderFilledSounds(const CRecordingSoundPlayer& player) {
    return static_cast<int>(
        std::count(player.Played().begin(), player.Played().end(), kSoundFolderFilled));
  }

  // Selects C: in the tree (indexing it) and waits for its root to be listed.
  static bool SelectDriveC(CMainFrame& frame) {
    auto* tree = frame.findChild<QTreeView*>("FolderTree");
    auto* drives = qobject_cast<CDriveTreeModel*>(tree->model());
    auto* fill = frame.findChild<CFolderFill*>();
    QSignalSpy finished(fill, &CFolderFill::fillFinished);
    tree->setCurrentIndex(drives->DriveIndex('C'));
    return finished.wait(60000) || finished.count() == 1;
  }

  // Opens the list's folder `name` as a double click does and waits for its fill.
  static bool OpenListFolder(CMainFrame& frame, const QString& name) {
    auto* list = frame.findChild<CCustomListView*>("FileList");
    for (int row = 0; row < list->model()->rowCount(); ++row) {
      const QModelIndex at = list->model()->index(row, 0);
      if (at.data().toString() != name) continue;
      QSignalSpy finished(frame.findChild<CFolderFill*>(), &CFolderFill::fillFinished);
      emit list->activated(at);
      return finished.wait(30000);
    }
    return false;
  }

  void ResetProfile() {
    QFile::remove(m_profilePath);
    Profile().SetPath(m_profilePath.toStdString());
    QVERIFY(Profile().Load());
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    m_profilePath = m_dir.filePath("Profile.xml");
    std::string error;
    QVERIFY2(ResourceLibrary().Load(SORVANI_UI_BIN_DIR "/libsvres.so", error), error.c_str());
    SetCacheFolder(test::ScratchFolder("UiHintsCache"));
    m_machine = std::make_unique<test::CFakeMachine>("UiHintsMachine");
    QVERIFY(m_machine->Ok());
    m_session = &m_machine->Session();
    SetSoundPlayer(&m_sounds);
  }

  void cleanupTestCase() {
    SetSoundPlayer(nullptr);
    m_machine.reset();
  }

  void init() { ResetProfile(); }

  void startHintsComeOnceEach() {
    CSession empty;
    Profile().SetInt("Wizard", "ShowOnStartUp", 0);
    {
      auto frame = StartFrame(&empty);
      QVERIFY(frame);
      QTRY_VERIFY(VisibleBalloon(*frame));
      QCOMPARE(VisibleBalloon(*frame)->Title(), ResString(kIdsTipLaunchWizardTitle));
      QCOMPARE(VisibleBalloon(*frame)->Text(), ResString(kIdsTipLaunchWizardText));
      QCOMPARE(VisibleBalloon(*frame)->HelpTopic(), QStringLiteral("Wizard"));
      QCOMPARE(SavedHintKey("TipLaunchWizard"), 0);
      QCOMPARE(SavedHintKey("TipCustomizeView"), 1);
    }
    {
      auto frame = StartFrame(&empty);
      QVERIFY(frame);
      QTRY_VERIFY(VisibleBalloon(*frame));
      QCOMPARE(VisibleBalloon(*frame)->Title(), ResString(kIdsTipCustomizeViewTitle));
      QCOMPARE(VisibleBalloon(*frame)->HelpTopic(), QStringLiteral("ViewingDeletedData"));
      // Pointed at the list's header.
      QHeaderView* header = frame->findChild<QTreeView*>("FileList")->header();
      QVERIFY(GlobalRect(header, header->rect()).contains(VisibleBalloon(*frame)->TipPoint()));
      QCOMPARE(SavedHintKey("TipCustomizeView"), 0);
    }
    {
      auto frame = StartFrame(&empty);
      QVERIFY(frame);
      QTest::qWait(200);
      QVERIFY(!VisibleBalloon(*frame));
    }
    // A start that runs the wizard shows no hint and uses none up.
    ResetProfile();
    auto frame = StartFrame(&empty);
    QVERIFY(frame);
    QTest::qWait(200);
    QVERIFY(!VisibleBalloon(*frame));
    QCOMPARE(SavedHintKey("TipLaunchWizard"), 1);
  }

  void fillHintChoice_data() {
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<bool>("deletedOnly");
    QTest::addColumn<FillHint>("expected");
    QTest::newRow("nothing deleted") << 0u << false << FillHint::kShowDeletedItemsOnly;
    QTest::newRow("nothing deleted, deleted-only on") << 0u << true << FillHint::kNone;
    QTest::newRow("deleted") << unsigned(kFillHasDeleted) << false << FillHint::kDeletedFiles;
    QTest::newRow("deleted, deleted-only on")
        << unsigned(kFillHasDeleted) << true << FillHint::kDeletedFiles;
    QTest::newRow("overwritten") << unsigned(kFillHasDeleted | kFillHasOverwritten) << false
                                 << FillHint::kOverwrittenFiles;
    QTest::newRow("overwritten, deleted-only on")
        << unsigned(kFillHasDeleted | kFillHasOverwritten) << true << FillHint::kOverwrittenFiles;
    // Overwritten implies deleted; a lone bit still means an overwritten entry was seen.
    QTest::newRow("overwritten bit alone")
        << unsigned(kFillHasOverwritten) << false << FillHint::kOverwrittenFiles;
  }
  void fillHintChoice() {
    QFETCH(unsigned, flags);
    QFETCH(bool, deletedOnly);
    QFETCH(FillHint, expected);
    QCOMPARE(ChooseFillHint(flags, deletedOnly), expected);
  }

  void fillHintTexts() {
    QVERIFY(!FillHintText(FillHint::kNone));
    struct Row {
      FillHint hint;
      const char* key;
      unsigned title, text;
      const char* topic;
    };
    const Row rows[] = {
        {FillHint::kShowDeletedItemsOnly, "TipShowDeletedItemsOnly", 116, 117,
         "ShowDeletedItemsOnly"},
        {FillHint::kDeletedFiles, "TipDeletedFiles", 119, 118, "DeletedFiles"},
        {FillHint::kOverwrittenFiles, "TipOverwrittenFiles", 119, 120, "OverwrittenDeletedFiles"},
    };
    for (const Row& row : rows) {
      const std::optional<HintText> text = FillHintText(row.hint);
      QVERIFY(text);
      QCOMPARE(QString(text->key), QString(row.key));
      QCOMPARE(text->titleId, row.title);
      QCOMPARE(text->textId, row.text);
      QCOMPARE(QString(text->topic), QString(row.topic));
      // Worded texts, not the library's placeholder.
      for (unsigned id : {text->titleId, text->textId}) {
        QVERIFY(!ResString(id).isEmpty());
        QVERIFY(ResString(id) != QString::fromLatin1(kResourceNotAvailable));
      }
    }
  }

  void indexHintChoice() {
    QVERIFY(!ChooseIndexHint({}));
    std::optional<IndexHint> one = ChooseIndexHint({'C'});
    QVERIFY(one);
    QCOMPARE(one->letter, 'C');
    QCOMPARE(one->text.titleId, 114u);
    QCOMPARE(one->text.textId, 123u);
    QCOMPARE(QString(one->text.key), QStringLiteral("TipIndex"));
    QCOMPARE(QString(one->text.topic), QStringLiteral("IndexingHardDrive"));
    std::optional<IndexHint> two = ChooseIndexHint({'F', 'D'});
    QVERIFY(two);
    QCOMPARE(two->letter, 'D');  // the first of the set, not the first inserted
    QCOMPARE(two->text.titleId, 115u);
    QCOMPARE(ChooseIndexHint({'C', 'D', 'E'})->text.titleId, 115u);
    for (unsigned id : {100u, 114u, 115u, 123u})
      QVERIFY(ResString(id) != QString::fromLatin1(kResourceNotAvailable));
  }

  void fillSoundOnlyForAPersonsFills() {
    QVERIFY(PlaysFillSound(FillTrigger::kPerson));
    QVERIFY(!PlaysFillSound(FillTrigger::kProgram));
  }

  void fillHintsOnTheFakeMachine() {
    // The drive's root and Docs hold deleted items; keep those hints for the folder below.
    Profile().SetInt("Wizard", "TipDeletedFiles", 0);
    Profile().SetInt("Wizard", "TipOverwrittenFiles", 0);
    auto frame = StartFrame(m_session);
    QVERIFY(frame);
    auto* fill = frame->findChild<CFolderFill*>();
    QVERIFY(SelectDriveC(*frame));
    QVERIFY(fill->Result().flags & kFillHasDeleted);
    QVERIFY(!VisibleBalloon(*frame));
    QVERIFY(OpenListFolder(*frame, "Docs"));
    QVERIFY(fill->Result().flags & kFillHasDeleted);
    QVERIFY(!VisibleBalloon(*frame));

    // Reports holds only the live folder 2023: the deleted-only button is pointed out.
    QVERIFY(OpenListFolder(*frame, "Reports"));
    QCOMPARE(fill->Result().flags, 0u);
    CHintBalloon* balloon = VisibleBalloon(*frame);
    QVERIFY(balloon);
    QCOMPARE(balloon->Title(), ResString(kIdsTipShowDeletedOnlyTitle));
    QCOMPARE(balloon->Text(), ResString(kIdsTipShowDeletedOnlyText));
    QCOMPARE(balloon->HelpTopic(), QStringLiteral("ShowDeletedItemsOnly"));
    auto* toolBar = frame->findChild<QToolBar*>("MainToolBar");
    QWidget* button = toolBar->widgetForAction(frame->Action(kCmdShowDeletedOnly));
    QVERIFY(GlobalRect(button, button->rect()).contains(balloon->TipPoint()));
    QCOMPARE(SavedHintKey("TipShowDeletedItemsOnly"), 0);
    balloon->HideBalloon();

    // 2023 holds deleted files: the hint points at the first of them.
    Profile().SetInt("Wizard", "TipDeletedFiles", 1);
    Profile().SetInt("Wizard", "TipOverwrittenFiles", 1);
    QVERIFY(OpenListFolder(*frame, "2023"));
    const unsigned flags = fill->Result().flags;
    QVERIFY(flags & kFillHasDeleted);
    const FillHint expected = ChooseFillHint(flags, false);
    const std::optional<HintText> text = FillHintText(expected);
    QVERIFY(text);
    balloon = VisibleBalloon(*frame);
    QVERIFY(balloon);
    QCOMPARE(balloon->Title(), ResString(kIdsTipDeletedFilesTitle));
    QCOMPARE(balloon->Text(), ResString(text->textId));
    QCOMPARE(balloon->HelpTopic(), QString::fromLatin1(text->topic));
    auto* list = frame->findChild<CCustomListView*>("FileList");
    auto* model = qobject_cast<CFileListModel*>(list->model());
    int firstDeleted = -1;
    for (int row = 0; row < model->rowCount() && firstDeleted < 0; ++row)
      if (model->Entry(row).deleted) firstDeleted = row;
    QVERIFY(firstDeleted >= 0);
    const QRect cell = list->visualRect(model->index(firstDeleted, 0));
    QVERIFY(GlobalRect(list->viewport(), cell).contains(balloon->TipPoint()));
    QCOMPARE(SavedHintKey(text->key), 0);
    // The other fill hint of deleted items was not used up.
    QCOMPARE(SavedHintKey(expected == FillHint::kDeletedFiles ? "TipOverwrittenFiles"
                                                              : "TipDeletedFiles"),
             1);
    balloon->HideBalloon();

    // Back in Reports, the hint it had is not shown again.
    frame->Action(kCmdBack)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(model->FolderPath().endsWith(QStringLiteral("Reports\\")), true,
                              30000);
    QTRY_VERIFY_WITH_TIMEOUT(!fill->Filling(), 30000);
    QTest::qWait(50);
    QVERIFY(!VisibleBalloon(*frame));

    // With another view in front nobody would see the balloon: the hint waits for a later fill.
    Profile().SetInt("Wizard", "TipShowDeletedItemsOnly", 1);
    frame->Tabs()->setCurrentIndex(1);
    QSignalSpy finished(fill, &CFolderFill::fillFinished);
    frame->RefreshFolder();
    QVERIFY(finished.wait(30000));
    QVERIFY(!VisibleBalloon(*frame));
    QCOMPARE(Profile().GetInt("Wizard", "TipShowDeletedItemsOnly", -1), 1);
    frame->Tabs()->setCurrentIndex(0);
    frame->RefreshFolder();
    QVERIFY(finished.wait(30000));
    QVERIFY(VisibleBalloon(*frame));
    QCOMPARE(VisibleBalloon(*frame)->Title(), ResString(kIdsTipShowDeletedOnlyTitle));
  }

  void fillSoundOnTheFakeMachine() {
    auto frame = StartFrame(m_session);
    QVERIFY(frame);
    auto* fill = frame->findChild<CFolderFill*>();
    const int before = FolderFilledSounds(m_sounds);
    QVERIFY(SelectDriveC(*frame));
    QCOMPARE(FolderFilledSounds(m_sounds), before + 1);
    QVERIFY(OpenListFolder(*frame, "Docs"));
    QCOMPARE(FolderFilledSounds(m_sounds), before + 2);

    // The program's own refill of the same folder is silent.
    QSignalSpy finished(fill, &CFolderFill::fillFinished);
    frame->RefreshFolder();
    QVERIFY(finished.wait(30000));
    QCOMPARE(fill->Result().outcome, std::uint8_t(kListingDone));
    QCOMPARE(FolderFilledSounds(m_sounds), before + 2);

    // Turning deleted-only on is a person's command: its refill sounds.
    frame->Action(kCmdShowDeletedOnly)->trigger();
    QVERIFY(finished.wait(30000));
    QCOMPARE(FolderFilledSounds(m_sounds), before + 3);
    frame->Action(kCmdShowDeletedOnly)->trigger();
    QVERIFY(finished.wait(30000));
    QCOMPARE(FolderFilledSounds(m_sounds), before + 4);
    // So do opening folders and going back. (Turning deleted-only off may list the drive's root
    // again rather than Docs.)
    auto* model =
        qobject_cast<CFileListModel*>(frame->findChild<CCustomListView*>("FileList")->model());
    const bool atRoot = model->FolderPath() == QStringLiteral("C:\\");
    if (atRoot) QVERIFY(OpenListFolder(*frame, "Docs"));
    QVERIFY(OpenListFolder(*frame, "Reports"));
    const int afterReports = FolderFilledSounds(m_sounds);
    QCOMPARE(afterReports, before + (atRoot ? 6 : 5));
    frame->Action(kCmdBack)->trigger();
    QVERIFY(finished.wait(30000));
    QCOMPARE(FolderFilledSounds(m_sounds), afterReports + 1);
    QCOMPARE(model->FolderPath(), QStringLiteral("C:\\Docs\\"));
    // Only the folder-filled sound was asked for.
    for (unsigned id : m_sounds.Played()) QCOMPARE(id, unsigned(kSoundFolderFilled));
  }

  void indexHintAtTheFirstNtfsDrive() {
    {
      // No NTFS drive: nothing to point at, and the hint stays for later.
      CSession empty;
      auto frame = StartFrame(&empty);
      QVERIFY(frame);
      QVERIFY(!frame->ShowIndexHint());
      QVERIFY(!VisibleBalloon(*frame));
      QCOMPARE(SavedHintKey("TipIndex"), 1);
    }
    auto frame = StartFrame(m_session);
    QVERIFY(frame);
    QVERIFY(frame->ShowIndexHint());
    CHintBalloon* balloon = VisibleBalloon(*frame);
    QVERIFY(balloon);
    QCOMPARE(balloon->Title(), ResString(kIdsTipIndexTitleOne));
    QCOMPARE(balloon->Text(), ResString(kIdsTipIndexText));
    QCOMPARE(balloon->HelpTopic(), QStringLiteral("IndexingHardDrive"));
    auto* tree = frame->findChild<QTreeView*>("FolderTree");
    auto* drives = qobject_cast<CDriveTreeModel*>(tree->model());
    const QRect node = tree->visualRect(drives->DriveIndex('C'));
    QVERIFY(GlobalRect(tree->viewport(), node).contains(balloon->TipPoint()));
    QCOMPARE(SavedHintKey("TipIndex"), 0);
    balloon->HideBalloon();
    QVERIFY(!frame->ShowIndexHint());
    QVERIFY(!VisibleBalloon(*frame));

    // A second NTFS drive (an opened image) makes the title speak of several.
    QVERIFY(frame->OpenImage(QString::fromStdString(test::Fixture("ntfs-512.img"))));
    QTRY_VERIFY_WITH_TIMEOUT(drives->NtfsLetters().size() == 2, 30000);
    Profile().SetInt("Wizard", "TipIndex", 1);
    QVERIFY(frame->ShowIndexHint());
    balloon = VisibleBalloon(*frame);
    QVERIFY(balloon);
    QCOMPARE(balloon->Title(), ResString(kIdsTipIndexTitleMany));
    QVERIFY(GlobalRect(tree->viewport(), tree->visualRect(drives->DriveIndex('C')))
                .contains(balloon->TipPoint()));
  }
};

QTEST_MAIN(TestHints)
#include "tst_hints.moc"
