#include "ui/prop_dlg.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "app/folder_size.h"
#include "foundation/display_format.h"
#include "foundation/log.h"
#include "index/file_index.h"
#include "ntfs/ntfs_volume.h"
#include "ui/resources.h"

namespace sorvani::ui {

namespace {

constexpr const char* kTimePattern = "%B %d, %Y %I:%M %p";

QString TimeText(std::uint64_t fileTime) {
  return fileTime ? QString::fromStdString(FormatFileTime(fileTime, kTimePattern)) : QString();
}

class CFolderSizeTotal final : public IFolderTotal {
 public:
  CFolderSizeTotal(CSession& session, char letter, FolderNode folder)
      : m_job(session, letter, std::move(folder)) {}
  bool Start() override { return m_job.Start(); }
  void Cancel() override { m_job.Cancel(); }
  void Wait() override { m_job.Wait(); }
  bool Finished() const override { return m_job.Finished(); }
  std::uint64_t Bytes() const override { return m_job.Snapshot().bytes; }

 private:
  CFolderSizeJob m_job;
};

}  // namespace

bool PropEntry::IsFolder() const { return (attributes & kAttrFolderBit) != 0; }

FolderNode PropEntry::Folder() const {
  FolderNode node;
  node.path = folderPath;
  if (!node.path.empty() && node.path.back() != '\\') node.path += '\\';
  node.path += name + "\\";
  if (orphan) {
    node.kind = FolderKind::Orphan;
    node.record = record;
  } else if (record != 0) {
    node.kind = FolderKind::Deleted;
    node.record = record;
  } else {
    node.kind = FolderKind::Existing;
    node.record = liveRecord;
  }
  return node;
}

QString PropSizeText(std::uint64_t bytes) {
  return QStringLiteral("%1 (%2 bytes)")
      .arg(QString::fromStdString(FormatSize(bytes, false)))
      .arg(static_cast<qulonglong>(bytes));
}

PropTexts MakePropTexts(const PropEntry& entry) {
  PropTexts t;
  t.name = QString::fromStdString(entry.name);
  t.type = entry.IsFolder() ? QStringLiteral("File Folder")
                            : QString::fromStdString(DescribeFileType(entry.name).description);
  t.location = QString::fromStdString(entry.folderPath);
  if (!entry.IsFolder()) t.size = PropSizeText(entry.size);
  t.created = TimeText(entry.created);
  t.modified = TimeText(entry.modified);
  t.attributes = QString::fromStdString(FormatAttributes(entry.attributes));
  if (entry.overwritten > 0) t.overwritten = QStringLiteral("%1%").arg(entry.overwritten);
  return t;
}

std::unique_ptr<IFolderTotal> MakeFolderTotal(CSession& session, char letter, FolderNode folder) {
  // The deleted items of an existing folder hang below its record in the catalogue.
  if (folder.kind == FolderKind::Existing && folder.record == 0) {
    if (CNtfsVolume* volume = session.Volume(letter))
      folder.record = CNtfsIndexLister(volume).RecordOf(folder.path);
  }
  return std::make_unique<CFolderSizeTotal>(session, letter, std::move(folder));
}

CPropDlg::CPropDlg(CSession& session, const PropEntry& entry, QWidget* parent)
    : CPropDlg(entry,
               entry.IsFolder() ? MakeFolderTotal(session, entry.drive, entry.Folder()) : nullptr,
               parent) {}

CPropDlg::CPropDlg(const PropEntry& entry, std::unique_ptr<IFolderTotal> total, QWidget* parent)
    : QDialog(parent), m_entry(entry), m_texts(MakePropTexts(entry)) {
  if (entry.IsFolder()) m_total = std::move(total);
  OnInitDialog();
}

CPropDlg::~CPropDlg() { StopTotal(); }

void CPropDlg::OnInitDialog() {
  ScopeTrace trace(1, "CPropDlg::OnInitDialog");
  setWindowTitle(ResFormat(kIdsPropTitle, m_entry.name));
  setWindowIcon(ResIcon(kIconProperties));

  auto* outer = new QVBoxLayout(this);
  outer->setSizeConstraint(QLayout::SetFixedSize);
  auto* head = new QHBoxLayout;
  outer->addLayout(head);
  auto* icon = new QLabel(this);
  icon->setObjectName("propIcon");
  if (!m_entry.icon.isNull()) icon->setPixmap(m_entry.icon.pixmap(32, 32));
  head->addWidget(icon);
  auto* name = new QLabel(m_texts.name, this);
  name->setObjectName("propName");
  name->setTextFormat(Qt::PlainText);
  name->setTextInteractionFlags(Qt::TextSelectableByMouse);
  head->addWidget(name, 1);

  // One grid for every field, so the values line up across the groups.
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->setColumnStretch(1, 1);
  outer->addLayout(grid);
  auto line = [this, grid] {
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    grid->addWidget(rule, grid->rowCount(), 0, 1, 2);
  };
  auto field = [this, grid](unsigned label, const char* objectName, const QString& text) {
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(ResString(label), this), row, 0);
    auto* value = new QLabel(text, this);
    value->setObjectName(objectName);
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setMinimumWidth(260);
    grid->addWidget(value, row, 1);
    return value;
  };
  line();
  field(kIdsPropType, "propType", m_texts.type);
  field(kIdsPropLocation, "propLocation", m_texts.location);
  m_size = field(kIdsPropSize, "propSize", m_texts.size);
  line();
  field(kIdsPropCreated, "propCreated", m_texts.created);
  field(kIdsPropModified, "propModified", m_texts.modified);
  line();
  field(kIdsPropAttributes, "propAttributes", m_texts.attributes);
  field(kIdsPropOverwritten, "propOverwritten", m_texts.overwritten);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  outer->addWidget(buttons);

  if (m_total) {
    if (!m_total->Start()) {
      LogFile.Write(1, "The folder total could not be started\n");
      m_total.reset();
      return;
    }
    m_size->setText(PropSizeText(0));
    m_timer = new QTimer(this);
    m_timer->setInterval(kTotalTickMs);
    connect(m_timer, &QTimer::timeout, this, &CPropDlg::ShowTotal);
    m_timer->start();
  }
}

void CPropDlg::ShowTotal() {
  if (!m_total) return;
  m_size->setText(PropSizeText(m_total->Bytes()));
  if (m_total->Finished()) m_timer->stop();
}

QString CPropDlg::SizeShown() const { return m_size ? m_size->text() : QString(); }

void CPropDlg::StopTotal() {
  if (m_timer) m_timer->stop();
  if (!m_total) return;
  // The worker never waits on this thread, so waiting for it here cannot deadlock.
  m_total->Cancel();
  m_total->Wait();
}

void CPropDlg::done(int result) {
  StopTotal();
  QDialog::done(result);
}

}  // namespace sorvani::ui
