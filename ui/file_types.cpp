#include "ui/file_types.h"

#include <QHash>
#include <QMimeType>
#include <QPainter>
#include <QPixmap>

#include "foundation/name_compare.h"
#include "ui/file_list_sort.h"
#include "ui/resources.h"

namespace sorvani::ui {

FileTypeInfo CMimeFileTypeProvider::Describe(std::string_view name) {
  FileTypeInfo info;
  const QMimeType type = m_database.mimeTypeForFile(
      QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())),
      QMimeDatabase::MatchExtension);
  // The default type means "nothing known"; the caller's "XYZ File" is the better name.
  if (!type.isValid() || type.isDefault()) return info;
  info.description = type.comment().toStdString();
  QIcon icon = QIcon::fromTheme(type.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
  if (!icon.isNull()) info.icon = std::make_shared<QIcon>(icon);
  return info;
}

QIcon WithDeletedOverlay(const QIcon& base) {
  static QHash<qint64, QIcon> composed;
  const QIcon overlay = ResIcon(kIconDeletedOverlay);
  if (base.isNull() || overlay.isNull()) return base;
  auto it = composed.constFind(base.cacheKey());
  if (it != composed.constEnd()) return *it;
  QIcon out;
  for (int side : {16, 32}) {
    QPixmap canvas(side, side);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    const QRect area(0, 0, side, side);
    base.paint(&painter, area);
    overlay.paint(&painter, area);
    painter.end();
    out.addPixmap(canvas);
  }
  composed.insert(base.cacheKey(), out);
  return out;
}

CFileTypeCache::Face& CFileTypeCache::FaceOf(const FileListEntry& entry) {
  if (entry.IsFolder()) {
    if (!m_folderReady) {
      m_folder.type = QStringLiteral("File Folder");
      m_folder.icon = ResIcon(kIconFolderPlain);
      m_folderReady = !m_folder.icon.isNull();
    }
    return m_folder;
  }
  std::string key(entry.Extension());
  for (char& c : key) c = FoldAsciiCase(c);
  auto it = m_byExtension.find(key);
  if (it != m_byExtension.end()) return it->second;
  Face face;
  if (key.empty()) {
    // Without an extension there is nothing the desktop could tell apart.
    face.type = QStringLiteral("File");
  } else {
    FileTypeInfo info = DescribeFileType(entry.name);
    face.type = QString::fromStdString(info.description);
    if (info.icon) face.icon = *static_cast<const QIcon*>(info.icon.get());
  }
  if (face.icon.isNull()) face.icon = ResIcon(kIconGenericFile);
  return m_byExtension.emplace(std::move(key), std::move(face)).first->second;
}

QString CFileTypeCache::TypeText(const FileListEntry& entry) { return FaceOf(entry).type; }

QIcon CFileTypeCache::Icon(const FileListEntry& entry) {
  Face& face = FaceOf(entry);
  if (!entry.deleted) return face.icon;
  if (face.deletedIcon.isNull()) face.deletedIcon = WithDeletedOverlay(face.icon);
  return face.deletedIcon;
}

}  // namespace sorvani::ui
