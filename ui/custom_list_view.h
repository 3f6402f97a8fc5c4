// The list view of the file list and of the search results: uniform rows without a tree, and a
// text of its own while it has no rows ("nothing here" or "working on it").
#pragma once

#include <QString>
#include <QTreeView>

namespace sorvani::ui {

class CCustomListView : public QTreeView {
  Q_OBJECT
 public:
  explicit CCustomListView(QWidget* parent = nullptr);
  void SetEmptyText(const QString& text);
  QString EmptyText() const { return m_emptyText; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_emptyText;
};

}  // namespace sorvani::ui
