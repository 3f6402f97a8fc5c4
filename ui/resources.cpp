#include "ui/resources.h"

#include <QHash>
#include <QImage>

#include "app/resource_library.h"

namespace sorvani::ui {

namespace {

// Icon numbers and the freedesktop names of the same meaning, tried in order.
struct ThemeName {
  unsigned id;
  const char* names[2];
};

constexpr ThemeName kThemeNames[] = {
    {kIconFolderPlain, {"folder", nullptr}},
    {kIconFixedDrive, {"drive-harddisk", nullptr}},
    {kIconFolderClosed, {"folder", nullptr}},
    {kIconGenericFile, {"text-x-generic", "unknown"}},
    {kIconOnlineHelp, {"help-browser", nullptr}},
    {kIconProperties, {"document-properties", nullptr}},
    {kIconOptions, {"preferences-system", nullptr}},
    {kIconExit, {"application-exit", nullptr}},
    {kIconSelectAll, {"edit-select-all", nullptr}},
    {kIconAbout, {"help-about", nullptr}},
    {kIconFloppy, {"media-floppy", nullptr}},
    {kIconRemovable, {"drive-removable-media", nullptr}},
    {kIconOptical, {"drive-optical", nullptr}},
    {kIconDisk, {"drive-harddisk", nullptr}},
    {kIconRecover, {"document-save", nullptr}},
    {kIconReindex, {"view-refresh", nullptr}},
    {kIconFolderOpen, {"folder-open", nullptr}},
    {kIconQuickView, {"document-preview", "zoom-original"}},
    {kIconHelp, {"help-contents", nullptr}},
    {kIconWizard, {"tools-wizard", "system-run"}},
    {kIconFeedback, {"mail-send", "mail-message-new"}},
    {kIconBack, {"go-previous", nullptr}},
    {kIconUp, {"go-up", nullptr}},
    {kIconShowDeletedOnly, {"view-filter", nullptr}},
    {kIconOpenImage, {"document-open", nullptr}},
    // kIconDeletedOverlay has no theme counterpart: it is always the library's own mark.
};

QIcon ThemeIcon(unsigned id) {
  for (const ThemeName& entry : kThemeNames) {
    if (entry.id != id) continue;
    for (const char* name : entry.names) {
      if (name != nullptr && QIcon::hasThemeIcon(QString::fromLatin1(name)))
        return QIcon::fromTheme(QString::fromLatin1(name));
    }
  }
  return {};
}

QPixmap DecodePixmap(unsigned kind, unsigned id) {
  QByteArray bytes = ResData(kind, id);
  QPixmap pixmap;
  if (!bytes.isEmpty()) pixmap.loadFromData(bytes, "PNG");
  return pixmap;
}

}  // namespace

// Through foundation, which asks the loaded library or, when none is loaded (widget tests), the
// built-in table: both hold the same texts.
QString ResString(unsigned id) { return QString::fromStdString(LoadResString(id)); }

QByteArray ResData(unsigned kind, unsigned id) {
  std::span<const unsigned char> data = ResourceLibrary().Data(kind, id);
  // A copy: the caller may keep it, and the resources are small.
  return QByteArray(reinterpret_cast<const char*>(data.data()),
                    static_cast<qsizetype>(data.size()));
}

// Icons and pictures are asked for on the UI thread only, so plain caches do.
QIcon ResIcon(unsigned id) {
  static QHash<unsigned, QIcon> cache;
  auto it = cache.constFind(id);
  if (it != cache.constEnd()) return *it;
  QIcon icon = ThemeIcon(id);
  if (icon.isNull()) {
    QPixmap drawn = DecodePixmap(kResIcon, id);
    if (!drawn.isNull()) icon = QIcon(drawn);
  }
  if (!icon.isNull()) cache.insert(id, icon);  // a miss is asked again once a library is loaded
  return icon;
}

QPixmap ResImage(unsigned id) {
  static QHash<unsigned, QPixmap> cache;
  auto it = cache.constFind(id);
  if (it != cache.constEnd()) return *it;
  QPixmap image = DecodePixmap(kResImage, id);
  if (!image.isNull()) cache.insert(id, image);
  return image;
}

}  // namespace sorvani::ui
