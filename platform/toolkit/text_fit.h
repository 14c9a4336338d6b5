// Texts that fit: controls sized by the metrics of the texts they show (in
// the widget's font, so the screen's scale factor is taken into account), and
// the whole text as a tooltip wherever a text is cut short.
#pragma once

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QString>

class QComboBox;
class QWidget;

namespace qmx::toolkit {

// Width a widget needs to show `text` in its font, in device-independent pixels.
int TextWidth(const QWidget* widget, const QString& text);

// Makes a drop-down list at least `minimumWidth` wide and wide enough for its
// longest entry with the style's frame and arrow.
void FitComboToItems(QComboBox* combo, int minimumWidth);

// An item delegate that shows a cell's whole text as its tooltip only when the
// cell is too narrow for it (elided); a cell with a tooltip of its own keeps it.
class ElidedToolTipDelegate : public QStyledItemDelegate {
  Q_OBJECT
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;
  // Whether the cell's text does not fit its rectangle.
  bool IsElided(const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

// A header that sizes its sections by its own font. QHeaderView measures
// every section in the bold cut of it, room for a highlighted section that
// our lists and grids never show; that measure alone loaded a second face
// of the font at every start.
class PlainHeaderView : public QHeaderView {
  Q_OBJECT
public:
  using QHeaderView::QHeaderView;

protected:
  QSize sectionSizeFromContents(int logicalIndex) const override;
};

}  // namespace qmx::toolkit
