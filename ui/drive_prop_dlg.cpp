#include "ui/drive_prop_dlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "disk/drive_enum.h"
#include "foundation/display_format.h"
#include "ui/resources.h"

namespace sorvani::ui {

unsigned DrivePropIcon(char letter, std::uint32_t type) {
  if (letter == 'A') return kIconFloppy;
  switch (type) {
    case kDriveRemovable:
      return kIconRemovable;
    case kDriveFixed:
      return kIconFixedDrive;
    case kDriveCdRom:
      return kIconOptical;
    default:
      return kIconFloppy;
  }
}

DrivePropFields MakeDrivePropFields(char letter, std::uint32_t type, const DriveFacts& facts) {
  DrivePropFields fields;
  fields.icon = DrivePropIcon(letter, type);
  fields.root = QStringLiteral("%1:\\").arg(QChar(letter));
  fields.type = QString::fromUtf8(DriveTypeName(type));
  if (facts.Readable()) {
    fields.label = QString::fromStdString(facts.info.label);
    fields.fileSystem = QString::fromStdString(facts.info.fsName);
  }
  if (facts.known && facts.info.capacityKnown && facts.info.freeKnown) {
    fields.capacity = QString::fromStdString(FormatSize(facts.info.capacity, false));
    fields.free = QString::fromStdString(FormatSize(facts.info.free, false));
  }
  return fields;
}

CDrivePropDlg::CDrivePropDlg(char letter, std::uint32_t type, const DriveFacts& facts,
                             QWidget* parent)
    : QDialog(parent), m_fields(MakeDrivePropFields(letter, type, facts)) {
  setObjectName(QStringLiteral("DrivePropertiesDialog"));
  setWindowTitle(ResFormat(kIdsDrivePropTitle, m_fields.root.toStdString()));
  const QIcon icon = ResIcon(m_fields.icon);
  setWindowIcon(icon);
  auto* outer = new QVBoxLayout(this);
  outer->setSizeConstraint(QLayout::SetFixedSize);

  auto* head = new QHBoxLayout;
  outer->addLayout(head);
  auto* iconLabel = new QLabel;
  iconLabel->setObjectName(QStringLiteral("Icon"));
  iconLabel->setPixmap(icon.pixmap(32, 32));
  head->addWidget(iconLabel);
  auto* root = new QLabel(m_fields.root);
  root->setObjectName(QStringLiteral("Root"));
  QFont bold = root->font();
  bold.setBold(true);
  root->setFont(bold);
  head->addWidget(root, 1);

  auto* form = new QFormLayout;
  form->setHorizontalSpacing(16);
  outer->addLayout(form);
  auto add = [&](unsigned caption, const char* name, const QString& value) {
    auto* field = new QLabel(value);
    field->setObjectName(QString::fromLatin1(name));
    field->setTextInteractionFlags(Qt::TextSelectableByMouse);
    field->setMinimumWidth(180);
    form->addRow(ResString(caption), field);
  };
  add(kIdsDrivePropType, "Type", m_fields.type);
  add(kIdsDrivePropLabel, "Label", m_fields.label);
  add(kIdsDrivePropFs, "FileSystem", m_fields.fileSystem);
  add(kIdsDrivePropCapacity, "Capacity", m_fields.capacity);
  add(kIdsDrivePropFree, "Free", m_fields.free);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  outer->addWidget(buttons);
}

QLabel* CDrivePropDlg::Field(const char* name) const {
  return findChild<QLabel*>(QString::fromLatin1(name));
}

}  // namespace sorvani::ui
