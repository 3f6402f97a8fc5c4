#include "ui/drive_tree_model.h"

#include <QTreeView>

#include "app/drive_tree.h"
#include "foundation/display_format.h"
#include "ui/resources.h"
#include "ui/volume_facts_cache.h"

namespace sorvani::ui {

namespace {

unsigned IconOfDriveIcon(DriveIcon icon) {
  switch (icon) {
    case DriveIcon::kLocalDisk:
      return kIconFixedDrive;
    case DriveIcon::kFloppy:
      return kIconFloppy;
    case DriveIcon::kCdRom:
      return kIconOptical;
    default:
      return kIconRemovable;
  }
}

DriveTreeItem DriveItem(const DriveNode& node, const LogicalDisk* disk) {
  DriveTreeItem item;
  item.kind = DriveNodeKind::kDrive;
  item.letter = node.letter;
  item.type = node.type;
  item.icon = IconOfDriveIcon(node.icon);
  item.text = disk ? DriveNodeText(node.letter, *disk) : QString::fromStdString(node.text);
  DriveTreeItem placeholder;
  placeholder.kind = DriveNodeKind::kPlaceholder;
  placeholder.letter = node.letter;
  item.children.push_back(std::move(placeholder));
  return item;
}

}  // namespace

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
  const DriveTree tree = BuildDriveTree(tables.logicalDisks, tables.disks, tables.driveDisks);
  auto disk = [&](char letter) -> const LogicalDisk* {
    auto found = tables.logicalDisks.find(letter);
    return found == tables.logicalDisks.end() ? nullptr : &found->second;
  };
  DriveTreeItem images;
  images.kind = DriveNodeKind::kImages;
  images.text = ResString(kIdsDiskImagesGroup);
  images.icon = kIconDisk;
  for (const DriveGroup& group : tree.groups) {
    if (group.diskIndex >= kFirstImageDiskIndex) {
      // An image's drives stand in the one images group, whatever file they came from.
      for (const DriveNode& node : group.drives)
        images.children.push_back(DriveItem(node, disk(node.letter)));
      continue;
    }
    DriveTreeItem item;
    item.kind = DriveNodeKind::kDisk;
    item.text = QString::fromStdString(group.title);
    item.icon = kIconDisk;
    for (const DriveNode& node : group.drives)
      item.children.push_back(DriveItem(node, disk(node.letter)));
    layout.top.push_back(std::move(item));
  }
  // Drives of no disk keep the text and icon the tree contract gives them.
  for (const DriveNode& node : tree.topLevel) layout.top.push_back(DriveItem(node, nullptr));
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

CDriveTreeModel::~CDriveTreeModel() {
  for (auto& [letter, attachment] : m_attachments)
    for (auto& connection : attachment->connections) disconnect(connection);
}

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
  // Attached folders stay with their drive while it is still listed.
  for (auto it = m_attachments.begin(); it != m_attachments.end();) {
    Attachment& attachment = *it->second;
    auto drive = m_drives.find(it->first);
    if (drive == m_drives.end()) {
      for (auto& connection : attachment.connections) disconnect(connection);
      it = m_attachments.erase(it);
      continue;
    }
    attachment.drive = drive->second;
    attachment.records.clear();
    ++it;
  }
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
  auto* slot = static_cast<Slot*>(index.internalPointer());
  return slot->foreign ? nullptr : static_cast<Node*>(slot);
}

CDriveTreeModel::Record* CDriveTreeModel::RecordOf(const QModelIndex& index) const {
  if (!index.isValid()) return nullptr;
  auto* slot = static_cast<Slot*>(index.internalPointer());
  return slot->foreign ? static_cast<Record*>(slot) : nullptr;
}

CDriveTreeModel::Attachment* CDriveTreeModel::AttachmentOf(const Node* node) const {
  if (!node || node->item.kind != DriveNodeKind::kDrive) return nullptr;
  auto found = m_attachments.find(node->item.letter);
  return found != m_attachments.end() && found->second->drive == node ? found->second.get()
                                                                      : nullptr;
}

CDriveTreeModel::Record* CDriveTreeModel::RecordFor(Attachment& attachment,
                                                    const QModelIndex& sourceParent) const {
  if (!sourceParent.isValid()) return &attachment.top;
  // A view holds few expanded folders, so a walk over the records is short.
  for (const auto& record : attachment.records)
    if (!record->dead && record->sourceParent == sourceParent) return record.get();
  auto record = std::make_unique<Record>();
  record->foreign = true;
  record->attachment = &attachment;
  record->sourceParent = sourceParent;
  attachment.records.push_back(std::move(record));
  return attachment.records.back().get();
}

QModelIndex CDriveTreeModel::SourceOf(const QModelIndex& index) const {
  Record* record = RecordOf(index);
  if (!record || record->dead) return {};
  const QModelIndex parent = record->top ? QModelIndex() : QModelIndex(record->sourceParent);
  if (!record->top && !parent.isValid()) return {};
  return record->attachment->model->index(index.row(), 0, parent);
}

QModelIndex CDriveTreeModel::FromSource(Attachment& attachment, const QModelIndex& source) const {
  if (!source.isValid()) return createIndex(attachment.drive->row, 0, attachment.drive);
  return createIndex(source.row(), 0, RecordFor(attachment, source.parent()));
}

void CDriveTreeModel::Connect(Attachment& a) {
  QAbstractItemModel* m = a.model;
  Attachment* at = &a;
  auto& c = a.connections;
  c.push_back(connect(m, &QAbstractItemModel::rowsAboutToBeInserted, this,
                      [this, at](const QModelIndex& parent, int first, int last) {
                        beginInsertRows(FromSource(*at, parent), first, last);
                      }));
  c.push_back(connect(m, &QAbstractItemModel::rowsInserted, this, [this] { endInsertRows(); }));
  c.push_back(connect(m, &QAbstractItemModel::rowsAboutToBeRemoved, this,
                      [this, at](const QModelIndex& parent, int first, int last) {
                        // Records of removed folders stay (views may still hold plain
                        // indexes to them until they catch up); their persistent source index
                        // turns invalid, so they match nothing and map to nothing.
                        beginRemoveRows(FromSource(*at, parent), first, last);
                      }));
  c.push_back(connect(m, &QAbstractItemModel::rowsRemoved, this, [this] { endRemoveRows(); }));
  c.push_back(connect(m, &QAbstractItemModel::dataChanged, this,
                      [this, at](const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                 const QList<int>& roles) {
                        if (topLeft.column() > 0) return;
                        const QModelIndex from = FromSource(*at, topLeft);
                        const QModelIndex to = FromSource(*at, bottomRight.siblingAtColumn(0));
                        emit dataChanged(from, to, roles);
                      }));
  c.push_back(connect(m, &QAbstractItemModel::layoutAboutToBeChanged, this, [this, at] {
    emit layoutAboutToBeChanged();
    at->layoutOwn.clear();
    at->layoutSource.clear();
    for (const QModelIndex& own : persistentIndexList()) {
      Record* record = RecordOf(own);
      if (!record || record->attachment != at) continue;
      at->layoutOwn.append(own);
      at->layoutSource.append(QPersistentModelIndex(SourceOf(own)));
    }
  }));
  c.push_back(connect(m, &QAbstractItemModel::layoutChanged, this, [this, at] {
    QModelIndexList moved;
    for (const QPersistentModelIndex& source : at->layoutSource)
      moved.append(source.isValid() ? FromSource(*at, source) : QModelIndex());
    changePersistentIndexList(at->layoutOwn, moved);
    at->layoutOwn.clear();
    at->layoutSource.clear();
    emit layoutChanged();
  }));
  c.push_back(connect(m, &QAbstractItemModel::modelAboutToBeReset, this, [this, at] {
    // The drive's rows go and come back; the rest of the tree (and what is expanded in it)
    // stays as it is.
    const int rows = at->model->rowCount();
    const QModelIndex drive = createIndex(at->drive->row, 0, at->drive);
    if (rows > 0) beginRemoveRows(drive, 0, rows - 1);
    at->hidden = true;
    for (auto& record : at->records) record->dead = true;
    if (rows > 0) endRemoveRows();
  }));
  c.push_back(connect(m, &QAbstractItemModel::modelReset, this, [this, at] {
    at->records.clear();
    const int rows = at->model->rowCount();
    const QModelIndex drive = createIndex(at->drive->row, 0, at->drive);
    if (rows > 0) beginInsertRows(drive, 0, rows - 1);
    at->hidden = false;
    if (rows > 0) endInsertRows();
  }));
  // A model that goes away can no longer be asked how many rows it had: the tree starts over.
  c.push_back(connect(m, &QObject::destroyed, this, [this, at] {
    beginResetModel();
    for (auto& connection : at->connections) disconnect(connection);
    m_attachments.erase(at->letter);
    endResetModel();
  }));
}

void CDriveTreeModel::AttachFolders(char letter, QAbstractItemModel* folders) {
  DetachFolders(letter);
  if (!folders) return;
  auto found = m_drives.find(letter);
  if (found == m_drives.end()) return;
  Node* drive = found->second;
  const QModelIndex driveIndex = createIndex(drive->row, 0, drive);
  auto made = std::make_unique<Attachment>();
  made->hidden = true;
  made->letter = letter;
  made->drive = drive;
  made->model = folders;
  made->top.foreign = true;
  made->top.top = true;
  made->top.attachment = made.get();
  // The placeholder goes; the model's rows come in its place.
  const int own = static_cast<int>(drive->children.size());
  if (own > 0) beginRemoveRows(driveIndex, 0, own - 1);
  Attachment& attachment = *made;
  m_attachments[letter] = std::move(made);
  if (own > 0) endRemoveRows();
  const int rows = folders->rowCount();
  if (rows > 0) beginInsertRows(driveIndex, 0, rows - 1);
  attachment.hidden = false;
  if (rows > 0) endInsertRows();
  Connect(attachment);
}

void CDriveTreeModel::DetachFolders(char letter) {
  auto found = m_attachments.find(letter);
  if (found == m_attachments.end()) return;
  Attachment& attachment = *found->second;
  for (auto& connection : attachment.connections) disconnect(connection);
  attachment.connections.clear();
  Node* drive = attachment.drive;
  const QModelIndex driveIndex = createIndex(drive->row, 0, drive);
  const int rows = attachment.hidden ? 0 : attachment.model->rowCount();
  if (rows > 0) beginRemoveRows(driveIndex, 0, rows - 1);
  attachment.hidden = true;
  for (auto& record : attachment.records) record->dead = true;
  if (rows > 0) endRemoveRows();
  const int own = static_cast<int>(drive->children.size());
  if (own > 0) beginInsertRows(driveIndex, 0, own - 1);
  m_attachments.erase(found);
  if (own > 0) endInsertRows();
}

QAbstractItemModel* CDriveTreeModel::AttachedFolders(char letter) const {
  auto found = m_attachments.find(letter);
  return found == m_attachments.end() ? nullptr : found->second->model;
}

QModelIndex CDriveTreeModel::MapFromFolders(char letter, const QModelIndex& folderIndex) const {
  auto found = m_attachments.find(letter);
  if (found == m_attachments.end() || found->second->hidden) return {};
  if (folderIndex.isValid() && folderIndex.model() != found->second->model) return {};
  return FromSource(*found->second, folderIndex.siblingAtColumn(0));
}

QModelIndex CDriveTreeModel::MapToFolders(const QModelIndex& index) const {
  return SourceOf(index);
}

char CDriveTreeModel::DriveOf(const QModelIndex& index) const {
  if (Record* record = RecordOf(index)) return record->attachment->letter;
  return Letter(index);
}

QModelIndex CDriveTreeModel::DriveIndex(char letter) const {
  auto found = m_drives.find(letter);
  if (found == m_drives.end()) return {};
  return createIndex(found->second->row, 0, found->second);
}

QModelIndex CDriveTreeModel::PlaceholderIndex(char letter) const {
  auto found = m_drives.find(letter);
  if (found == m_drives.end() || AttachmentOf(found->second)) return {};
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
  const Node* node = NodeOf(index);
  if (!node) return DriveNodeKind::kFolder;
  return index.isValid() ? node->item.kind : DriveNodeKind::kDisk;
}

char CDriveTreeModel::Letter(const QModelIndex& index) const {
  const Node* node = NodeOf(index);
  return index.isValid() && node ? node->item.letter : 0;
}

std::uint32_t CDriveTreeModel::DriveType(const QModelIndex& index) const {
  const Node* node = NodeOf(index);
  return index.isValid() && node ? node->item.type : kDriveUnknown;
}

QModelIndex CDriveTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0 || (parent.isValid() && parent.column() != 0)) return {};
  if (row >= rowCount(parent)) return {};
  Node* node = NodeOf(parent);
  if (!node) {
    const QModelIndex source = SourceOf(parent);
    return createIndex(row, 0, RecordFor(*RecordOf(parent)->attachment, source));
  }
  if (Attachment* attachment = AttachmentOf(node)) return createIndex(row, 0, &attachment->top);
  return createIndex(row, 0, node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex CDriveTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  if (Record* record = RecordOf(child)) {
    Attachment& attachment = *record->attachment;
    if (record->top) return createIndex(attachment.drive->row, 0, attachment.drive);
    if (record->dead || !record->sourceParent.isValid()) return {};
    return FromSource(attachment, record->sourceParent);
  }
  Node* up = NodeOf(child)->parent;
  if (!up || up == &m_root) return {};
  return createIndex(up->row, 0, up);
}

int CDriveTreeModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() && parent.column() != 0) return 0;
  Node* node = NodeOf(parent);
  if (!node) {
    const QModelIndex source = SourceOf(parent);
    return source.isValid() ? RecordOf(parent)->attachment->model->rowCount(source) : 0;
  }
  if (Attachment* attachment = AttachmentOf(node))
    return attachment->hidden ? 0 : attachment->model->rowCount();
  return static_cast<int>(node->children.size());
}

int CDriveTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool CDriveTreeModel::hasChildren(const QModelIndex& parent) const {
  if (parent.isValid() && parent.column() != 0) return false;
  Node* node = NodeOf(parent);
  if (!node) {
    const QModelIndex source = SourceOf(parent);
    return source.isValid() && RecordOf(parent)->attachment->model->hasChildren(source);
  }
  if (Attachment* attachment = AttachmentOf(node))
    return !attachment->hidden && attachment->model->hasChildren();
  return !node->children.empty();
}

bool CDriveTreeModel::canFetchMore(const QModelIndex& parent) const {
  Node* node = NodeOf(parent);
  if (!node) {
    const QModelIndex source = SourceOf(parent);
    return source.isValid() && RecordOf(parent)->attachment->model->canFetchMore(source);
  }
  Attachment* attachment = AttachmentOf(node);
  return attachment && !attachment->hidden && attachment->model->canFetchMore({});
}

void CDriveTreeModel::fetchMore(const QModelIndex& parent) {
  Node* node = NodeOf(parent);
  if (!node) {
    const QModelIndex source = SourceOf(parent);
    if (source.isValid()) RecordOf(parent)->attachment->model->fetchMore(source);
    return;
  }
  if (Attachment* attachment = AttachmentOf(node))
    if (!attachment->hidden) attachment->model->fetchMore({});
}

QIcon CDriveTreeModel::Icon(unsigned id) const {
  auto found = m_icons.find(id);
  if (found == m_icons.end()) found = m_icons.emplace(id, ResIcon(id)).first;
  return found->second;
}

QVariant CDriveTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Node* node = NodeOf(index);
  if (!node) {
    const QModelIndex source = SourceOf(index);
    if (role == kKindRole) return static_cast<int>(DriveNodeKind::kFolder);
    if (role == kLetterRole) return QChar(RecordOf(index)->attachment->letter);
    return source.isValid() ? source.data(role) : QVariant();
  }
  const DriveTreeItem& item = node->item;
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
  const Node* node = NodeOf(index);
  if (!node) {
    const QModelIndex source = SourceOf(index);
    return source.isValid() ? source.flags() & ~Qt::ItemIsEditable : Qt::NoItemFlags;
  }
  if (node->item.kind == DriveNodeKind::kPlaceholder) return Qt::ItemIsEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void CDriveTreeModel::OnFactsReady(char letter) {
  QModelIndex at = DriveIndex(letter);
  if (at.isValid()) emit dataChanged(at, at, {Qt::ToolTipRole});
}

}  // namespace sorvani::ui
