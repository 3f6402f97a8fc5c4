#include "ui/custom_list_view.h"

#include <QHeaderView>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionHeader>

namespace sorvani::ui {

namespace {

// Qt's header marks an ascending sort with SortDown, which most styles draw as a down arrow;
// these lists show an up arrow for ascending, as a file manager's lists do.
class CSortArrowStyle : public QProxyStyle {
 public:
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element == PE_IndicatorHeaderArrow) {
      if (const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option)) {
        QStyleOptionHeader flipped(*header);
        if (header->sortIndicator == QStyleOptionHeader::SortDown)
          flipped.sortIndicator = QStyleOptionHeader::SortUp;
        else if (header->sortIndicator == QStyleOptionHeader::SortUp)
          flipped.sortIndicator = QStyleOptionHeader::SortDown;
        QProxyStyle::drawPrimitive(element, &flipped, painter, widget);
        return;
      }
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
};

}  // namespace

CCustomListView::CCustomListView(QWidget* parent) : QTreeView(parent) {
  auto* arrows = new CSortArrowStyle;
  arrows->setParent(header());  // a proxy made without a base follows the application's style
  header()->setStyle(arrows);
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
