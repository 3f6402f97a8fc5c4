// The shared helpers of the desktop program: the rich message box and its remembered answers,
// the hint balloon and one-time hints, frame sets, the help viewer, tooltips, the About box.
#include <unistd.h>
#include <QBuffer>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "app/remembered_answers.h"
#include "app/version.h"
#include "foundation/profile.h"
#include "ui/about_dlg.h"
#include "ui/animation_label.h"
#include "ui/box_prompt.h"
#include "ui/help_viewer.h"
#include "ui/hint_balloon.h"
#include "ui/resources.h"
#include "ui/rich_message_box.h"
#include "ui/sound_player.h"
#include "ui/tooltip_style.h"

using namespace sorvani;
using namespace sorvani::ui;

namespace {

constexpr PromptButton kAllButtons[] = {
    PromptButton::kYes,       PromptButton::kNo,       PromptButton::kOk,
    PromptButton::kCancel,    PromptButton::kAbort,    PromptButton::kRetry,
    PromptButton::kIgnore,    PromptButton::kYesToAll, PromptButton::kNoToAll,
    PromptButton::kIgnoreAll, PromptButton::kSkipAll,  PromptButton::kTryAgain,
};

PromptRequest Request(std::vector<PromptButton> buttons, std::size_t defaultButton = 0) {
  PromptRequest request;
  request.text = "The file\n/tmp/x/report.txt\nalready exists.";
  request.caption = "Sorvani Recovery";
  request.icon = PromptIcon::kQuestion;
  request.buttons = std::move(buttons);
  request.defaultButton = defaultButton;
  return request;
}

// The answer buttons of a shown box from left to right (the help button left out).
std::vector<QPushButton*> AnswerButtons(CRichMessageBox& box) {
  std::vector<QPushButton*> buttons;
  for (QPushButton* button : box.findChildren<QPushButton*>()) {
    if (button != box.HelpButton()) buttons.push_back(button);
  }
  std::sort(buttons.begin(), buttons.end(), [&](QPushButton* a, QPushButton* b) {
    return a->mapTo(&box, QPoint()).x() < b->mapTo(&box, QPoint()).x();
  });
  return buttons;
}

// Runs `act` on the box once its modal loop runs, then returns what Run gave. A failed check
// inside `act` (or an act that answers nothing) must not leave the test waiting on the box.
PromptButton RunWith(CRichMessageBox& box, std::function<void()> act) {
  QTimer::singleShot(0, &box, [&box, act = std::move(act)] {
    act();
    if (QTest::currentTestFailed() && box.isVisible()) box.done(QDialog::Rejected);
  });
  QTimer::singleShot(20000, &box, [&box] {
    if (box.isVisible()) {
      QTest::qFail("the box was never answered", __FILE__, __LINE__);
      box.done(QDialog::Rejected);
    }
  });
  return box.Run();
}

// Runs CRichMessageBox::Ask and reports whether a box came up (it is then answered with Cancel
// or, failing that, its default).
PromptButton AskAndWatch(const PromptRequest& request, const RichBoxOptions& options, bool& shown) {
  shown = false;
  QTimer watcher;
  watcher.setInterval(10);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<CRichMessageBox*>(QApplication::activeModalWidget())) {
      shown = true;
      QTest::keyClick(box, Qt::Key_Return);
    }
  });
  watcher.start();
  return CRichMessageBox::Ask(request, options);
}

QByteArray Png(QColor colour) {
  QImage image(8, 8, QImage::Format_ARGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

void AppendU32(QByteArray& blob, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) blob.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

QByteArray FrameSet(std::uint32_t delay, const std::vector<QByteArray>& frames) {
  QByteArray blob;
  AppendU32(blob, static_cast<std::uint32_t>(frames.size()));
  AppendU32(blob, delay);
  for (const QByteArray& frame : frames) {
    AppendU32(blob, static_cast<std::uint32_t>(frame.size()));
    blob.append(frame);
  }
  return blob;
}

bool Parse(const QByteArray& blob, FrameSetLayout& layout) {
  return ParseFrameSet(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(blob.constData()),
                                    static_cast<std::size_t>(blob.size())),
      layout);
}

QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
}

}  // namespace

class TestRichMessageBox : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    SetHelpFolder(QStringLiteral(SORVANI_UI_BIN_DIR "/help"));
    // The program's own answers store lives in the profile folder; keep it in a private one.
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
  }

  void eachButtonAnswersWithItsOwnValue();
  void defaultEnterAndEscape();
  void rememberedAnswerSkipsTheBoxAcrossRestarts();
  void answerKeysBecomeValidElementNames();
  void brokenOrHandEditedAnswersFile();
  void timedBoxAnswersWithItsDefault();
  void helpButtonOpensItsTopicAndKeepsTheBox();
  void workerQuestionsAreAskedOnTheUiThread();
  void frameSetParserRefusesHostileBlobs();
  void animationLabelLoopsItsFrames();
  void hintBalloonHidesAfterItsTimeAndOnOwnerChanges();
  void oneTimeHintIsShownOnce();
  void helpViewerOpensEveryTopicAndExplainsAMissingPage();
  void richToolTipsAndTheirDelay();
  void aboutBoxShowsVersionAndLink();
  void soundPlayerCanBeReplaced();
  void programStoreKeepsAnswersInTheProfileFolder();

 private:
  QTemporaryDir m_config;
};

void TestRichMessageBox::eachButtonAnswersWithItsOwnValue() {
  // The buttons appear in the order asked for; a click on the n-th gives the n-th value.
  const std::vector<PromptButton> all(std::begin(kAllButtons), std::end(kAllButtons));
  for (std::size_t i = 0; i < all.size(); ++i) {
    CRichMessageBox box(Request(all, 3));
    PromptButton answer = RunWith(box, [&] {
      std::vector<QPushButton*> buttons = AnswerButtons(box);
      QCOMPARE(buttons.size(), all.size());
      QCOMPARE(buttons[i]->text(), CRichMessageBox::Caption(all[i]));
      QTest::mouseClick(buttons[i], Qt::LeftButton);
    });
    QCOMPARE(int(answer), int(all[i]));
  }

  // The extra captions come from the resource library, the standard ones are Qt's and distinct.
  const std::pair<PromptButton, unsigned> extras[] = {
      {PromptButton::kYesToAll, kIdsButtonYesToAll},   {PromptButton::kNoToAll, kIdsButtonNoToAll},
      {PromptButton::kIgnoreAll, kIdsButtonIgnoreAll}, {PromptButton::kSkipAll, kIdsButtonSkipAll},
      {PromptButton::kTryAgain, kIdsButtonTryAgain},
  };
  for (const auto& [button, id] : extras) QCOMPARE(CRichMessageBox::Caption(button), ResString(id));
  QStringList standard;
  for (PromptButton button :
       {PromptButton::kYes, PromptButton::kNo, PromptButton::kOk, PromptButton::kCancel,
        PromptButton::kAbort, PromptButton::kRetry, PromptButton::kIgnore}) {
    QString caption = CRichMessageBox::Caption(button);
    QVERIFY(!caption.isEmpty());
    QVERIFY2(!standard.contains(caption), qPrintable(caption));
    standard << caption;
  }

  // A button listed twice is one button.
  CRichMessageBox twice(Request({PromptButton::kOk, PromptButton::kOk, PromptButton::kCancel}));
  PromptButton answer = RunWith(twice, [&] {
    QCOMPARE(AnswerButtons(twice).size(), std::size_t(2));
    QTest::mouseClick(AnswerButtons(twice)[1], Qt::LeftButton);
  });
  QCOMPARE(int(answer), int(PromptButton::kCancel));

  // A path far wider than a box fits on the screen: wrapped, not cut off.
  PromptRequest longPath = Request({PromptButton::kOk});
  longPath.text =
      "The file\n/" + std::string(60, 'd') + "/" + std::string(300, 'f') + ".jpg\nexists.";
  CRichMessageBox wide(longPath);
  wide.show();
  auto* text = wide.findChild<QLabel*>("text");
  QVERIFY(wide.sizeHint().width() < 800);
  QVERIFY(text->height() >= text->heightForWidth(text->width()));
  QVERIFY(text->height() > 5 * text->fontMetrics().height());
  wide.close();
}

void TestRichMessageBox::defaultEnterAndEscape() {
  auto request = Request(
      {PromptButton::kYes, PromptButton::kNo, PromptButton::kIgnoreAll, PromptButton::kCancel}, 2);
  {
    CRichMessageBox box(request);
    QCOMPARE(box.Button(PromptButton::kIgnoreAll)->property("default").toBool(), true);
    PromptButton answer = RunWith(box, [&] { QTest::keyClick(&box, Qt::Key_Return); });
    QCOMPARE(int(answer), int(PromptButton::kIgnoreAll));
  }
  {
    CRichMessageBox box(request);
    PromptButton answer = RunWith(box, [&] { QTest::keyClick(&box, Qt::Key_Escape); });
    QCOMPARE(int(answer), int(PromptButton::kCancel));
  }
  {
    // Abort, Retry, Ignore: Escape has no meaning and must not pick anything.
    CRichMessageBox box(
        Request({PromptButton::kAbort, PromptButton::kRetry, PromptButton::kIgnore}, 1));
    PromptButton answer = RunWith(box, [&] {
      QTest::keyClick(&box, Qt::Key_Escape);
      QVERIFY(box.isVisible());
      box.close();
      QVERIFY(box.isVisible());
      QTest::mouseClick(box.Button(PromptButton::kAbort), Qt::LeftButton);
    });
    QCOMPARE(int(answer), int(PromptButton::kAbort));
  }
  {
    // A default index past the buttons falls back to the first button, never to a button that
    // is not there.
    CRichMessageBox box(Request({PromptButton::kRetry, PromptButton::kAbort}, 7));
    PromptButton answer = RunWith(box, [&] { QTest::keyClick(&box, Qt::Key_Return); });
    QCOMPARE(int(answer), int(PromptButton::kRetry));
  }
}

void TestRichMessageBox::rememberedAnswerSkipsTheBoxAcrossRestarts() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const std::string path = dir.filePath("Answers.xml").toStdString();
  auto request = Request(
      {PromptButton::kYes, PromptButton::kNo, PromptButton::kIgnoreAll, PromptButton::kCancel});
  {
    CRememberedAnswers answers(path);
    RichBoxOptions options;
    options.answerKey = "RecoverOverwriteExisting";
    options.answers = &answers;

    // Without the tick nothing is kept.
    CRichMessageBox plain(request, options);
    QVERIFY(plain.DoNotShowAgainBox());
    RunWith(plain, [&] { QTest::mouseClick(plain.Button(PromptButton::kNo), Qt::LeftButton); });
    QVERIFY(!answers.Lookup(options.answerKey, request));

    CRichMessageBox box(request, options);
    PromptButton answer = RunWith(box, [&] {
      QTest::keyClick(box.DoNotShowAgainBox(), Qt::Key_Space);
      QVERIFY(box.DoNotShowAgainBox()->isChecked());
      QTest::mouseClick(box.Button(PromptButton::kIgnoreAll), Qt::LeftButton);
    });
    QCOMPARE(int(answer), int(PromptButton::kIgnoreAll));

    bool shown = true;
    QCOMPARE(int(AskAndWatch(request, options, shown)), int(PromptButton::kIgnoreAll));
    QVERIFY(!shown);
  }
  {
    // A restart: a new store reads the file.
    CRememberedAnswers answers(path);
    RichBoxOptions options;
    options.answerKey = "RecoverOverwriteExisting";
    options.answers = &answers;
    bool shown = true;
    QCOMPARE(int(AskAndWatch(request, options, shown)), int(PromptButton::kIgnoreAll));
    QVERIFY(!shown);

    // Another question is still asked.
    options.answerKey = "SomethingElse";
    QCOMPARE(int(AskAndWatch(request, options, shown)), int(PromptButton::kYes));
    QVERIFY(shown);

    // The same question without that button any more: the box is shown again.
    options.answerKey = "RecoverOverwriteExisting";
    auto narrower = Request({PromptButton::kYes, PromptButton::kNo}, 1);
    QCOMPARE(int(AskAndWatch(narrower, options, shown)), int(PromptButton::kNo));
    QVERIFY(shown);

    // A box timing out with the tick set keeps nothing: nobody chose.
    options.answerKey = "Timed";
    options.timeoutSeconds = 1;
    CRichMessageBox timed(request, options);
    RunWith(timed, [&] { timed.DoNotShowAgainBox()->setChecked(true); });
    QVERIFY(!answers.Lookup("Timed", request));
  }
}

void TestRichMessageBox::answerKeysBecomeValidElementNames() {
  QTemporaryDir dir;
  const std::string path = dir.filePath("Answers.xml").toStdString();
  const std::string keys[] = {"3 files exist", "a b",      "a_b",     "xmlThing", "",
                              "Überschreiben", "<tag>&\"", ".hidden", "-dash",    "plain_Key.1"};
  for (const std::string& key : keys) {
    std::string name = CRememberedAnswers::ElementName(key);
    QVERIFY(!name.empty());
    QVERIFY2(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_', name.c_str());
    QVERIFY2(name.rfind("xml", 0) != 0, name.c_str());
  }
  QCOMPARE(CRememberedAnswers::ElementName("plain_Key.1"), std::string("plain_Key.1"));
  QVERIFY(CRememberedAnswers::ElementName("a b") != CRememberedAnswers::ElementName("a_b"));

  auto request = Request(std::vector<PromptButton>(std::begin(kAllButtons), std::end(kAllButtons)));
  {
    CRememberedAnswers answers(path);
    int i = 0;
    for (const std::string& key : keys) {
      if (key.empty()) {
        QVERIFY(!answers.Remember(key, PromptButton::kNo));
        continue;
      }
      QVERIFY2(answers.Remember(key, kAllButtons[i++ % 12]), key.c_str());
    }
  }
  const QString saved = ReadText(QString::fromStdString(path));
  QVERIFY(saved.contains("<Answers>"));
  QVERIFY(!saved.contains("<3") && !saved.contains("<xml") && !saved.contains("<<"));
  CRememberedAnswers again(path);
  int i = 0;
  for (const std::string& key : keys) {
    if (key.empty()) continue;
    auto answer = again.Lookup(key, request);
    QVERIFY2(answer.has_value(), key.c_str());
    QCOMPARE(int(*answer), int(kAllButtons[i++ % 12]));
  }
  QVERIFY(again.ForgetAll());
  QVERIFY(!again.Lookup("a b", request));
}

void TestRichMessageBox::brokenOrHandEditedAnswersFile() {
  QTemporaryDir dir;
  const QString path = dir.filePath("Answers.xml");
  auto request = Request({PromptButton::kYes, PromptButton::kNo, PromptButton::kCancel}, 1);
  const std::pair<QByteArray, bool> broken[] = {
      {"<profile><Answers><Key>Yes", true},                              // cut short
      {"<profile><Answers><3key>Yes</3key></Answers></profile>", true},  // a name no parser accepts
      {"<profile><Answers><Key>Yes</Wrong></Answers></profile>", true},  // tags that do not match
      {QByteArray("\0\xff\xfe garbage", 12), false},  // read as a document without elements
  };
  for (const auto& [bytes, unparsable] : broken) {
    WriteText(path, bytes);
    CRememberedAnswers answers(path.toStdString());
    RichBoxOptions options;
    options.answerKey = "Key";
    options.answers = &answers;
    bool shown = false;
    QCOMPARE(int(AskAndWatch(request, options, shown)), int(PromptButton::kNo));
    QVERIFY(shown);
    // The store works again and the old bytes are kept aside.
    QVERIFY(answers.Remember("Key", PromptButton::kYes));
    QCOMPARE(QFile::exists(path + ".bad"), unparsable);
    QCOMPARE(int(*CRememberedAnswers(path.toStdString()).Lookup("Key", request)),
             int(PromptButton::kYes));
    QFile::remove(path + ".bad");
  }

  // Well-formed but edited by hand: unknown names, other buttons, empty values are all ignored.
  WriteText(path,
            "<profile><Answers><A>Maybe</A><B>Retry</B><C></C><D>yes</D><E>Yes</E></Answers>"
            "<Other><F>Yes</F></Other></profile>");
  CRememberedAnswers answers(path.toStdString());
  for (const char* key : {"A", "B", "C", "D", "F"}) QVERIFY2(!answers.Lookup(key, request), key);
  QCOMPARE(int(*answers.Lookup("E", request)), int(PromptButton::kYes));
}

void TestRichMessageBox::timedBoxAnswersWithItsDefault() {
  RichBoxOptions options;
  options.timeoutSeconds = 2;
  CRichMessageBox box(Request({PromptButton::kYes, PromptButton::kNo, PromptButton::kCancel}, 1),
                      options);
  QString before;
  QElapsedTimer clock;
  clock.start();
  PromptButton answer = RunWith(box, [&] { before = box.Button(PromptButton::kNo)->text(); });
  qint64 took = clock.elapsed();
  QCOMPARE(int(answer), int(PromptButton::kNo));
  QCOMPARE(before, CRichMessageBox::Caption(PromptButton::kNo) + " (2)");
  QVERIFY2(took >= 1900 && took < 10000, qPrintable(QString::number(took)));

  // A click before the time is up wins.
  CRichMessageBox early(Request({PromptButton::kYes, PromptButton::kNo}, 1), options);
  QCOMPARE(
      int(RunWith(early,
                  [&] { QTest::mouseClick(early.Button(PromptButton::kYes), Qt::LeftButton); })),
      int(PromptButton::kYes));
}

void TestRichMessageBox::helpButtonOpensItsTopicAndKeepsTheBox() {
  RichBoxOptions options;
  options.helpTopic = "AutoUpdate";
  QStringList asked;
  options.onHelp = [&](const QString& topic) { asked << topic; };
  CRichMessageBox box(Request({PromptButton::kOk, PromptButton::kCancel}), options);
  QVERIFY(box.HelpButton());
  QCOMPARE(box.HelpButton()->text(), ResString(kIdsButtonHelp));
  PromptButton answer = RunWith(box, [&] {
    QTest::mouseClick(box.HelpButton(), Qt::LeftButton);
    QVERIFY(box.isVisible());
    QTest::keyClick(&box, Qt::Key_F1);
    QVERIFY(box.isVisible());
    QTest::mouseClick(box.Button(PromptButton::kOk), Qt::LeftButton);
  });
  QCOMPARE(asked, (QStringList{"AutoUpdate", "AutoUpdate"}));
  QCOMPARE(int(answer), int(PromptButton::kOk));
  QVERIFY(!CRichMessageBox(Request({PromptButton::kOk})).HelpButton());
}

void TestRichMessageBox::workerQuestionsAreAskedOnTheUiThread() {
  QWidget owner;
  owner.show();
  CBoxPrompt prompt(&owner);
  auto request = Request(
      {PromptButton::kYes, PromptButton::kNo, PromptButton::kYesToAll, PromptButton::kNoToAll});
  std::atomic<int> answer{-1};
  std::atomic<bool> done{false};
  std::thread worker([&] {
    answer = int(prompt.Ask(request));
    done = true;
  });
  // The box comes up on this thread, owned by the progress window, while the worker waits. It
  // runs its own event loop, so it is answered from a timer, not from this function.
  QThread* boxThread = nullptr;
  QWidget* boxOwner = nullptr;
  bool waitedMeanwhile = false;
  QTimer watcher;
  watcher.setInterval(10);
  connect(&watcher, &QTimer::timeout, [&] {
    auto* box = qobject_cast<CRichMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    boxThread = box->thread();
    boxOwner = box->parentWidget();
    waitedMeanwhile = !done;
    QTest::mouseClick(box->Button(PromptButton::kNoToAll), Qt::LeftButton);
  });
  watcher.start();
  QTRY_VERIFY_WITH_TIMEOUT(done.load(), 10000);
  worker.join();
  QCOMPARE(boxThread, QThread::currentThread());
  QCOMPARE(boxOwner, &owner);
  QVERIFY(waitedMeanwhile);
  QCOMPARE(answer.load(), int(PromptButton::kNoToAll));
}

void TestRichMessageBox::frameSetParserRefusesHostileBlobs() {
  const QByteArray red = Png(Qt::red), blue = Png(Qt::blue);
  FrameSetLayout layout;
  QByteArray good = FrameSet(90, {red, blue});
  QVERIFY(Parse(good, layout));
  QCOMPARE(layout.delayMs, 90u);
  QCOMPARE(layout.frames.size(), std::size_t(2));
  QCOMPARE(good.mid(int(layout.frames[0].offset), int(layout.frames[0].size)), red);
  QCOMPARE(good.mid(int(layout.frames[1].offset), int(layout.frames[1].size)), blue);

  // Delays are kept within bounds: zero would spin the timer, huge would look frozen.
  QVERIFY(Parse(FrameSet(0, {red}), layout));
  QCOMPARE(layout.delayMs, kMinFrameDelayMs);
  QVERIFY(Parse(FrameSet(0xFFFFFFFFu, {red}), layout));
  QCOMPARE(layout.delayMs, kMaxFrameDelayMs);

  auto hostile = [&](const QByteArray& blob, const char* what) {
    FrameSetLayout out;
    out.frames.push_back({1, 1});
    QVERIFY2(!Parse(blob, out), what);
    QVERIFY2(out.frames.empty(), what);
  };
  hostile({}, "empty");
  hostile(good.left(7), "header cut short");
  hostile(FrameSet(90, {}), "no frames");
  for (int cut = 8; cut < good.size(); cut += 7) hostile(good.left(cut), "frames cut short");
  hostile(good + "x", "bytes after the last frame");
  QByteArray huge;
  AppendU32(huge, 0xFFFFFFFFu);
  AppendU32(huge, 100);
  AppendU32(huge, 4);
  huge.append("abcd");
  hostile(huge, "a count far above the frames present");
  QByteArray many;
  AppendU32(many, kMaxFrames + 1);
  AppendU32(many, 100);
  for (std::uint32_t i = 0; i <= kMaxFrames; ++i) {
    AppendU32(many, 1);
    many.append('x');
  }
  hostile(many, "more frames than allowed");
  QByteArray wrap;
  AppendU32(wrap, 1);
  AppendU32(wrap, 100);
  AppendU32(wrap, 0xFFFFFFF8u);  // a size that wraps an unchecked offset
  wrap.append("abcdefgh");
  hostile(wrap, "frame size past the end");
  hostile(FrameSet(90, {red, QByteArray()}), "an empty frame");
}

void TestRichMessageBox::animationLabelLoopsItsFrames() {
  CAnimationLabel label;
  QVERIFY(label.SetFrameSet(FrameSet(20, {Png(Qt::red), Png(Qt::green), Png(Qt::blue)})));
  QCOMPARE(label.FrameCount(), 3);
  QCOMPARE(label.DelayMs(), 20);
  label.Start();
  QVERIFY(label.IsRunning());
  // Round the loop: back to frame 0 after 2.
  QTRY_COMPARE_WITH_TIMEOUT(label.CurrentFrame(), 2, 3000);
  QTRY_COMPARE_WITH_TIMEOUT(label.CurrentFrame(), 0, 3000);
  label.Stop();
  QVERIFY(!label.IsRunning());

  // Frames that are not pictures are left out; nothing decodable → nothing to play.
  QVERIFY(label.SetFrameSet(FrameSet(50, {QByteArray("not a png"), Png(Qt::red)})));
  QCOMPARE(label.FrameCount(), 1);
  label.Start();
  QVERIFY(!label.IsRunning());  // one frame needs no timer
  QVERIFY(!label.SetFrameSet(FrameSet(50, {QByteArray("not a png")})));
  QCOMPARE(label.FrameCount(), 0);
  QVERIFY(label.pixmap().isNull());
  QVERIFY(!label.SetFrameSet(QByteArray("\x01\x00\x00\x00", 4)));
}

void TestRichMessageBox::hintBalloonHidesAfterItsTimeAndOnOwnerChanges() {
  QWidget owner;
  owner.resize(400, 300);
  owner.show();
  QVERIFY(QTest::qWaitForWindowExposed(&owner));
  CHintBalloon balloon(&owner);
  QStringList asked;
  balloon.SetHelpHandler([&](const QString& topic) { asked << topic; });
  const QRect spot(owner.mapToGlobal(QPoint(100, 50)), QSize(40, 20));

  balloon.SetShowMilliseconds(300);
  QElapsedTimer clock;
  clock.start();
  balloon.ShowAt(spot, "Title", "Text", "Wizard");
  QVERIFY(balloon.isVisible());
  QCOMPARE(balloon.TipPoint(), spot.center());
  QVERIFY(balloon.geometry().contains(spot.center()));
  QTRY_VERIFY_WITH_TIMEOUT(!balloon.isVisible(), 5000);
  QVERIFY(clock.elapsed() >= 250);

  balloon.SetShowMilliseconds(CHintBalloon::kShowMilliseconds);
  balloon.ShowAt(spot, "Title", "Text", "Wizard");
  owner.resize(420, 320);
  QTRY_VERIFY(!balloon.isVisible());

  balloon.ShowAt(spot, "Title", "Text", "Wizard");
  owner.move(owner.pos() + QPoint(15, 15));
  QTRY_VERIFY(!balloon.isVisible());

  // The help link hands its topic over and closes the balloon.
  balloon.ShowAt(spot, "Title", "Text", "DeletedFiles");
  QLabel* link = nullptr;
  for (QLabel* label : balloon.findChildren<QLabel*>()) {
    if (label->text().contains("<a ")) link = label;
  }
  QVERIFY(link);
  QVERIFY(link->isVisible());
  emit link->linkActivated("help");
  QCOMPARE(asked, QStringList{"DeletedFiles"});
  QVERIFY(!balloon.isVisible());

  // The balloon belongs to its owner's window and goes with it.
  auto* gone = new QWidget;
  gone->show();
  QPointer<CHintBalloon> orphan = new CHintBalloon(gone);
  orphan->ShowAt(spot, "Title", "Text", {});
  delete gone;
  QVERIFY(orphan.isNull());
}

void TestRichMessageBox::oneTimeHintIsShownOnce() {
  QTemporaryDir dir;
  const std::string path = dir.filePath("Profile.xml").toStdString();
  QWidget owner;
  owner.show();
  CHintBalloon balloon(&owner);
  const QRect spot(owner.mapToGlobal(QPoint(10, 10)), QSize(20, 20));
  {
    CXMLProfile profile;
    profile.SetPath(path);
    QVERIFY(profile.Load());
    QVERIFY(ShowOneTimeHint(balloon, profile, "TipLaunchWizard", spot, kIdsTipLaunchWizardTitle,
                            kIdsTipLaunchWizardText, "Wizard"));
    QVERIFY(balloon.isVisible());
    QCOMPARE(balloon.Title(), ResString(kIdsTipLaunchWizardTitle));
    QCOMPARE(balloon.Text(), ResString(kIdsTipLaunchWizardText));
    QCOMPARE(balloon.HelpTopic(), QString("Wizard"));
    balloon.HideBalloon();
    QVERIFY(!ShowOneTimeHint(balloon, profile, "TipLaunchWizard", spot, kIdsTipLaunchWizardTitle,
                             kIdsTipLaunchWizardText, "Wizard"));
    QVERIFY(!balloon.isVisible());
  }
  // Stored as 0 on disk at once, not only at the program's end.
  CXMLProfile reread;
  reread.SetPath(path);
  QVERIFY(reread.Load());
  QCOMPARE(reread.GetInt("Wizard", "TipLaunchWizard", 1), 0);
  QVERIFY(!ShowOneTimeHint(balloon, reread, "TipLaunchWizard", spot, kIdsTipLaunchWizardTitle,
                           kIdsTipLaunchWizardText, "Wizard"));
  // Another hint is independent of it.
  QVERIFY(ShowOneTimeHint(balloon, reread, "TipCustomizeView", spot, kIdsTipCustomizeViewTitle,
                          kIdsTipCustomizeViewText, "ViewingDeletedData"));
}

void TestRichMessageBox::helpViewerOpensEveryTopicAndExplainsAMissingPage() {
  CHelpViewer viewer;
  const char* topics[] = {"Contents",           "Wizard",
                          "ViewingDeletedData", "ShowDeletedItemsOnly",
                          "DeletedFiles",       "OverwrittenDeletedFiles",
                          "IndexingHardDrive",  "SearchTab",
                          "AutoUpdate"};
  QVERIFY(viewer.Open(kHelpPage, "Contents"));
  QStringList anchors;
  for (QTextBlock block = viewer.Browser()->document()->begin(); block.isValid();
       block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it)
      anchors << it.fragment().charFormat().anchorNames();
  }
  for (const char* topic : topics) {
    QVERIFY2(anchors.contains(topic), topic);
    QVERIFY(viewer.Open(kHelpPage, topic));
    QCOMPARE(viewer.CurrentPage().fileName(), QString(kHelpPage));
  }
  QVERIFY(viewer.Browser()->toPlainText().contains("overwritten", Qt::CaseInsensitive));

  // Links inside the page are followed; web addresses and files outside the folder are not.
  QVERIFY(viewer.Open(kHelpPage, "Contents"));
  emit viewer.Browser()->anchorClicked(QUrl("#SearchTab"));
  QCOMPARE(viewer.Browser()->source().fragment(), QString("SearchTab"));
  QCOMPARE(viewer.CurrentPage().fileName(), QString(kHelpPage));
  for (const char* outside :
       {"https://example.org/help/", "../../etc/hosts", "file:///etc/hosts"}) {
    emit viewer.Browser()->anchorClicked(QUrl(outside));
    QCOMPARE(viewer.CurrentPage().fileName(), QString(kHelpPage));
  }

  // A missing page, a path out of the folder, a missing folder: a message, never a blank window.
  const QString missing[] = {"NoSuchPage.htm", "../help/" + QString(kHelpPage), "/etc/passwd"};
  for (const QString& page : missing) {
    QVERIFY(!viewer.Open(page, "Contents"));
    QVERIFY(viewer.CurrentPage().isEmpty());
    QVERIFY2(viewer.Browser()->toPlainText().contains(page), qPrintable(page));
    QVERIFY(!viewer.Browser()->toPlainText().contains("root:"));
  }
  SetHelpFolder(QDir::temp().filePath("sorvani-no-such-help-folder"));
  QVERIFY(!viewer.Open(kHelpPage, "Wizard"));
  QVERIFY(viewer.Browser()->toPlainText().contains("sorvani-no-such-help-folder"));
  SetHelpFolder(QStringLiteral(SORVANI_UI_BIN_DIR "/help"));

  // One help window for the whole program.
  QWidget owner;
  CHelpViewer* first = ShowHelp(&owner, kHelpPage, "Wizard");
  CHelpViewer* second = ShowHelp(&owner, kHelpPage, "SearchTab");
  QCOMPARE(first, second);
  QVERIFY(first->isVisible());
  delete first;
  CHelpViewer* third = ShowHelp(nullptr, kHelpPage, "Contents");
  QVERIFY(third);
  delete third;
}

void TestRichMessageBox::richToolTipsAndTheirDelay() {
  QString rich = RichToolTipText("Name: a<b>&c.txt\nType: Text Document\n\nplain line");
  QVERIFY(Qt::mightBeRichText(rich));
  QVERIFY(rich.contains("a&lt;b&gt;&amp;c.txt"));
  QVERIFY(!rich.contains("<b>&c"));
  QCOMPARE(rich.count("<br/>"), 3);
  QVERIFY(rich.contains("<b>Type:</b>"));
  QTextDocument document;
  document.setHtml(rich);
  QCOMPARE(document.toPlainText(), QString("Name: a<b>&c.txt\nType: Text Document\n\nplain line"));
  QVERIFY(RichToolTipText({}).isEmpty());

  InstallToolTipStyle();
  InstallToolTipStyle();  // a second call must not stack proxies
  QVERIFY(qobject_cast<CToolTipStyle*>(QApplication::style()));
  QVERIFY(!qobject_cast<CToolTipStyle*>(
      qobject_cast<CToolTipStyle*>(QApplication::style())->baseStyle()));
  QCOMPARE(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 1000);
}

void TestRichMessageBox::aboutBoxShowsVersionAndLink() {
  QCOMPARE(CAboutDlg::TitleText(),
           ResString(kIdsAboutProduct) + " v." + QString::fromUtf8(kApplicationVersion));
  CAboutDlg plain{QString()};
  QVERIFY(!plain.LinkLabel());
  QVERIFY(plain.findChild<QLabel*>("aboutTitle")
              ->text()
              .endsWith(QString::fromUtf8(kApplicationVersion)));
  QCOMPARE(plain.findChild<QLabel*>("aboutText")->text(), ResString(kIdsAboutText));

  CAboutDlg linked{QString("https://example.org/sorvani")};
  QVERIFY(linked.LinkLabel());
  if (geteuid() == 0) {
    QVERIFY(linked.LinkLabel()->text().contains("https://example.org/sorvani"));
    QVERIFY(!linked.LinkLabel()->text().contains("href"));
  } else {
    QVERIFY(linked.LinkLabel()->text().contains("href=\"https://example.org/sorvani\""));
  }
}

void TestRichMessageBox::soundPlayerCanBeReplaced() {
  CRecordingSoundPlayer recorder;
  SetSoundPlayer(&recorder);
  SoundPlayer().Play(kSoundFolderFilled);
  SoundPlayer().Play(kSoundDone);
  SetSoundPlayer(nullptr);
  SoundPlayer().Play(kSoundDone);  // the silent player: must not reach the recorder
  QCOMPARE(recorder.Played(), (std::vector<unsigned>{kSoundFolderFilled, kSoundDone}));
}

void TestRichMessageBox::programStoreKeepsAnswersInTheProfileFolder() {
  // No store given: the program's own, in a profile folder that does not exist yet.
  const QString file = m_config.filePath("SorvaniRecovery/Answers.xml");
  QCOMPARE(QString::fromStdString(CRememberedAnswers::DefaultPath()), file);
  auto request = Request({PromptButton::kOk, PromptButton::kSkipAll});
  RichBoxOptions options;
  options.answerKey = "SkipUnreadable";
  CRichMessageBox box(request, options);
  QVERIFY(box.DoNotShowAgainBox());
  RunWith(box, [&] {
    box.DoNotShowAgainBox()->setChecked(true);
    QTest::mouseClick(box.Button(PromptButton::kSkipAll), Qt::LeftButton);
  });
  QVERIFY(QFile::exists(file));
  QCOMPARE(int(*CRememberedAnswers(file.toStdString()).Lookup("SkipUnreadable", request)),
           int(PromptButton::kSkipAll));
  bool shown = true;
  QCOMPARE(int(AskAndWatch(request, options, shown)), int(PromptButton::kSkipAll));
  QVERIFY(!shown);
}

QTEST_MAIN(TestRichMessageBox)
#include "tst_rich_message_box.moc"
