#include "ui/drive_tree_model.h"

#include <QTreeView>

#include "foundation/display_format.h"
#include "ui/drive_groups.h"
#include "ui/resources.h"
#include "ui/volume_facts_cache.h"

namespace sorvani::ui {

namespace {

unsigned IconOfGroupIcon(DriveGroupIcon icon) {
  switch (icon) {
    case DriveGroupIcon::kLocal:
      return kIconFixedDrive;
    case DriveGroupIcon::kFloppy:
      return kIconFloppy;
    case DriveGroupIcon::kOptical:
      return kIconOptical;
    default:
      return kIconRemovable;
  }
}

DriveTreeItem DriveItem(const GroupedDrive& node, const LogicalDisk* disk) {
  DriveTreeItem item;
  item.kind = DriveNodeKind::kDrive;
  item.letter = node.letter;
  item.type = node.type;
  item.icon = IconOfGroupIcon(node.icon);
  item.text = disk ? DriveNodeText(node.letter, *disk) : QString::fromStdString(node.text);
  DriveTreeItem placeholder;
  placeholder.kind = DriveNodeKind::kPlaceholder;
  placeholder.letter = node.letter;
  item.children.push_back(std::move(placeholder));
  return item;
}

}  // namespace

unsigned DriveTreeIcon(char letter, std::uint32_t type) {
  switch (type) {
    case kDriveFixed:
      return kIconFixedDrive;
    case kDriveCdRom:
      return kIconOptical;
    default:
      return letter == 'A' || letter == 'B' ? kIconFloppy : kIconRemovable;
  }
}

QString DriveNodeText(char letter, const LogicalDisk& disk) {
  QString name;
  if (disk.type == kDriveFixed)
    name = disk.label.empty() ? ResString(kIdsLocalDisk) : QString::fromStdString(disk.label);
  else
    name = QString::fromStdString(disk.description);
  return QStringLiteral("%1 (%2:)").arg(name, QChar(letter));
}

std::set<char> NtfsDriveLetters(const LogicalDiskTable& logicalDisks) {
  std::set<char> out;
  for (const auto& [letter, disk] : logicalDisks)
    if (disk.type == kDriveFixed &&
        QString::fromStdString(disk.fsName).compare(QStringLiteral("NTFS"), Qt::CaseInsensitive) ==
            0)
      out.insert(letter);
  return out;
}

DriveTreeLayout LayOutDriveTree(const DriveTables& tables) {
  DriveTreeLayout layout;
  const GroupedDrives tree = GroupDrives(tables);
  auto disk = [&](char letter) -> const LogicalDisk* {
    auto found = tables.logicalDisks.find(letter);
    return found == tables.logicalDisks.end() ? nullptr : &found->second;
  };
  DriveTreeItem images;
  images.kind = DriveNodeKind::kImages;
  images.text = ResString(kIdsDiskImagesGroup);
  images.icon = kIconDisk;
  for (const GroupedDisk& group : tree.disks) {
    if (group.diskIndex >= kFirstImageDiskIndex) {
      // An image's drives stand in the one images group, whatever file they came from.
      for (const GroupedDrive& node : group.drives)
        images.children.push_back(DriveItem(node, disk(node.letter)));
      continue;
    }
    DriveTreeItem item;
    item.kind = DriveNodeKind::kDisk;
    item.text = QString::fromStdString(group.title);
    item.icon = kIconDisk;
    for (const GroupedDrive& node : group.drives)
      item.children.push_back(DriveItem(node, disk(node.letter)));
    layout.top.push_back(std::move(item));
  }
  // Drives of no disk keep the text and icon the tree contract gives them.
  for (const GroupedDrive& node : tree.topLevel) layout.top.push_back(DriveItem(node, nullptr));
  if (!images.children.empty()) layout.top.push_back(std::move(images));
  layout.ntfsLetters = NtfsDriveLetters(tables.logicalDisks);
  return layout;
}

QString DriveToolTipText(const QString& name, std::uint32_t type, const DriveFacts& facts) {
  QString fs, size, free;
  if (facts.Readable()) {
    fs = QString::fromStdString(facts.info.fsName);
    if (facts.info.capacityKnown)
      size = QString::fromStdString(FormatSize(facts.info.capacity, false));
    if (facts.info.freeKnown) free = QString::fromStdString(FormatSize(facts.info.free, false));
  }
  return QStringLiteral("Name: %1\nType: %2\nFile system: %3\nSize: %4\nFree: %5")
      .arg(name, QString::fromUtf8(DriveTypeName(type)), fs, size, free);
}

CDriveTreeModel::CDriveTreeModel(CVolumeFactsCache* facts, QObject* parent)
    : QAbstractItemModel(parent), m_facts(facts) {
  if (m_facts)
    connect(m_facts, &CVolumeFactsCache::factsReady, this, &CDriveTreeModel::OnFactsReady);
}

CDriveTreeModel::~CDriveTreeModel() = default;

void CDriveTreeModel::Adopt(Node* parent, const std::vector<DriveTreeItem>& items) {
  for (const DriveTreeItem& item : items) {
    auto node = std::make_unique<Node>();
    node->item = item;
    node->item.children.clear();
    node->parent = parent;
    node->row = static_cast<int>(parent->children.size());
    if (item.kind == DriveNodeKind::kDrive) m_drives[item.letter] = node.get();
    Node* raw = node.get();
    parent->children.push_back(std::move(node));
    Adopt(raw, item.children);
  }
}

void CDriveTreeModel::Rebuild(const DriveTables& tables) {
  DriveTreeLayout layout = LayOutDriveTree(tables);
  beginResetModel();
  m_root.children.clear();
  m_drives.clear();
  Adopt(&m_root, layout.top);
  m_ntfsLetters = std::move(layout.ntfsLetters);
  endResetModel();
}

std::vector<char> CDriveTreeModel::OpenImage(CSession& session, const std::string& path,
                                             std::string& error) {
  // The facts worker looks letters up in the tables the session is about to change.
  if (m_facts) m_facts->Forget();
  std::vector<char> letters = session.OpenImage(path, error);
  if (!letters.empty()) Rebuild(session.Tables());
  return letters;
}

CDriveTreeModel::Node* CDriveTreeModel::NodeOf(const QModelIndex& index) const {
  if (!index.isValid()) return const_cast<Node*>(&m_root);
  return static_cast<Node*>(index.internalPointer());
}

QModelIndex CDriveTreeModel::DriveIndex(char letter) const {
  auto found = m_drives.find(letter);
  if (found == m_drives.end()) return {};
  return createIndex(found->second->row, 0, found->second);
}

QModelIndex CDriveTreeModel::PlaceholderIndex(char letter) const {
  auto found = m_drives.find(letter);
  if (found == m_drives.end()) return {};
  for (const auto& child : found->second->children)
    if (child->item.kind == DriveNodeKind::kPlaceholder)
      return createIndex(child->row, 0, child.get());
  return {};
}

std::vector<QModelIndex> CDriveTreeModel::GroupIndexes() const {
  std::vector<QModelIndex> out;
  for (const auto& node : m_root.children)
    if (node->item.kind == DriveNodeKind::kDisk || node->item.kind == DriveNodeKind::kImages)
      out.push_back(createIndex(node->row, 0, node.get()));
  return out;
}

void CDriveTreeModel::ExpandGroups(QTreeView* view) const {
  for (const QModelIndex& group : GroupIndexes()) view->expand(group);
}

DriveNodeKind CDriveTreeModel::Kind(const QModelIndex& index) const {
  return index.isValid() ? NodeOf(index)->item.kind : DriveNodeKind::kDisk;
}

char CDriveTreeModel::Letter(const QModelIndex& index) const {
  return index.isValid() ? NodeOf(index)->item.letter : 0;
}

std::uint32_t CDriveTreeModel::DriveType(const QModelIndex& index) const {
  return index.isValid() ? NodeOf(index)->item.type : kDriveUnknown;
}

QModelIndex CDriveTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0 || (parent.isValid() && parent.column() != 0)) return {};
  Node* node = NodeOf(parent);
  if (row >= static_cast<int>(node->children.size())) return {};
  return createIndex(row, 0, node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex CDriveTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  Node* up = NodeOf(child)->parent;
  if (!up || up == &m_root) return {};
  return createIndex(up->row, 0, up);
}

int CDriveTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() && parent.column() != 0) return 0;
  return static_cast<int>(NodeOf(parent)->children.size());
}

int CDriveTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool CDriveTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QIcon CDriveTreeModel::Icon(unsigned id) const {
  auto found = m_icons.find(id);
  if (found == m_icons.end()) found = m_icons.emplace(id, ResIcon(id)).first;
  return found->second;
}

QVariant CDriveTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const DriveTreeItem& item = NodeOf(index)->item;
  switch (role) {
    case Qt::DisplayRole:
      return item.text;
    case Qt::DecorationRole:
      if (item.kind == DriveNodeKind::kPlaceholder) return {};
      return Icon(item.icon);
    case Qt::ToolTipRole: {
      if (item.kind != DriveNodeKind::kDrive || !m_facts) return {};
      // Read on the facts worker; the tooltip shows once they are in.
      const DriveFacts* facts = m_facts->Find(item.letter);
      if (!facts) return {};
      return DriveToolTipText(item.text, item.type, *facts);
    }
    case kKindRole:
      return static_cast<int>(item.kind);
    case kLetterRole:
      return item.letter ? QVariant(QChar(item.letter)) : QVariant();
    default:
      return {};
  }
}

Qt::ItemFlags CDriveTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (NodeOf(index)->item.kind == DriveNodeKind::kPlaceholder) return Qt::ItemIsEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void CDriveTreeModel::OnFactsReady(char letter) {
  QModelIndex at = DriveIndex(letter);
  if (at.isValid()) emit dataChanged(at, at, {Qt::ToolTipRole});
}

}  // namespace sorvani::ui
