#include "ui/folder_tree_model.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <set>
#include <utility>

#include "foundation/display_format.h"
#include "foundation/log.h"
#include "foundation/name_compare.h"
#include "index/ntfs_record_reader.h"
#include "ntfs/ntfs_volume.h"
#include "ui/resources.h"
#include "ui/tooltip_style.h"

namespace sorvani::ui {

namespace {

constexpr const char* kFolderTypeText = "File Folder";

std::vector<std::string> SplitFolderPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  if (path.size() >= 2 && path[1] == ':') at = 2;
  while (at < path.size()) {
    while (at < path.size() && (path[at] == '\\' || path[at] == '/')) ++at;
    std::size_t end = at;
    while (end < path.size() && path[end] != '\\' && path[end] != '/') ++end;
    if (end > at) parts.push_back(path.substr(at, end - at));
    at = end;
  }
  return parts;
}

// Name order without regard to case; names equal but for case keep a fixed order.
bool LessNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(FoldAsciiCase(a[i]));
    const auto y = static_cast<unsigned char>(FoldAsciiCase(b[i]));
    if (x != y) return x < y;
  }
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

// ---- CDriveFolders ----

std::unique_ptr<CDriveFolders> CDriveFolders::Open(CSession& session, char letter) {
  std::unique_ptr<CNtfsVolume> volume = session.NewReader(letter);
  if (!volume) return nullptr;
  PublishedCatalogue catalogue = session.Catalogue();
  std::unique_ptr<CDriveFolders> out(new CDriveFolders);
  out->m_letter = letter;
  out->m_index = catalogue.drive == letter && catalogue.index
                     ? catalogue.index
                     : std::make_shared<const CFileIndex>();
  out->m_volume = std::move(volume);
  out->m_reader = std::make_unique<CNtfsRecordReader>(out->m_volume.get(), out->m_index.get());
  out->m_live = std::make_unique<CNtfsIndexLister>(out->m_volume.get());
  out->m_model =
      std::make_unique<CFolderModel>(letter, *out->m_index, *out->m_reader, *out->m_live);
  return out;
}

CDriveFolders::CDriveFolders(char letter, std::shared_ptr<const CFileIndex> index,
                             std::unique_ptr<IRecordReader> reader,
                             std::unique_ptr<ILiveLister> live)
    : m_letter(letter),
      m_index(index ? std::move(index) : std::make_shared<const CFileIndex>()),
      m_reader(std::move(reader)),
      m_live(std::move(live)),
      m_model(std::make_unique<CFolderModel>(letter, *m_index, *m_reader, *m_live)) {}

CDriveFolders::~CDriveFolders() = default;

// ---- CFolderTree ----

void CFolderTree::Reset(std::unique_ptr<CDriveFolders> folders, bool deletedOnly) {
  m_root.reset();
  m_folders = std::move(folders);
  m_deletedOnly = deletedOnly;
  if (!m_folders) return;
  m_folders->Model().SetDeletedOnly(deletedOnly);
  m_root = std::make_unique<FolderTreeNode>();
  m_root->folder = m_folders->Model().Root();
}

void CFolderTree::SetDeletedOnly(bool deletedOnly) {
  m_deletedOnly = deletedOnly;
  if (!m_folders) return;
  m_folders->Model().SetDeletedOnly(deletedOnly);
  m_root = std::make_unique<FolderTreeNode>();
  m_root->folder = m_folders->Model().Root();
}

bool CFolderTree::MayHaveChildren(const FolderTreeNode* node) const {
  if (!node) return false;
  if (node->fetched) return !node->children.empty();
  return node->mayHaveChildren;
}

std::vector<std::unique_ptr<FolderTreeNode>> CFolderTree::ListChildren(const FolderTreeNode& node,
                                                                       bool* listed) {
  std::vector<std::unique_ptr<FolderTreeNode>> out;
  if (!m_folders) return out;
  CFolderModel& model = m_folders->Model();
  const CFileIndex& index = m_folders->Index();
  std::vector<FolderItem> items;
  const bool read = model.ListSubfolders(node.folder, items);
  if (listed) *listed = read;
  if (!read) LogFile.Write(1, "FindFirstFile failed\n");

  // A deleted folder may name one of its own ancestors as its parent; showing it again would
  // open an endless branch.
  std::set<std::pair<int, std::uint32_t>> ancestors;
  for (const FolderTreeNode* up = &node; up; up = up->parent)
    if (up->folder.record != 0)
      ancestors.insert({static_cast<int>(up->folder.kind), up->folder.record});

  std::vector<const FolderItem*> live;
  for (const FolderItem& item : items)
    if (!item.deleted) live.push_back(&item);
  for (const FolderItem& item : items) {
    if (!item.IsFolder()) continue;
    // A deleted folder with the name of an existing one is reached through that one.
    if (item.deleted && !item.orphan &&
        std::any_of(live.begin(), live.end(), [&](const FolderItem* l) {
          return model.SameName(l->row.name, item.row.name);
        }))
      continue;
    FolderNode entered = model.Enter(node.folder, item);
    if (entered.record != 0 && ancestors.count({static_cast<int>(entered.kind), entered.record}))
      continue;
    auto child = std::make_unique<FolderTreeNode>();
    child->folder = std::move(entered);
    child->name = item.row.name;
    child->created = item.row.created;
    child->modified = item.row.modified;
    if (child->Deleted()) {
      // The catalogue knows the children of a deleted folder without reading anything.
      auto [first, last] = index.ChildRange(child->folder.record);
      bool anyFolder = false;
      for (auto it = first; it != last && !anyFolder; ++it) {
        const FileIndexEntry* e = index.FindEntry(*it);
        anyFolder = e && e->IsFolder();
      }
      child->mayHaveChildren = anyFolder;
    }
    out.push_back(std::move(child));
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const auto& a, const auto& b) { return LessNoCase(a->name, b->name); });
  return out;
}

void CFolderTree::Fetch(FolderTreeNode& node) {
  bool listed = true;
  auto children = ListChildren(node, &listed);
  node.listFailed = !listed;
  Adopt(node, std::move(children));
}

void CFolderTree::Adopt(FolderTreeNode& node,
                        std::vector<std::unique_ptr<FolderTreeNode>> children) {
  node.fetched = true;
  node.children = std::move(children);
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    node.children[i]->parent = &node;
    node.children[i]->row = static_cast<int>(i);
  }
}

FolderTreeNode* CFolderTree::Find(const std::string& path) {
  std::vector<ChainLink> chain;
  if (path.size() >= 2 && path[1] == ':' && m_folders &&
      std::toupper(static_cast<unsigned char>(path[0])) !=
          std::toupper(static_cast<unsigned char>(m_folders->Letter())))
    return nullptr;
  for (std::string& part : SplitFolderPath(path)) chain.push_back({std::move(part), 0});
  return FindChain(chain);
}

FolderTreeNode* CFolderTree::FindChain(const std::vector<ChainLink>& chain) {
  FolderTreeNode* at = m_root.get();
  if (!at) return nullptr;
  for (const ChainLink& link : chain) {
    if (!at->fetched) Fetch(*at);
    FolderTreeNode* next = nullptr;
    for (const auto& child : at->children) {
      if (!m_folders->Model().SameName(child->name, link.name)) continue;
      if (link.record != 0 && child->folder.record != link.record) continue;
      next = child.get();
      break;
    }
    if (!next) return nullptr;
    at = next;
  }
  return at;
}

std::string CFolderTree::ToolTip(const FolderTreeNode& node) {
  return FolderToolTipText(node.name, kFolderTypeText, node.created, node.modified);
}

std::string FolderToolTipText(const std::string& name, const std::string& type,
                              std::uint64_t created, std::uint64_t modified) {
  std::string text = "Name: " + name + "\nType: " + (type.empty() ? "Unknown" : type);
  if (std::string c = created ? FormatFileTime(created, "%x %X") : ""; !c.empty())
    text += "\nDate Created: " + c;
  if (std::string m = modified ? FormatFileTime(modified, "%x %X") : ""; !m.empty())
    text += "\nDate Modified: " + m;
  return text;
}

// ---- CFolderIcons ----

CFolderIcons::CFolderIcons()
    : m_closed(ResIcon(kIconFolderClosed)),
      m_open(ResIcon(kIconFolderOpen)),
      m_closedDeleted(WithDeletedMark(m_closed)),
      m_openDeleted(WithDeletedMark(m_open)) {}

QIcon CFolderIcons::WithDeletedMark(const QIcon& base) {
  const QIcon mark = ResIcon(kIconDeletedOverlay);
  if (base.isNull() || mark.isNull()) return base;
  QIcon out;
  for (int side : {16, 24, 32}) {
    QPixmap canvas(side, side);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    base.paint(&painter, 0, 0, side, side);
    mark.paint(&painter, 0, 0, side, side);
    painter.end();
    out.addPixmap(canvas);
  }
  return out;
}

// ---- CFolderTreeModel ----

CFolderTreeModel::CFolderTreeModel(QObject* parent) : QAbstractItemModel(parent) {}
CFolderTreeModel::~CFolderTreeModel() = default;

void CFolderTreeModel::SetDrive(CSession& session, char letter, bool deletedOnly) {
  SetFolders(CDriveFolders::Open(session, letter), deletedOnly);
}

void CFolderTreeModel::SetFolders(std::unique_ptr<CDriveFolders> folders, bool deletedOnly) {
  beginResetModel();
  m_tree.Reset(std::move(folders), deletedOnly);
  // The root's folders come with the reset: a view asks for them at once anyway.
  if (FolderTreeNode* root = m_tree.Root()) m_tree.Fetch(*root);
  EndReset();
}

void CFolderTreeModel::SetDeletedOnly(bool deletedOnly) {
  beginResetModel();
  m_tree.SetDeletedOnly(deletedOnly);
  if (FolderTreeNode* root = m_tree.Root()) m_tree.Fetch(*root);
  EndReset();
}

void CFolderTreeModel::Clear() {
  beginResetModel();
  m_tree.Reset(nullptr, m_tree.DeletedOnly());
  EndReset();
}

void CFolderTreeModel::EndReset() {
  // Whoever hears of a change may look around at once; no branch is listed (no rows
  // inserted) until the change has been announced to all.
  m_announcing = true;
  endResetModel();
  m_announcing = false;
}

FolderTreeNode* CFolderTreeModel::NodeOf(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  return static_cast<FolderTreeNode*>(index.internalPointer());
}

FolderTreeNode* CFolderTreeModel::NodeOrRoot(const QModelIndex& index) const {
  if (!index.isValid()) return const_cast<CFolderTree&>(m_tree).Root();
  return NodeOf(index);
}

QModelIndex CFolderTreeModel::IndexOfNode(const FolderTreeNode* node) const {
  if (!node || !node->parent) return {};
  return createIndex(node->row, 0, const_cast<FolderTreeNode*>(node));
}

QModelIndex CFolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  FolderTreeNode* node = NodeOrRoot(parent);
  if (!node || row >= static_cast<int>(node->children.size())) return {};
  return createIndex(row, 0, node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex CFolderTreeModel::parent(const QModelIndex& child) const {
  FolderTreeNode* node = NodeOf(child);
  if (!node || !node->parent) return {};
  return IndexOfNode(node->parent);
}

int CFolderTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  FolderTreeNode* node = NodeOrRoot(parent);
  return node ? static_cast<int>(node->children.size()) : 0;
}

int CFolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant CFolderTreeModel::data(const QModelIndex& index, int role) const {
  FolderTreeNode* node = NodeOf(index);
  if (!node) return {};
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(node->name);
    case Qt::DecorationRole:
      return m_icons.Closed(node->Deleted());
    case kOpenIconRole:
      return m_icons.Open(node->Deleted());
    case Qt::ToolTipRole:
      return RichToolTipText(QString::fromStdString(CFolderTree::ToolTip(*node)));
    case kToolTipTextRole:
      return QString::fromStdString(CFolderTree::ToolTip(*node));
    case kPathRole:
      return QString::fromStdString(node->folder.path);
    case kRecordRole:
      return static_cast<quint32>(node->folder.record);
    case kKindRole:
      return static_cast<int>(node->folder.kind);
    case kDeletedRole:
      return node->Deleted();
    default:
      return {};
  }
}

bool CFolderTreeModel::hasChildren(const QModelIndex& parent) const {
  if (parent.column() > 0) return false;
  FolderTreeNode* node = NodeOrRoot(parent);
  if (!node) return false;
  if (!parent.isValid()) return node->fetched ? !node->children.empty() : true;
  return m_tree.MayHaveChildren(node);
}

bool CFolderTreeModel::canFetchMore(const QModelIndex& parent) const {
  return !m_announcing && m_tree.CanFetch(NodeOrRoot(parent));
}

void CFolderTreeModel::fetchMore(const QModelIndex& parent) {
  if (m_announcing) return;
  if (FolderTreeNode* node = NodeOrRoot(parent); node && !node->fetched) FetchNode(*node);
}

void CFolderTreeModel::FetchNode(FolderTreeNode& node) {
  bool listed = true;
  auto children = m_tree.ListChildren(node, &listed);
  node.listFailed = !listed;
  const QModelIndex at = IndexOfNode(&node);
  if (children.empty()) {
    m_tree.Adopt(node, {});
    return;
  }
  // Listed once: whoever hears of the rows may ask for the branch again before they are in.
  node.fetched = true;
  m_announcing = true;
  beginInsertRows(at, 0, static_cast<int>(children.size()) - 1);
  m_tree.Adopt(node, std::move(children));
  endInsertRows();
  m_announcing = false;
}

QModelIndex CFolderTreeModel::IndexOf(const std::string& folderPath) {
  // Branches on the way are listed through the model, so views hear of the new rows.
  std::vector<CFolderTree::ChainLink> chain;
  for (std::string& part : SplitFolderPath(folderPath)) chain.push_back({std::move(part), 0});
  if (folderPath.size() >= 2 && folderPath[1] == ':' &&
      std::toupper(static_cast<unsigned char>(folderPath[0])) !=
          std::toupper(static_cast<unsigned char>(m_tree.Letter())))
    return {};
  return IndexOfChain(chain);
}

QModelIndex CFolderTreeModel::IndexOfChain(const std::vector<CFolderTree::ChainLink>& chain) {
  FolderTreeNode* at = m_tree.Root();
  if (!at || chain.empty()) return {};
  for (const CFolderTree::ChainLink& link : chain) {
    if (!at->fetched) FetchNode(*at);
    FolderTreeNode* next = nullptr;
    for (const auto& child : at->children) {
      if (!m_tree.Folders()->Model().SameName(child->name, link.name)) continue;
      if (link.record != 0 && child->folder.record != link.record) continue;
      next = child.get();
      break;
    }
    if (!next) return {};
    at = next;
  }
  return IndexOfNode(at);
}

void CFolderTreeDelegate::initStyleOption(QStyleOptionViewItem* option,
                                          const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (m_view && m_view->isExpanded(index)) {
    const QVariant open = index.data(CFolderTreeModel::kOpenIconRole);
    if (open.canConvert<QIcon>()) option->icon = open.value<QIcon>();
  }
}

}  // namespace sorvani::ui
