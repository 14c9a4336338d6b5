#include "platform/toolkit/text_fit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QToolTip>

#include <algorithm>

namespace qmx::toolkit {

int TextWidth(const QWidget* widget, const QString& text) {
  return widget->fontMetrics().horizontalAdvance(text);
}

void FitComboToItems(QComboBox* combo, int minimumWidth) {
  if (!combo) return;
  // The combo box's own size hint over all entries: frame, margins and arrow
  // as the style draws them.
  const QComboBox::SizeAdjustPolicy policy = combo->sizeAdjustPolicy();
  combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  const int needed = combo->sizeHint().width();
  combo->setSizeAdjustPolicy(policy);
  combo->setFixedWidth(std::max(minimumWidth, needed));
}

bool ElidedToolTipDelegate::IsElided(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QStyleOptionViewItem item(option);
  initStyleOption(&item, index);
  if (item.text.isEmpty()) return false;
  const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
  const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
  // The style keeps a margin on each side of the text inside its rectangle.
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, item.widget) + 1;
  return item.fontMetrics.horizontalAdvance(item.text) > textRect.width() - 2 * margin;
}

bool ElidedToolTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) {
  if (!event || event->type() != QEvent::ToolTip || !index.isValid()) {
    return QStyledItemDelegate::helpEvent(event, view, option, index);
  }
  if (index.data(Qt::ToolTipRole).isValid()) return QStyledItemDelegate::helpEvent(event, view, option, index);
  if (IsElided(option, index)) {
    QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view, option.rect);
  } else {
    QToolTip::hideText();
    event->ignore();
  }
  return true;
}

QSize PlainHeaderView::sectionSizeFromContents(int logicalIndex) const {
  const QAbstractItemModel* data = model();
  if (!data) return QHeaderView::sectionSizeFromContents(logicalIndex);
  ensurePolished();
  const QVariant hint = data->headerData(logicalIndex, orientation(), Qt::SizeHintRole);
  if (hint.isValid()) return hint.toSize();
  QStyleOptionHeader option;
  initStyleOption(&option);
  option.section = logicalIndex;
  const QVariant font = data->headerData(logicalIndex, orientation(), Qt::FontRole);
  option.fontMetrics = font.canConvert<QFont>() ? QFontMetrics(font.value<QFont>()) : fontMetrics();
  option.text = data->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString();
  const QVariant decoration = data->headerData(logicalIndex, orientation(), Qt::DecorationRole);
  option.icon = decoration.value<QIcon>();
  if (option.icon.isNull()) option.icon = QIcon(decoration.value<QPixmap>());
  if (isSortIndicatorShown()) option.sortIndicator = QStyleOptionHeader::SortDown;
  return style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
}

}  // namespace qmx::toolkit
