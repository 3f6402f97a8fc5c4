// Draws the icons, the banner and the indexing animation of the resource library into a folder
// (normally svres/art/). Run by hand when a drawing changes:
//   ninja -C build svres-art && QT_QPA_PLATFORM=offscreen build/svres/svres-art svres/art
// The sounds come from svres/tools/make_sounds.py.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <cstdio>
#include <functional>
#include <vector>

#include "svres/res_ids.h"

namespace {

// One flat palette for everything.
const QColor kInk(0x37, 0x41, 0x51);
const QColor kPaper(0xFA, 0xFA, 0xF7);
const QColor kFolder(0xF2, 0xB1, 0x3C);
const QColor kFolderDark(0xD8, 0x93, 0x1F);
const QColor kSteel(0x9A, 0xA5, 0xB1);
const QColor kSteelDark(0x5F, 0x6B, 0x78);
const QColor kBlue(0x2F, 0x80, 0xED);
const QColor kGreen(0x27, 0xAE, 0x60);
const QColor kRed(0xE0, 0x3E, 0x3E);
const QColor kViolet(0x8E, 0x5C, 0xD9);

QPen Outline(const QColor& color, qreal width = 1.5) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Folder(QPainter& p, bool open) {
  p.setPen(Outline(kFolderDark));
  p.setBrush(kFolderDark);
  QPainterPath back;
  back.moveTo(3, 8);
  back.lineTo(12, 8);
  back.lineTo(15, 11);
  back.lineTo(29, 11);
  back.lineTo(29, 26);
  back.lineTo(3, 26);
  back.closeSubpath();
  p.drawPath(back);
  p.setBrush(kFolder);
  if (open) {
    p.setBrush(kPaper);
    p.setPen(Outline(kSteel, 1));
    p.drawRect(QRectF(6, 9.5, 20, 12));
    p.setPen(Outline(kFolderDark));
    p.setBrush(kFolder);
    QPainterPath front;
    front.moveTo(6.5, 15);
    front.lineTo(31, 15);
    front.lineTo(27.5, 27);
    front.lineTo(2.5, 27);
    front.closeSubpath();
    p.drawPath(front);
  } else {
    p.drawRoundedRect(QRectF(3, 13, 26, 14), 1.5, 1.5);
  }
}

void Page(QPainter& p, QRectF r = QRectF(7, 3, 18, 26)) {
  const qreal fold = 6;
  QPainterPath page;
  page.moveTo(r.left(), r.top());
  page.lineTo(r.right() - fold, r.top());
  page.lineTo(r.right(), r.top() + fold);
  page.lineTo(r.right(), r.bottom());
  page.lineTo(r.left(), r.bottom());
  page.closeSubpath();
  p.setPen(Outline(kSteelDark));
  p.setBrush(kPaper);
  p.drawPath(page);
  QPainterPath corner;
  corner.moveTo(r.right() - fold, r.top());
  corner.lineTo(r.right() - fold, r.top() + fold);
  corner.lineTo(r.right(), r.top() + fold);
  p.setBrush(kSteel);
  p.drawPath(corner);
}

void Lines(QPainter& p, qreal left, qreal top, qreal width, int count) {
  p.setPen(Outline(kSteel, 1.5));
  for (int i = 0; i < count; ++i)
    p.drawLine(QPointF(left, top + i * 4), QPointF(left + width, top + i * 4));
}

void Drive(QPainter& p) {
  p.setPen(Outline(kSteelDark));
  p.setBrush(kSteel);
  p.drawRoundedRect(QRectF(2.5, 10.5, 27, 12), 3, 3);
  p.setBrush(kSteelDark);
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(4, 19, 24, 2));
  p.setBrush(kGreen);
  p.drawEllipse(QPointF(25, 15), 1.8, 1.8);
  p.setPen(Outline(kSteelDark, 1));
  for (int x = 6; x <= 14; x += 3) p.drawLine(QPointF(x, 13.5), QPointF(x, 16.5));
}

void Disc(QPainter& p, const QColor& face, QPointF c = QPointF(16, 16), qreal r = 13) {
  p.setPen(Outline(kSteelDark));
  p.setBrush(face);
  p.drawEllipse(c, r, r);
  p.setPen(Outline(kPaper, 1));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(c.x() - r * 0.7, c.y() - r * 0.7, r * 1.4, r * 1.4), 30 * 16, 70 * 16);
  p.setPen(Outline(kSteelDark));
  p.setBrush(kPaper);
  p.drawEllipse(c, r * 0.25, r * 0.25);
}

void Badge(QPainter& p, const QColor& color, const QString& glyph,
           QRectF r = QRectF(3, 3, 26, 26)) {
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawEllipse(r);
  QFont font("DejaVu Sans");
  font.setBold(true);
  font.setPixelSize(int(r.height() * 0.7));
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(r, Qt::AlignCenter, glyph);
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& color, qreal width = 4) {
  p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(from, to);
  QLineF line(to, from);
  qreal head = width * 2.2;
  QLineF a = line;
  a.setLength(head);
  a.setAngle(line.angle() + 40);
  QLineF b = line;
  b.setLength(head);
  b.setAngle(line.angle() - 40);
  p.drawLine(a);
  p.drawLine(b);
}

void CircularArrows(QPainter& p, const QColor& color) {
  p.setPen(QPen(color, 3.5, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  QRectF box(6, 6, 20, 20);
  p.drawArc(box, 20 * 16, 140 * 16);
  p.drawArc(box, 200 * 16, 140 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  QPolygonF tipA({QPointF(4, 12), QPointF(12, 12), QPointF(8, 18)});
  QPolygonF tipB({QPointF(28, 20), QPointF(20, 20), QPointF(24, 14)});
  // Rotate the heads onto the ends of the arcs.
  p.drawPolygon(tipA.translated(0, -2));
  p.drawPolygon(tipB.translated(0, 2));
}

void Magnifier(QPainter& p, QPointF c, qreal r, const QColor& rim) {
  p.setPen(QPen(rim, 4, Qt::SolidLine, Qt::RoundCap));
  QPointF dir(r * 0.72, r * 0.72);
  p.drawLine(c + dir, c + dir * 2.1);
  p.setPen(Outline(rim, 2.5));
  p.setBrush(QColor(0xD6, 0xEA, 0xFF, 200));
  p.drawEllipse(c, r, r);
}

void Gear(QPainter& p) {
  p.save();
  p.translate(16, 16);
  p.setPen(Qt::NoPen);
  p.setBrush(kSteelDark);
  for (int i = 0; i < 8; ++i) {
    p.rotate(45);
    p.drawRoundedRect(QRectF(-3, -14, 6, 7), 1, 1);
  }
  p.drawEllipse(QPointF(0, 0), 10.5, 10.5);
  p.setBrush(kPaper);
  p.drawEllipse(QPointF(0, 0), 4.5, 4.5);
  p.restore();
}

struct IconSpec {
  unsigned id;
  const char* name;
  std::function<void(QPainter&)> draw;
};

const std::vector<IconSpec>& Icons() {
  using namespace sorvani;
  static const std::vector<IconSpec> icons = {
      {kIconFolderPlain, "folder", [](QPainter& p) { Folder(p, false); }},
      {kIconFixedDrive, "fixed-drive", [](QPainter& p) { Drive(p); }},
      {kIconFolderClosed, "folder-closed", [](QPainter& p) { Folder(p, false); }},
      {kIconGenericFile, "file",
       [](QPainter& p) {
         Page(p);
         Lines(p, 10, 13, 12, 4);
       }},
      {kIconDeletedOverlay, "deleted-overlay",
       [](QPainter& p) {
         p.setPen(Outline(Qt::white, 1.5));
         p.setBrush(kRed);
         p.drawEllipse(QRectF(1, 17, 14, 14));
         p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(5, 21), QPointF(11, 27));
         p.drawLine(QPointF(11, 21), QPointF(5, 27));
       }},
      {kIconOnlineHelp, "online-help",
       [](QPainter& p) {
         p.setPen(Outline(kBlue, 2));
         p.setBrush(QColor(0xE3, 0xF0, 0xFF));
         p.drawEllipse(QRectF(3, 3, 26, 26));
         p.setBrush(Qt::NoBrush);
         p.setPen(Outline(kBlue, 1.2));
         p.drawEllipse(QRectF(10, 3, 12, 26));
         p.drawLine(QPointF(3, 16), QPointF(29, 16));
         p.drawLine(QPointF(5, 10), QPointF(27, 10));
         p.drawLine(QPointF(5, 22), QPointF(27, 22));
         Badge(p, kGreen, "?", QRectF(17, 17, 14, 14));
       }},
      {kIconProperties, "properties",
       [](QPainter& p) {
         Page(p, QRectF(5, 3, 20, 26));
         p.setPen(QPen(kGreen, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
         for (int i = 0; i < 3; ++i) {
           qreal y = 12 + i * 5.5;
           p.drawPolyline(QPolygonF({QPointF(8, y), QPointF(9.5, y + 1.5), QPointF(12, y - 1.5)}));
         }
         Lines(p, 14, 11.5, 7, 3);
         p.setPen(Outline(kSteel, 1.5));
       }},
      {kIconOptions, "options", [](QPainter& p) { Gear(p); }},
      {kIconExit, "exit",
       [](QPainter& p) {
         p.setPen(Outline(kSteelDark));
         p.setBrush(QColor(0xB8, 0x8A, 0x5A));
         p.drawRect(QRectF(4, 3, 14, 26));
         p.setBrush(kInk);
         p.drawEllipse(QPointF(15, 16), 1.2, 1.2);
         Arrow(p, QPointF(14, 16), QPointF(29, 16), kRed, 3.5);
       }},
      {kIconSelectAll, "select-all",
       [](QPainter& p) {
         QPen dash(kBlue, 1.5, Qt::DashLine);
         p.setPen(dash);
         p.setBrush(QColor(0x2F, 0x80, 0xED, 40));
         p.drawRect(QRectF(2.5, 2.5, 27, 27));
         p.setPen(Qt::NoPen);
         p.setBrush(kBlue);
         for (int i = 0; i < 3; ++i) {
           p.drawRect(QRectF(7, 8 + i * 6, 4, 4));
           p.drawRect(QRectF(13, 9 + i * 6, 12, 2));
         }
       }},
      {kIconAbout, "about", [](QPainter& p) { Badge(p, kBlue, "i"); }},
      {kIconFloppy, "floppy",
       [](QPainter& p) {
         p.setPen(Outline(kInk));
         p.setBrush(QColor(0x3B, 0x4A, 0x6B));
         QPainterPath body;
         body.moveTo(4, 4);
         body.lineTo(25, 4);
         body.lineTo(28, 7);
         body.lineTo(28, 28);
         body.lineTo(4, 28);
         body.closeSubpath();
         p.drawPath(body);
         p.setBrush(kSteel);
         p.drawRect(QRectF(9, 4, 13, 8));
         p.setBrush(kSteelDark);
         p.drawRect(QRectF(17, 5.5, 3, 5));
         p.setBrush(kPaper);
         p.drawRect(QRectF(7, 16, 18, 12));
         Lines(p, 9, 20, 14, 2);
       }},
      {kIconRemovable, "removable",
       [](QPainter& p) {
         p.setPen(Outline(kSteelDark));
         p.setBrush(kSteel);
         p.drawRect(QRectF(11, 3, 10, 7));
         p.setBrush(kSteelDark);
         p.drawRect(QRectF(13, 5, 2, 2));
         p.drawRect(QRectF(17, 5, 2, 2));
         p.setBrush(kBlue);
         p.drawRoundedRect(QRectF(8, 10, 16, 19), 3, 3);
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(255, 255, 255, 160));
         p.drawRoundedRect(QRectF(11, 14, 10, 3), 1, 1);
       }},
      {kIconOptical, "optical", [](QPainter& p) { Disc(p, QColor(0xCF, 0xD8, 0xE3)); }},
      {kIconDisk, "disk",
       [](QPainter& p) {
         p.setPen(Outline(kSteelDark));
         p.setBrush(kSteel);
         p.drawRoundedRect(QRectF(3, 3, 26, 26), 3, 3);
         Disc(p, QColor(0xE4, 0xE9, 0xEF), QPointF(16, 16), 10);
         p.setPen(QPen(kInk, 2.5, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(25, 25), QPointF(19, 18));
       }},
      {kIconRecover, "recover",
       [](QPainter& p) {
         p.setPen(Outline(kSteelDark));
         p.setBrush(kSteel);
         p.drawRoundedRect(QRectF(3, 20, 26, 9), 2, 2);
         p.setBrush(kGreen);
         p.setPen(Qt::NoPen);
         p.drawEllipse(QPointF(25, 24.5), 1.5, 1.5);
         Arrow(p, QPointF(16, 17), QPointF(16, 3.5), kGreen, 4);
       }},
      {kIconReindex, "reindex", [](QPainter& p) { CircularArrows(p, kGreen); }},
      {kIconFolderOpen, "folder-open", [](QPainter& p) { Folder(p, true); }},
      {kIconQuickView, "quick-view",
       [](QPainter& p) {
         Page(p, QRectF(3, 2, 18, 24));
         Lines(p, 6, 11, 11, 3);
         Magnifier(p, QPointF(18, 18), 6, kBlue);
       }},
      {kIconHelp, "help", [](QPainter& p) { Badge(p, kBlue, "?"); }},
      {kIconWizard, "wizard",
       [](QPainter& p) {
         p.setPen(QPen(kInk, 3.5, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(5, 27), QPointF(19, 13));
         p.setPen(QPen(kPaper, 3.5, Qt::SolidLine, Qt::FlatCap));
         p.drawLine(QPointF(17, 15), QPointF(19, 13));
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(0xF5, 0xC5, 0x18));
         QPolygonF star;
         for (int i = 0; i < 10; ++i) {
           qreal r = i % 2 == 0 ? 8 : 3.5;
           qreal a = qDegreesToRadians(-90 + i * 36.0);
           star << QPointF(23 + r * qCos(a), 9 + r * qSin(a));
         }
         p.drawPolygon(star);
       }},
      {kIconFeedback, "feedback",
       [](QPainter& p) {
         p.setPen(Outline(kViolet));
         p.setBrush(QColor(0xEE, 0xE6, 0xFB));
         QPainterPath bubble;
         bubble.addRoundedRect(QRectF(3, 4, 26, 18), 5, 5);
         QPainterPath tail;
         tail.moveTo(9, 20);
         tail.lineTo(7, 28);
         tail.lineTo(16, 21);
         p.drawPath(bubble.united(tail));
         p.setPen(Qt::NoPen);
         p.setBrush(kViolet);
         for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(10 + i * 6, 13), 2, 2);
       }},
      {kIconBack, "back", [](QPainter& p) { Arrow(p, QPointF(27, 16), QPointF(5, 16), kBlue, 4); }},
      {kIconUp, "up",
       [](QPainter& p) {
         Folder(p, false);
         Arrow(p, QPointF(16, 25), QPointF(16, 9), kGreen, 3.5);
       }},
      {kIconShowDeletedOnly, "show-deleted-only",
       [](QPainter& p) {
         p.setPen(Outline(kSteelDark));
         p.setBrush(kSteel);
         p.drawPolygon(QPolygonF({QPointF(3, 4), QPointF(29, 4), QPointF(19, 16), QPointF(19, 27),
                                  QPointF(13, 24), QPointF(13, 16)}));
         p.setPen(Outline(Qt::white, 1.5));
         p.setBrush(kRed);
         p.drawEllipse(QRectF(17, 17, 14, 14));
         p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
         p.drawLine(QPointF(21, 21), QPointF(27, 27));
         p.drawLine(QPointF(27, 21), QPointF(21, 27));
       }},
      {kIconOpenImage, "open-image",
       [](QPainter& p) {
         Page(p, QRectF(4, 2, 20, 27));
         Disc(p, QColor(0xCF, 0xD8, 0xE3), QPointF(19, 20), 9);
       }},
  };
  return icons;
}

QByteArray Png(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG", 9);
  return bytes;
}

bool Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    std::fprintf(stderr, "svres-art: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

QImage Canvas(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

QImage Banner() {
  QImage image = Canvas(480, 60);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 480, 0);
  sky.setColorAt(0, QColor(0x1E, 0x3A, 0x5F));
  sky.setColorAt(1, QColor(0x2F, 0x80, 0xED));
  p.fillRect(image.rect(), sky);
  p.save();
  p.translate(12, 6);
  p.scale(1.5, 1.5);
  Disc(p, QColor(0xE4, 0xE9, 0xEF));
  p.restore();
  p.save();
  p.translate(30, 22);
  Magnifier(p, QPointF(14, 14), 7, kPaper);
  p.restore();
  QFont title("DejaVu Sans");
  title.setBold(true);
  title.setPixelSize(24);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(76, 6, 400, 30), Qt::AlignLeft | Qt::AlignVCenter, "Sorvani Recovery");
  QFont line("DejaVu Sans");
  line.setPixelSize(12);
  p.setFont(line);
  p.setPen(QColor(0xD6, 0xEA, 0xFF));
  p.drawText(QRectF(78, 34, 400, 20), Qt::AlignLeft | Qt::AlignVCenter,
             "Finds deleted files on NTFS and FAT drives");
  return image;
}

// The indexing animation: a magnifier circling over a disk platter.
QByteArray Animation() {
  constexpr quint32 kFrames = 8;
  constexpr quint32 kDelayMs = 120;
  QByteArray out;
  auto put32 = [&out](quint32 value) {
    for (int i = 0; i < 4; ++i) out.append(char((value >> (8 * i)) & 0xFF));
  };
  put32(kFrames);
  put32(kDelayMs);
  for (quint32 f = 0; f < kFrames; ++f) {
    QImage image = Canvas(48, 48);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Disc(p, QColor(0xE4, 0xE9, 0xEF), QPointF(24, 26), 19);
    qreal a = 2 * M_PI * f / kFrames;
    Magnifier(p, QPointF(22 + 9 * qCos(a), 23 + 9 * qSin(a)), 7, kBlue);
    p.end();
    QByteArray png = Png(image);
    put32(quint32(png.size()));
    out.append(png);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: svres-art OUTPUT_FOLDER\n");
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(".")) return 1;
  bool ok = true;
  for (const IconSpec& icon : Icons()) {
    QImage image = Canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    icon.draw(p);
    p.end();
    ok &= Write(dir.filePath(QString("icon-%1-%2.png").arg(icon.id).arg(icon.name)), Png(image));
  }
  ok &= Write(dir.filePath(QString("image-%1-index-banner.png").arg(sorvani::kImageIndexBanner)),
              Png(Banner()));
  ok &= Write(dir.filePath(QString("anim-%1-indexing.frames").arg(sorvani::kAnimationIndexing)),
              Animation());
  return ok ? 0 : 1;
}
