// What the file list shows for a type of file: the desktop's name and icon of an extension
// (through the shared file-type hook), kept once per extension, and the deleted mark drawn over
// an icon once per icon.
#pragma once

#include <QIcon>
#include <QMimeDatabase>
#include <QString>
#include <string>
#include <string_view>
#include <unordered_map>

#include "foundation/display_format.h"

namespace sorvani::ui {

struct FileListEntry;

// The desktop's MIME database behind the file-type hook: the type's comment as its name and the
// theme's icon of the type (the generic one when the theme lacks it). Its FileTypeInfo::icon
// holds a QIcon; call it on the UI thread.
class CMimeFileTypeProvider : public IFileTypeProvider {
 public:
  FileTypeInfo Describe(std::string_view name) override;

 private:
  QMimeDatabase m_database;
};

// `base` with the deleted mark (icon 212) drawn over it; `base` itself when either is missing.
// Composed once per base icon and kept.
QIcon WithDeletedOverlay(const QIcon& base);

// Type texts and icons of the list's rows, asked of the hook once per extension (no case). The
// hook's icons are QIcons (see CMimeFileTypeProvider); files without one get icon 206.
class CFileTypeCache {
 public:
  QString TypeText(const FileListEntry& entry);
  QIcon Icon(const FileListEntry& entry);
  void Clear() { m_byExtension.clear(); }

 private:
  struct Face {
    QString type;
    QIcon icon;
    QIcon deletedIcon;  // made when first needed
  };
  Face& FaceOf(const FileListEntry& entry);
  std::unordered_map<std::string, Face> m_byExtension;
  Face m_folder;
  bool m_folderReady = false;
};

}  // namespace sorvani::ui
