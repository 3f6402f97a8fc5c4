// The resource library as the program loads it: every number of the shared header resolves in
// the built library, texts fit the program's buffer and take the arguments their comments name,
// and a library someone else could have changed, or that is not ours, is refused.
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>
#include <vector>

#include "app/resource_library.h"
#include "foundation/res_strings.h"
#include "svres/res_ids.h"
#include "svres/string_table.h"
#include "ui/resources.h"

using namespace sorvani;

namespace {

// One number named in res_ids.h, with its comment.
struct NamedId {
  QString name;
  unsigned value = 0;
  QString comment;
};

std::vector<NamedId> ReadNamedIds() {
  QFile file(QStringLiteral(SVRES_IDS_HEADER));
  if (!file.open(QIODevice::ReadOnly)) return {};
  // A definition may be wrapped by the formatter, so the whole text is matched at once.
  static const QRegularExpression kDefinition(
      R"(inline constexpr unsigned (k\w+)\s*=\s*(0x[0-9A-Fa-f]+|\d+);[ \t]*(?://[ \t]*([^\n]*))?)");
  std::vector<NamedId> ids;
  QRegularExpressionMatchIterator it = kDefinition.globalMatch(QString::fromUtf8(file.readAll()));
  while (it.hasNext()) {
    QRegularExpressionMatch match = it.next();
    bool ok = false;
    unsigned value = match.captured(2).toUInt(&ok, 0);
    if (ok) ids.push_back({match.captured(1), value, match.captured(3).trimmed()});
  }
  return ids;
}

// The arguments a formatted text takes, from a comment opening with "(a, b number, ...)": a name
// ending in "number" is an integer, any other a text.
std::vector<ResArg> ArgumentsOf(const QString& comment) {
  std::vector<ResArg> args;
  if (!comment.startsWith('(')) return args;
  QString inside = comment.mid(1, comment.indexOf(')') - 1);
  for (const QString& name : inside.split(',')) {
    if (name.trimmed().endsWith(QLatin1String("number")))
      args.push_back(MakeResArg(4294967295u));
    else
      args.push_back(MakeResArg("/mnt/x/50% done"));
  }
  return args;
}

bool IsUtf8(const std::string& text) {
  QStringDecoder decoder(QStringDecoder::Utf8);
  QString decoded = decoder(QByteArrayView(text.data(), qsizetype(text.size())));
  return !decoder.hasError();
}

quint32 ReadU32(const QByteArray& bytes, qsizetype at) {
  quint32 value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | quint8(bytes[at + i]);
  return value;
}

// The frames of an animation (u32 count, u32 delay, then u32 size + PNG per frame); empty when
// the bytes do not follow that layout exactly.
std::vector<QImage> DecodeFrames(const QByteArray& bytes, quint32& delay) {
  std::vector<QImage> frames;
  if (bytes.size() < 8) return {};
  quint32 count = ReadU32(bytes, 0);
  delay = ReadU32(bytes, 4);
  qsizetype at = 8;
  for (quint32 i = 0; i < count; ++i) {
    if (bytes.size() - at < 4) return {};
    quint32 size = ReadU32(bytes, at);
    at += 4;
    if (size == 0 || bytes.size() - at < qsizetype(size)) return {};
    QImage frame = QImage::fromData(bytes.mid(at, size), "PNG");
    if (frame.isNull()) return {};
    frames.push_back(frame);
    at += size;
  }
  if (at != bytes.size()) return {};
  return frames;
}

QByteArray Bytes(std::span<const unsigned char> data) {
  return QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
}

}  // namespace

class TestResourceLibrary : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;

  // A copy of `source` in the temporary folder with `mode`; its path.
  QString Copy(const QString& source, const QString& name, mode_t mode) {
    QString target = m_dir.filePath(name);
    QFile::remove(target);
    if (!QFile::copy(source, target)) return {};
    if (::chmod(QFile::encodeName(target).constData(), mode) != 0) return {};
    return target;
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    std::string error;
    QVERIFY2(ResourceLibrary().Load(SVRES_LIBRARY, error), error.c_str());
  }

  void findsTheLibraryBesideTheProgramThenInItsLibFolder() {
    QCOMPARE(QString::fromStdString(FindResourceLibrary(SORVANI_UI_BIN_DIR)),
             QStringLiteral(SORVANI_UI_BIN_DIR "/libsvres.so"));
    // An installed layout: bin/ holds the program, lib/sorvani-recovery/ the library.
    QVERIFY(QDir(m_dir.path()).mkpath("bin") && QDir(m_dir.path()).mkpath("lib/sorvani-recovery"));
    std::string bin = m_dir.filePath("bin").toStdString();
    QString installed = Copy(SVRES_LIBRARY, "lib/sorvani-recovery/libsvres.so", 0644);
    QVERIFY(!installed.isEmpty());
    std::string found = FindResourceLibrary(bin);
    QCOMPARE(QString::fromStdString(found),
             QString::fromStdString(bin) + "/../lib/sorvani-recovery/libsvres.so");
    CResourceLibrary library;
    std::string error;
    QVERIFY2(library.Load(found, error), error.c_str());
    // Beside the program wins over the lib folder.
    QVERIFY(!Copy(SVRES_LIBRARY, "bin/libsvres.so", 0644).isEmpty());
    QCOMPARE(QString::fromStdString(FindResourceLibrary(bin)),
             QString::fromStdString(bin) + "/libsvres.so");
    // Neither there: the load error names the first place looked at.
    QCOMPARE(QString::fromStdString(FindResourceLibrary("/nonexistent")),
             QStringLiteral("/nonexistent/libsvres.so"));
  }

  // Every number named in the header has its resource in the built library, and the texts are
  // the ones the command line shows.
  void everyNamedNumberResolves() {
    std::vector<NamedId> ids = ReadNamedIds();
    QVERIFY2(ids.size() > 150, "res_ids.h was not read");
    const CResourceLibrary& library = ResourceLibrary();
    int texts = 0, blobs = 0;
    for (const NamedId& id : ids) {
      const QByteArray what = (id.name + " = " + QString::number(id.value)).toUtf8();
      if (id.name.startsWith("kRes") || id.name == "kIdsCommandBase") continue;  // kinds, base
      if (id.name.startsWith("kIds") || id.name.startsWith("kCmd")) {
        unsigned number = id.name.startsWith("kCmd") ? CommandCaptionId(id.value) : id.value;
        std::string text = library.String(number);
        QVERIFY2(text != kResourceNotAvailable, what.constData());
        QVERIFY2(!text.empty(), what.constData());
        // Shorter than the buffer, so nothing is ever cut, and valid UTF-8.
        QVERIFY2(text.size() < kMaxResStringBytes, what.constData());
        QVERIFY2(IsUtf8(text), what.constData());
        const char* builtIn = SvresTableString(number);
        QVERIFY2(builtIn != nullptr && text == builtIn, what.constData());
        QCOMPARE(LoadResString(number), text);
        ++texts;
        continue;
      }
      ++blobs;
      if (id.name.startsWith("kIcon")) {
        QImage icon = QImage::fromData(Bytes(library.Data(kResIcon, id.value)), "PNG");
        QVERIFY2(!icon.isNull(), what.constData());
        QCOMPARE(icon.size(), QSize(32, 32));
        QVERIFY2(!ui::ResIcon(id.value).isNull(), what.constData());
      } else if (id.name.startsWith("kImage")) {
        QImage image = QImage::fromData(Bytes(library.Data(kResImage, id.value)), "PNG");
        QVERIFY2(!image.isNull(), what.constData());
        QCOMPARE(ui::ResImage(id.value).size(), image.size());
      } else if (id.name.startsWith("kAnimation")) {
        quint32 delay = 0;
        std::vector<QImage> frames =
            DecodeFrames(Bytes(library.Data(kResAnimation, id.value)), delay);
        QVERIFY2(frames.size() >= 2, what.constData());
        QVERIFY2(delay >= 20 && delay <= 1000, what.constData());
        for (const QImage& frame : frames) QCOMPARE(frame.size(), frames.front().size());
      } else if (id.name.startsWith("kSound")) {
        QByteArray wav = Bytes(library.Data(kResSound, id.value));
        QVERIFY2(wav.size() > 44 && wav.startsWith("RIFF") && wav.mid(8, 8) == "WAVEfmt ",
                 what.constData());
        QCOMPARE(qsizetype(ReadU32(wav, 4)) + 8, wav.size());
        QCOMPARE(ui::ResData(kResSound, id.value), wav);
      } else {
        QFAIL(("a number of unknown kind in res_ids.h: " + what).constData());
      }
    }
    QVERIFY(texts > 100);
    QVERIFY(blobs > 25);
  }

  void aMissingNumberSaysNotAvailable() {
    for (unsigned id : {0u, 2u, 19u, 999u, 1999u, 65535u}) {
      QCOMPARE(ResourceLibrary().String(id), std::string(kResourceNotAvailable));
      QCOMPARE(LoadResString(id), std::string(kResourceNotAvailable));
      QCOMPARE(ui::ResString(id), QStringLiteral("Resource not available!"));
    }
    QVERIFY(ResourceLibrary().Data(kResIcon, 9999).empty());
    QVERIFY(
        ResourceLibrary().Data(99, kIconFolderPlain).empty());  // a known number of another kind
    QVERIFY(ResourceLibrary().Data(kResImage, kIconFolderPlain).empty());
    QVERIFY(ui::ResData(kResIcon, 9999).isEmpty());
    QVERIFY(ui::ResIcon(9999).isNull());
    QVERIFY(ui::ResImage(9999).isNull());
  }

  // Each formatted text takes exactly the arguments its comment names, so the program never
  // passes arguments a text does not read, nor leaves one it reads missing.
  void formattedTextsTakeTheirArguments() {
    int formatted = 0;
    for (const NamedId& id : ReadNamedIds()) {
      if (!id.name.startsWith("kIds") || id.name == "kIdsCommandBase") continue;
      const QByteArray what = (id.name + " (" + id.comment + ")").toUtf8();
      std::vector<ResArg> args = ArgumentsOf(id.comment);
      std::string text = ResourceLibrary().String(id.value), out;
      QVERIFY2(FormatResText(text, args, out), what.constData());
      if (args.empty()) continue;
      ++formatted;
      // One argument fewer, or each one of the other kind, is refused.
      std::vector<ResArg> fewer(args.begin(), args.end() - 1);
      QVERIFY2(!FormatResText(text, fewer, out), what.constData());
      std::vector<ResArg> swapped;
      for (const ResArg& arg : args)
        swapped.push_back(arg.kind == ResArg::Kind::kText ? MakeResArg(7u) : MakeResArg("x"));
      QVERIFY2(!FormatResText(text, swapped, out), what.constData());
    }
    QVERIFY(formatted >= 20);
    // The status bar's texts as the main window fills them.
    QCOMPARE(ui::ResFormat(kIdsStatusRecoveredRun, std::uint32_t{3}, "1.5 MB"),
             QStringLiteral("Recovered this session: 3 files, 1.5 MB"));
  }

  // A text longer than the program's 512-byte buffer is cut to 511 bytes, never inside a
  // character, whether read through the library object or through the engine's LoadResString.
  void aLongTextIsCutOnACharacterBoundary() {
    CResourceLibrary fake(true);
    std::string error;
    QVERIFY2(fake.Load(SVRES_FAKE_LONG, error), error.c_str());
    std::string onBoundary = fake.String(1);
    QCOMPARE(onBoundary.size(), size_t(511));
    QCOMPARE(onBoundary, std::string(509, 'a') + "\xC3\xA9");
    std::string straddling = fake.String(2);
    QCOMPARE(straddling.size(), size_t(510));
    QCOMPARE(straddling, std::string(510, 'b'));
    QVERIFY(IsUtf8(onBoundary) && IsUtf8(straddling));
    // Installed as the text source, the engine's texts come from it.
    QCOMPARE(LoadResString(1), onBoundary);
    QCOMPARE(LoadResString(2), straddling);
    QCOMPARE(LoadResString(kIdsFileExists), std::string(kResourceNotAvailable));
    fake.Unload();
    QCOMPARE(LoadResString(1), std::string(SvresTableString(1)));
    // Back to the program's own library for the tests that follow.
    QVERIFY2(ResourceLibrary().Load(SVRES_LIBRARY, error), error.c_str());
    QCOMPARE(LoadResString(kIdsTabBrowse), ResourceLibrary().String(kIdsTabBrowse));
  }

  // What a privileged program must not load: a file others could have changed, a file of
  // another user, a name to be searched for, something that is not our library.
  void refusesALibraryItCannotTrust() {
    std::string error;
    CResourceLibrary library;
    QString good = Copy(SVRES_LIBRARY, "good.so", 0644);
    QVERIFY(!good.isEmpty());
    QVERIFY2(library.Load(good.toStdString(), error), error.c_str());
    const std::string caption = library.String(kIdsCaption);

    struct Case {
      const char* what;
      QString path;
      const char* reason;
    };
    std::vector<Case> cases = {
        {"group-writable", Copy(SVRES_LIBRARY, "group.so", 0664), "writable"},
        {"world-writable", Copy(SVRES_LIBRARY, "world.so", 0646), "writable"},
        {"relative", "libsvres.so", "not absolute"},
        {"dot-relative", "./good.so", "not absolute"},
        {"missing", m_dir.filePath("absent.so"), "cannot open"},
        {"folder", m_dir.path(), "not a regular file"},
        {"no svres_abi", Copy(SVRES_FAKE_NOABI, "noabi.so", 0644), "svres_abi"},
        {"other version", Copy(SVRES_FAKE_OLDABI, "oldabi.so", 0644), "version 99"},
    };
    QString notLibrary = m_dir.filePath("text.so");
    QFile text(notLibrary);
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a library\n") > 0);
    text.close();
    cases.push_back({"not a shared object", notLibrary, "cannot load"});
    if (::geteuid() == 0) {
      // Owned by nobody: root must not run code another account could have replaced.
      QString foreign = Copy(SVRES_LIBRARY, "foreign.so", 0644);
      QVERIFY(::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0);
      cases.push_back({"owned by nobody", foreign, "owned by user 65534"});
    }
    for (const Case& c : cases) {
      QVERIFY2(!c.path.isEmpty(), c.what);
      error.clear();
      QVERIFY2(!library.Load(c.path.toStdString(), error), c.what);
      QVERIFY2(QString::fromStdString(error).contains(c.reason),
               (QByteArray(c.what) + ": " + error.c_str()).constData());
      // The library loaded before stays in place.
      QVERIFY2(library.IsLoaded() && library.String(kIdsCaption) == caption, c.what);
      QCOMPARE(QString::fromStdString(library.Path()), good);
    }
    if (::geteuid() != 0) qInfo("not root: the foreign-owner case needs chown and was left out");
  }
};

QTEST_MAIN(TestResourceLibrary)
#include "tst_resource_library.moc"
