// The drive nodes of the browse view's folder tree: one group per physical disk (with its
// local, removable and optical drives), the drives of no disk at the top level, and a group of
// the opened disk images. Each drive node holds one placeholder child, so the view offers to
// expand it; the folders below a drive come from the folder tree, which replaces it.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "app/session.h"
#include "disk/drive_enum.h"

class QTreeView;

namespace sorvani::ui {

class CVolumeFactsCache;
struct DriveFacts;

// kFolder: a row of the folders attached below a drive.
enum class DriveNodeKind : std::uint8_t { kDisk, kImages, kDrive, kPlaceholder, kFolder };

// One node as plain values, built without widgets.
struct DriveTreeItem {
  DriveNodeKind kind = DriveNodeKind::kDisk;
  QString text;
  unsigned icon = 0;  // resource icon
  char letter = 0;    // drives and their placeholders
  std::uint32_t type = kDriveUnknown;
  std::vector<DriveTreeItem> children;
};

struct DriveTreeLayout {
  std::vector<DriveTreeItem> top;  // disk groups, drives of no disk, then the images group
  std::set<char> ntfsLetters;      // fixed drives whose file system is NTFS (any case)
};

// Disks of opened images are numbered from here on (clear of the kernel's disks).
inline constexpr std::uint32_t kFirstImageDiskIndex = 0x10000;

// "LABEL (C:)" or "Local disk (C:)" for a fixed drive; "<description> (X:)" for the others.
QString DriveNodeText(char letter, const LogicalDisk& disk);
// Fixed drives whose file system is NTFS, compared without case.
std::set<char> NtfsDriveLetters(const LogicalDiskTable& logicalDisks);
// The nodes from the drive tables (owner's thread: the tables are the windows').
DriveTreeLayout LayOutDriveTree(const DriveTables& tables);
// "Name: %s\nType: %s\nFile system: %s\nSize: %s\nFree: %s"; the sizes empty when unknown.
QString DriveToolTipText(const QString& name, std::uint32_t type, const DriveFacts& facts);

class CDriveTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  enum Role { kKindRole = Qt::UserRole + 1, kLetterRole };

  // `facts` (may be null) answers the drive tooltips; it must outlive the model.
  explicit CDriveTreeModel(CVolumeFactsCache* facts = nullptr, QObject* parent = nullptr);
  ~CDriveTreeModel() override;

  // Builds the nodes again from the tables (at creation and after an image was opened).
  void Rebuild(const DriveTables& tables);
  // Opens an image through the session and shows its drives under the images group; the
  // letters, none with `error` set.
  std::vector<char> OpenImage(CSession& session, const std::string& path, std::string& error);

  const std::set<char>& NtfsLetters() const { return m_ntfsLetters; }
  // The node of a drive, invalid when the tree has none for it.
  QModelIndex DriveIndex(char letter) const;
  // The placeholder child of a drive node (invalid when the drive has none).
  QModelIndex PlaceholderIndex(char letter) const;
  // Group nodes (disks and images), to be expanded by the view.
  std::vector<QModelIndex> GroupIndexes() const;
  // Expands every group node of `view`.
  void ExpandGroups(QTreeView* view) const;

  // Shows the rows of `folders` (not owned; it must outlive the attachment) as the children
  // of drive `letter`'s node, in place of its placeholder: its top-level rows become the drive
  // node's rows, its own tree below them, and every change it signals is passed on (rows
  // inserted, removed, data, layout, reset). Only its column 0 is shown. A null model, or
  // DetachFolders, brings the placeholder back. Attachments survive Rebuild while the drive
  // stays in the tables.
  void AttachFolders(char letter, QAbstractItemModel* folders);
  void DetachFolders(char letter);
  QAbstractItemModel* AttachedFolders(char letter) const;
  // Between an index of this model below a drive and the attached model's own index.
  QModelIndex MapFromFolders(char letter, const QModelIndex& folderIndex) const;
  QModelIndex MapToFolders(const QModelIndex& index) const;  // invalid for the drive nodes
  // The drive an index belongs to (its own letter for a drive node, its drive's for a folder).
  char DriveOf(const QModelIndex& index) const;

  DriveNodeKind Kind(const QModelIndex& index) const;
  char Letter(const QModelIndex& index) const;  // 0 for a group
  std::uint32_t DriveType(const QModelIndex& index) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 private:
  struct Attachment;
  // What an index's internal pointer points at: a node of our own, or (for the rows of an
  // attached model) the record of their parent in that model.
  struct Slot {
    bool foreign = false;
  };
  struct Node : Slot {
    DriveTreeItem item;  // without children: those are below
    Node* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children;
  };
  struct Record : Slot {
    Attachment* attachment = nullptr;
    bool top = false;                    // the attached model's root
    QPersistentModelIndex sourceParent;  // not top: the parent of the rows it stands for
    bool dead = false;                   // the model was reset or detached
  };
  struct Attachment {
    char letter = 0;
    Node* drive = nullptr;
    QAbstractItemModel* model = nullptr;
    bool hidden = false;  // between a reset of the model and its end
    Record top;
    std::vector<std::unique_ptr<Record>> records;
    std::vector<QMetaObject::Connection> connections;
    QModelIndexList layoutOwn;
    QList<QPersistentModelIndex> layoutSource;
  };
  Node* NodeOf(const QModelIndex& index) const;  // nullptr for a row of an attached model
  Record* RecordOf(const QModelIndex& index) const;
  Record* RecordFor(Attachment& attachment, const QModelIndex& sourceParent) const;
  QModelIndex SourceOf(const QModelIndex& index) const;
  QModelIndex FromSource(Attachment& attachment, const QModelIndex& source) const;
  Attachment* AttachmentOf(const Node* node) const;
  void Connect(Attachment& attachment);
  void Adopt(Node* parent, const std::vector<DriveTreeItem>& items);
  QIcon Icon(unsigned id) const;
  void OnFactsReady(char letter);

  CVolumeFactsCache* m_facts;
  Node m_root;
  std::map<char, Node*> m_drives;
  std::map<char, std::unique_ptr<Attachment>> m_attachments;
  std::set<char> m_ntfsLetters;
  mutable std::map<unsigned, QIcon> m_icons;
};

}  // namespace sorvani::ui
