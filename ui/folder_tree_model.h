// The folder tree below one drive's root: existing folders beside the deleted ones of the
// catalogue and, under the root, the orphan folders; children are listed when a branch is first
// opened. The nodes live in CFolderTree (no widgets), so a drive tree can hang them below its
// drive nodes; CFolderTreeModel shows them on their own, the root's folders at the top level.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "index/folder_model.h"

namespace sorvani {
class CNtfsVolume;
}

namespace sorvani::ui {

// What the tree lists one drive through, on the UI thread: the drive's catalogue as published
// when it was made, a reader of its own and the volume's directory index.
class CDriveFolders {
 public:
  // nullptr when the drive holds no readable NTFS volume. The catalogue is used only when it
  // describes `letter`; else only the existing folders are listed.
  static std::unique_ptr<CDriveFolders> Open(CSession& session, char letter);
  // Over parts made elsewhere (synthetic catalogues).
  CDriveFolders(char letter, std::shared_ptr<const CFileIndex> index,
                std::unique_ptr<IRecordReader> reader, std::unique_ptr<ILiveLister> live);
  ~CDriveFolders();
  CDriveFolders(const CDriveFolders&) = delete;
  CDriveFolders& operator=(const CDriveFolders&) = delete;

  char Letter() const { return m_letter; }
  CFolderModel& Model() { return *m_model; }
  const CFileIndex& Index() const { return *m_index; }

 private:
  CDriveFolders() = default;
  char m_letter = 0;
  std::shared_ptr<const CFileIndex> m_index;
  std::unique_ptr<CNtfsVolume> m_volume;
  std::unique_ptr<IRecordReader> m_reader;
  std::unique_ptr<ILiveLister> m_live;
  std::unique_ptr<CFolderModel> m_model;
};

// One folder of the tree.
struct FolderTreeNode {
  FolderNode folder;          // path "X:\a\b\", record, existing / deleted / orphan
  std::string name;           // "" for the root
  std::uint64_t created = 0;  // 0 when not known (deleted folders are not read again)
  std::uint64_t modified = 0;
  FolderTreeNode* parent = nullptr;
  int row = 0;  // position among the parent's children
  std::vector<std::unique_ptr<FolderTreeNode>> children;
  bool fetched = false;
  // Until listed: whether the folder may hold folders (a deleted folder without deleted
  // subfolders in the catalogue shows no expander).
  bool mayHaveChildren = true;
  bool listFailed = false;  // the existing folder's directory could not be read
  bool Deleted() const { return folder.kind != FolderKind::Existing; }
};

// The nodes of one drive, listed lazily. No widgets; UI thread (the folder source is the
// owner's).
class CFolderTree {
 public:
  CFolderTree() = default;
  // Starts over at the root of `folders`' drive; nullptr leaves an empty tree.
  void Reset(std::unique_ptr<CDriveFolders> folders, bool deletedOnly);
  // Lists the root's folders again with another filter; the nodes below are dropped.
  void SetDeletedOnly(bool deletedOnly);
  bool DeletedOnly() const { return m_deletedOnly; }
  bool Empty() const { return !m_root; }
  char Letter() const { return m_folders ? m_folders->Letter() : 0; }
  CDriveFolders* Folders() { return m_folders.get(); }

  FolderTreeNode* Root() { return m_root.get(); }
  // Whether the node's children are still to be listed.
  bool CanFetch(const FolderTreeNode* node) const { return node && !node->fetched; }
  bool MayHaveChildren(const FolderTreeNode* node) const;
  // The node's subfolders, in name order without regard to case. The caller announces the
  // rows (the model's beginInsertRows) around Fetch when they change what a view shows.
  // `listed` false when an existing folder's directory could not be read (its deleted
  // subfolders are still given).
  std::vector<std::unique_ptr<FolderTreeNode>> ListChildren(const FolderTreeNode& node,
                                                            bool* listed = nullptr);
  void Adopt(FolderTreeNode& node, std::vector<std::unique_ptr<FolderTreeNode>> children);
  void Fetch(FolderTreeNode& node);

  // The node of a folder path ("X:\a\b\", names matched without case), listing branches on the
  // way; nullptr when a part is missing. The first match by name at each level.
  FolderTreeNode* Find(const std::string& path);
  // One step of a chain from the root: a name, and the record when known (0: any).
  struct ChainLink {
    std::string name;
    std::uint32_t record = 0;
  };
  // Walks the chain level by level; a link matches a child by name and, when it gives a
  // record, by record too (two folders of one name, one existing and one deleted).
  FolderTreeNode* FindChain(const std::vector<ChainLink>& chain);

  // "Name: %s\nType: %s" and the dates when known.
  static std::string ToolTip(const FolderTreeNode& node);

 private:
  std::unique_ptr<CDriveFolders> m_folders;
  std::unique_ptr<FolderTreeNode> m_root;
  bool m_deletedOnly = false;
};

// Tooltip text of a folder node: `type` "" gives "Unknown"; dates of 0 are left out.
std::string FolderToolTipText(const std::string& name, const std::string& type,
                              std::uint64_t created, std::uint64_t modified);

// Icons of the tree: I 205 closed, I 267 open, and both with the deleted mark I 212 drawn over
// them once.
class CFolderIcons {
 public:
  CFolderIcons();
  const QIcon& Closed(bool deleted) const { return deleted ? m_closedDeleted : m_closed; }
  const QIcon& Open(bool deleted) const { return deleted ? m_openDeleted : m_open; }
  // `base` with the deleted mark over it, at the usual list sizes.
  static QIcon WithDeletedMark(const QIcon& base);

 private:
  QIcon m_closed, m_open, m_closedDeleted, m_openDeleted;
};

// The tree as a Qt model: the root's folders at the top level. Roles: display (name),
// decoration (closed folder; the view's expanded state picks the open one through
// kOpenIconRole), tooltip, and the node's facts through the roles below.
class CFolderTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  enum Role {
    kPathRole = Qt::UserRole + 1,  // QString "X:\a\"
    kRecordRole,                   // quint32
    kKindRole,                     // int(FolderKind)
    kDeletedRole,                  // bool
    kOpenIconRole,                 // QIcon of the open folder
    kToolTipTextRole,              // the tooltip as plain text (ToolTipRole gives it styled)
  };

  explicit CFolderTreeModel(QObject* parent = nullptr);
  ~CFolderTreeModel() override;

  // Shows `letter` of `session` (the catalogue as published now); a drive without a readable
  // NTFS volume shows nothing. Call again when the drive, its catalogue or the filter change.
  void SetDrive(CSession& session, char letter, bool deletedOnly);
  // The same over a folder source made elsewhere.
  void SetFolders(std::unique_ptr<CDriveFolders> folders, bool deletedOnly);
  void SetDeletedOnly(bool deletedOnly);
  void Clear();
  CFolderTree& Tree() { return m_tree; }

  // The index of a folder path, listing the branches on the way; invalid for the root or
  // when not found.
  QModelIndex IndexOf(const std::string& folderPath);
  // The same through a chain of names and records (see CFolderTree::FindChain).
  QModelIndex IndexOfChain(const std::vector<CFolderTree::ChainLink>& chain);
  FolderTreeNode* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOfNode(const FolderTreeNode* node) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 private:
  FolderTreeNode* NodeOrRoot(const QModelIndex& index) const;
  void FetchNode(FolderTreeNode& node);
  void EndReset();

  CFolderTree m_tree;
  CFolderIcons m_icons;
  bool m_announcing = false;
};

// Draws an expanded folder with the open folder icon (kOpenIconRole).
class CFolderTreeDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit CFolderTreeDelegate(QTreeView* view) : QStyledItemDelegate(view), m_view(view) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  QPointer<QTreeView> m_view;
};

}  // namespace sorvani::ui
