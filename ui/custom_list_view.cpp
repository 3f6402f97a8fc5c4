#include "ui/custom_list_view.h"

#include <QHeaderView>
#include <QPainter>

namespace sorvani::ui {

CCustomListView::CCustomListView(QWidget* parent) : QTreeView(parent) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setItemsExpandable(false);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSortingEnabled(false);  // the owner sorts its own rows
}

void CCustomListView::SetEmptyText(const QString& text) {
  if (text == m_emptyText) return;
  m_emptyText = text;
  viewport()->update();
}

void CCustomListView::paintEvent(QPaintEvent* event) {
  QTreeView::paintEvent(event);
  if (m_emptyText.isEmpty() || (model() && model()->rowCount(rootIndex()) > 0)) return;
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Text));
  // Below the header (which lies outside the viewport), centred and wrapped.
  const QRect area = viewport()->rect().adjusted(8, 10, -8, -8);
  painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_emptyText);
}

}  // namespace sorvani::ui
