// The properties of one drive: its icon, root, type, label, file system, capacity and free
// space.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

#include "ui/volume_facts_cache.h"

class QLabel;

namespace sorvani::ui {

struct DrivePropFields {
  unsigned icon = 0;
  QString root;  // "C:\"
  QString type;  // DriveTypeName
  QString label;
  QString fileSystem;
  QString capacity;
  QString free;
};

// The icon of the properties: floppy for A and for unknown types, then removable, fixed, optical.
unsigned DrivePropIcon(char letter, std::uint32_t type);
// Label and file system empty when the volume information cannot be read; both sizes empty
// when the free space is not known.
DrivePropFields MakeDrivePropFields(char letter, std::uint32_t type, const DriveFacts& facts);

class CDrivePropDlg : public QDialog {
  Q_OBJECT

 public:
  CDrivePropDlg(char letter, std::uint32_t type, const DriveFacts& facts,
                QWidget* parent = nullptr);

  const DrivePropFields& Fields() const { return m_fields; }
  QLabel* Field(
      const char* name) const;  // "Root", "Type", "Label", "FileSystem", "Capacity", "Free"

 private:
  DrivePropFields m_fields;
};

}  // namespace sorvani::ui
