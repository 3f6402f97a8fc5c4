// The main window's side of the browse view: choosing a drive, filling the list with a
// folder, the way back and up, show-deleted-only, the reveal walk, properties, and what
// follows a fill (the sound and the one-time hints).
#include <QAction>
#include <QHeaderView>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <cctype>
#include <cstdlib>
#include <utility>

#include "app/listing_job.h"
#include "app/session.h"
#include "foundation/name_compare.h"
#include "foundation/profile.h"
#include "ui/browse_hints.h"
#include "ui/commands.h"
#include "ui/custom_list_view.h"
#include "ui/drive_prop_dlg.h"
#include "ui/drive_selection.h"
#include "ui/drive_tree_model.h"
#include "ui/file_list_model.h"
#include "ui/folder_fill.h"
#include "ui/folder_tree_model.h"
#include "ui/hint_balloon.h"
#include "ui/main_frame.h"
#include "ui/prop_dlg.h"
#include "ui/resources.h"
#include "ui/sound_player.h"
#include "ui/volume_facts_cache.h"

namespace sorvani::ui {

void CMainFrame::SetTreeNodeQuietly(const QModelIndex& node) {
  // The view still hears of the change (it draws the selection); only the list stays as it is.
  const bool was = std::exchange(m_quietTree, true);
  m_folderTree->setCurrentIndex(node);
  for (QModelIndex up = node.parent(); up.isValid(); up = up.parent()) m_folderTree->expand(up);
  if (node.isValid()) m_folderTree->scrollTo(node);
  m_quietTree = was;
}

void CMainFrame::OnTreeCurrentChanged(const QModelIndex& index) {
  if (m_quietTree || !index.isValid()) return;
  const char letter = m_drives->DriveOf(index);
  if (letter == 0) return;  // a disk or the images group
  const DriveNodeKind kind = m_drives->Kind(index);
  std::string path;
  if (kind == DriveNodeKind::kFolder) {
    if (const FolderTreeNode* node = m_folders->NodeOf(m_drives->MapToFolders(index)))
      path = node->folder.path;
  }
  // The drive's selection may run the modal indexing dialog: not inside the view's own
  // selection signal.
  QTimer::singleShot(0, this, [this, letter, path] {
    if (letter != m_currentDrive || !m_indexed) {
      SelectDriveNode(letter, false);
      return;
    }
    ShowFolder(letter, path.empty() ? std::string{letter, ':', '\\'} : path, true);
  });
}

void CMainFrame::SelectDriveNode(char letter, bool reindex) {
  ++m_activity.modalJobs;
  const DriveSelection selection = SelectDrive(*m_options.session, *m_facts, letter, reindex, this);
  --m_activity.modalJobs;
  if (!selection.current) {
    // The drive cannot be browsed; the tree goes back to the drive that is.
    SetTreeNodeQuietly(m_currentDrive ? m_drives->DriveIndex(m_currentDrive) : QModelIndex());
    return;
  }
  if (m_currentDrive && m_currentDrive != letter) {
    m_folderTree->collapse(m_drives->DriveIndex(m_currentDrive));
    m_drives->DetachFolders(m_currentDrive);
  }
  m_currentDrive = letter;
  m_indexed = selection.indexed;
  m_history.clear();
  if (m_indexed) {
    m_folders->SetDrive(*m_options.session, letter, m_deletedOnly);
    m_drives->AttachFolders(letter, m_folders);
  } else {
    m_drives->DetachFolders(letter);
    m_folders->Clear();
  }
  const QModelIndex node = m_drives->DriveIndex(letter);
  SetTreeNodeQuietly(node);
  m_folderTree->expand(node);
  if (m_indexed) {
    ShowFolder(letter, std::string{letter, ':', '\\'}, true);
  } else {
    // Indexing was cancelled or failed: nothing of the drive is known to list.
    m_fill->Cancel();
    m_listModel->Clear();
  }
  UpdateCommandStates();
}

void CMainFrame::ShowFolder(char letter, const std::string& path, bool remember) {
  if (remember && !m_currentFolder.empty() && m_currentFolder != path)
    m_history.emplace_back(letter, m_currentFolder);
  m_currentFolder = path;
  // A fill hint speaks of the folder it came with, not of the next one.
  if (std::exchange(m_fillHintShown, false) && m_hint) m_hint->HideBalloon();
  m_fillTrigger = m_programFill ? FillTrigger::kProgram : FillTrigger::kPerson;
  m_fill->Fill(*m_options.session, letter, path, m_deletedOnly);
  UpdateCommandStates();
}

QModelIndex CMainFrame::TreeIndexOfFolder(char letter, const std::string& path) {
  if (path.size() <= 3) return m_drives->DriveIndex(letter);
  const QModelIndex folder = m_folders->IndexOf(path);
  return folder.isValid() ? m_drives->MapFromFolders(letter, folder) : QModelIndex();
}

void CMainFrame::OnListActivated(const QModelIndex& index) {
  if (!index.isValid() || !m_currentDrive) return;
  const FileListEntry& entry = m_listModel->Entry(index.row());
  if (!entry.IsFolder()) return;
  // A folder of the list opens as its node of the tree, which fills the list.
  const QModelIndex node = TreeIndexOfFolder(m_currentDrive, m_currentFolder + entry.name + "\\");
  if (node.isValid()) {
    m_folderTree->expand(node.parent());
    m_folderTree->setCurrentIndex(node);
  } else {
    ShowFolder(m_currentDrive, m_currentFolder + entry.name + "\\", true);
  }
}

bool CMainFrame::SelectFolderChain(const std::string& folderText, const std::string& chain,
                                   const std::string& name) {
  if (folderText.size() < 3 || folderText[1] != ':' || !m_indexed ||
      std::toupper(static_cast<unsigned char>(folderText[0])) != m_currentDrive)
    return false;
  std::vector<CFolderTree::ChainLink> links;
  std::size_t at = 3, from = 0;
  while (at < folderText.size()) {
    std::size_t end = folderText.find('\\', at);
    if (end == std::string::npos) end = folderText.size();
    CFolderTree::ChainLink link;
    link.name = folderText.substr(at, end - at);
    at = end + 1;
    if (link.name.empty()) continue;
    // Beyond the chain's end, or on an element that is not a number, a level matches by name.
    const std::size_t stop = chain.find(';', from);
    if (from < chain.size()) {
      const std::string element =
          chain.substr(from, stop == std::string::npos ? stop : stop - from);
      link.record = static_cast<std::uint32_t>(std::strtoul(element.c_str(), nullptr, 10));
      from = stop == std::string::npos ? chain.size() : stop + 1;
    }
    links.push_back(std::move(link));
  }
  // The deepest level found: each step lists one more branch of the tree.
  QModelIndex node = m_drives->DriveIndex(m_currentDrive);
  for (std::size_t depth = 1; depth <= links.size(); ++depth) {
    const QModelIndex found = m_folders->IndexOfChain({links.begin(), links.begin() + depth});
    if (!found.isValid()) break;
    node = m_drives->MapFromFolders(m_currentDrive, found);
  }
  if (!node.isValid()) return false;
  m_tabs->setCurrentIndex(kBrowseTab);
  m_revealName = name;
  for (QModelIndex up = node.parent(); up.isValid(); up = up.parent()) m_folderTree->expand(up);
  m_folderTree->scrollTo(node);
  if (m_folderTree->currentIndex() == node)
    OnTreeCurrentChanged(node);  // the same folder: shown again for the name
  else
    m_folderTree->setCurrentIndex(node);
  return true;
}

void CMainFrame::SelectRevealedItem() {
  if (m_revealName.empty()) return;
  const std::string name = std::exchange(m_revealName, {});
  for (int row = 0; row < m_listModel->rowCount(); ++row) {
    if (!SameTextNoCase(m_listModel->Entry(row).name, name)) continue;
    const QModelIndex item = m_listModel->index(row, 0);
    m_fileList->setCurrentIndex(item);
    m_fileList->scrollTo(item);
    return;
  }
}

void CMainFrame::ToggleDeletedOnly() {
  m_deletedOnly = !m_deletedOnly;
  Action(kCmdShowDeletedOnly)->setChecked(m_deletedOnly);
  if (!m_currentDrive || !m_indexed) return;
  const std::string folder = m_currentFolder;
  {
    // The tree lists its rows again; its current node passing through the drive must not
    // send the list there.
    const bool was = std::exchange(m_quietTree, true);
    m_folders->SetDeletedOnly(m_deletedOnly);
    m_quietTree = was;
  }
  const QModelIndex node = TreeIndexOfFolder(m_currentDrive, folder);
  SetTreeNodeQuietly(node.isValid() ? node : m_drives->DriveIndex(m_currentDrive));
  ShowFolder(m_currentDrive, node.isValid() ? folder : std::string{m_currentDrive, ':', '\\'},
             false);
}

void CMainFrame::GoBack() {
  if (m_history.empty()) return;
  const auto [letter, path] = m_history.back();
  m_history.pop_back();
  const QModelIndex node = TreeIndexOfFolder(letter, path);
  if (node.isValid()) SetTreeNodeQuietly(node);
  ShowFolder(letter, path, false);
}

void CMainFrame::GoUp() {
  const QModelIndex current = m_folderTree->currentIndex();
  if (m_drives->Kind(current) != DriveNodeKind::kFolder) return;  // not above a drive
  m_folderTree->setCurrentIndex(current.parent());
}

void CMainFrame::ShowProperties() {
  const bool listFocus = m_fileList->hasFocus() && m_fileList->currentIndex().isValid();
  if (listFocus)
    ShowItemProperties(m_fileList->currentIndex().row());
  else
    ShowNodeProperties(m_folderTree->currentIndex());
}

void CMainFrame::ShowItemProperties(int shownRow) {
  if (shownRow < 0 || shownRow >= m_listModel->rowCount()) return;
  const FileListEntry& row = m_listModel->Entry(shownRow);
  PropEntry entry;
  entry.icon =
      m_listModel->data(m_listModel->index(shownRow, 0), Qt::DecorationRole).value<QIcon>();
  entry.name = row.name;
  entry.folderPath = m_currentFolder;
  entry.attributes = row.attributes;
  entry.size = row.size;
  entry.created = row.created;
  entry.modified = row.modified;
  entry.overwritten = row.overwritten;
  entry.record = row.deleted ? row.record : 0;
  entry.orphan = row.orphan;
  entry.liveRecord = row.deleted ? 0 : row.record;
  entry.drive = m_currentDrive;
  CPropDlg(*m_options.session, entry, this).exec();
}

void CMainFrame::ShowNodeProperties(const QModelIndex& node) {
  const char letter = m_drives->DriveOf(node);
  if (!letter) return;
  if (m_drives->Kind(node) == DriveNodeKind::kDrive) {
    CDrivePropDlg(letter, m_drives->DriveType(node), m_facts->ReadNow(letter), this).exec();
    return;
  }
  const FolderTreeNode* folder = m_folders->NodeOf(m_drives->MapToFolders(node));
  if (!folder || !folder->parent) return;
  PropEntry entry;
  entry.icon = node.data(Qt::DecorationRole).value<QIcon>();
  entry.name = folder->name;
  entry.folderPath = folder->parent->folder.path;
  entry.attributes = 0x10;
  entry.record = folder->Deleted() ? folder->folder.record : 0;
  entry.orphan = folder->folder.kind == FolderKind::Orphan;
  entry.liveRecord = folder->Deleted() ? 0 : folder->folder.record;
  entry.created = folder->created;
  entry.modified = folder->modified;
  entry.drive = letter;
  CPropDlg(*m_options.session, entry, this).exec();
}

void CMainFrame::UpdateCommandStates() {
  const QModelIndex node = m_folderTree->currentIndex();
  const bool browsing = m_currentDrive != 0 && m_indexed;
  Action(kCmdBack)->setEnabled(!m_history.empty());
  Action(kCmdUp)->setEnabled(m_drives->Kind(node) == DriveNodeKind::kFolder);
  Action(kCmdReindex)->setEnabled(m_currentDrive != 0);
  Action(kCmdShowDeletedOnly)->setEnabled(browsing);
  Action(kCmdProperties)
      ->setEnabled(m_drives->DriveOf(node) != 0 || m_fileList->currentIndex().isValid());
  UpdateSelectionCommands();
}

void CMainFrame::RefreshFolder() {
  if (!m_currentDrive || !m_indexed || m_currentFolder.empty()) return;
  m_programFill = true;
  ShowFolder(m_currentDrive, m_currentFolder, false);
  m_programFill = false;
}

void CMainFrame::OnFillFinished(unsigned flags) {
  if (m_fill->Result().outcome != kListingDone) return;
  if (PlaysFillSound(m_fillTrigger)) SoundPlayer().Play(kSoundFolderFilled);
  // A balloon nobody can see would use up its only showing.
  if (!isVisible() || m_tabs->currentIndex() != kBrowseTab) return;
  const FillHint hint = ChooseFillHint(flags, m_deletedOnly);
  const std::optional<HintText> text = FillHintText(hint);
  if (!text) return;
  QRect at;
  if (hint == FillHint::kShowDeletedItemsOnly) {
    QWidget* button = m_toolBar->widgetForAction(Action(kCmdShowDeletedOnly));
    if (button) at = QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
  } else {
    at = FirstDeletedRowRect();
  }
  if (at.isEmpty()) return;
  if (!m_hint) m_hint = new CHintBalloon(this);
  m_fillHintShown = ShowOneTimeHint(*m_hint, Profile(), text->key, at, text->titleId, text->textId,
                                    QString::fromLatin1(text->topic));
}

QRect CMainFrame::FirstDeletedRowRect() const {
  QWidget* viewport = m_fileList->viewport();
  const QRect shown = viewport->rect();
  for (int row = 0; row < m_listModel->rowCount(); ++row) {
    if (!m_listModel->Entry(row).deleted) continue;
    // The name cell of the first deleted row when it is in sight, else the whole list.
    const QRect cell = m_fileList->visualRect(m_listModel->index(row, 0)).intersected(shown);
    const QRect local = cell.isEmpty() ? shown : cell;
    return QRect(viewport->mapToGlobal(local.topLeft()), local.size());
  }
  return QRect(viewport->mapToGlobal(shown.topLeft()), shown.size());
}

bool CMainFrame::ShowIndexHint() {
  const std::optional<IndexHint> hint = ChooseIndexHint(m_drives->NtfsLetters());
  if (!hint) return false;
  const QModelIndex node = m_drives->DriveIndex(hint->letter);
  QRect at;
  if (node.isValid() && m_foldersPane->isVisible()) {
    m_folderTree->scrollTo(node);
    const QRect local =
        m_folderTree->visualRect(node).intersected(m_folderTree->viewport()->rect());
    if (!local.isEmpty())
      at = QRect(m_folderTree->viewport()->mapToGlobal(local.topLeft()), local.size());
  }
  // A node out of sight (the pane closed): the balloon points at the browse view instead.
  if (at.isEmpty()) at = QRect(m_tabs->mapToGlobal(QPoint(0, 0)), m_tabs->size());
  if (!m_hint) m_hint = new CHintBalloon(this);
  return ShowOneTimeHint(*m_hint, Profile(), hint->text.key, at, hint->text.titleId,
                         hint->text.textId, QString::fromLatin1(hint->text.topic));
}

}  // namespace sorvani::ui
