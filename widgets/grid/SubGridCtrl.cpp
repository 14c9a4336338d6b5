#include "widgets/grid/SubGridCtrl.h"

#include "platform/toolkit/text_fit.h"
#include "widgets/grid/ComboInListView.h"
#include "widgets/grid/GridAccessible.h"
#include "widgets/grid/GridHooks.h"
#include "widgets/grid/ListEditCtrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <new>

namespace qmx::grid {
namespace {

constexpr int kStateImageWidth = 16;
constexpr int kDragTimerMs = 300;

QColor ToQColor(GridColor c) {
  return QColor(static_cast<int>(GridRed(c)), static_cast<int>(GridGreen(c)), static_cast<int>(GridBlue(c)));
}

class WaitCursor {
public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

class SubGridCtrl::RedrawGuard {
public:
  explicit RedrawGuard(SubGridCtrl* grid) : grid_(grid) { grid_->SetRedraw(false); }
  ~RedrawGuard() { grid_->SetRedraw(true); }
  RedrawGuard(const RedrawGuard&) = delete;
  RedrawGuard& operator=(const RedrawGuard&) = delete;

private:
  SubGridCtrl* grid_;
};

SubGridCtrl::SubGridCtrl(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setFocusProxy(this);
  viewport()->setAutoFillBackground(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

  headerModel_ = new QStandardItemModel(0, 0, this);
  header_ = new qmx::toolkit::PlainHeaderView(Qt::Horizontal, this);
  header_->setModel(headerModel_);
  header_->setSectionsClickable(false);
  header_->setSectionsMovable(false);
  header_->setStretchLastSection(false);
  header_->setSectionResizeMode(QHeaderView::Interactive);
  header_->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header_->setFocusPolicy(Qt::NoFocus);
  connect(header_, &QHeaderView::sectionResized, this, [this] { Changed(); });

  // A scroll takes the focus first, which ends any open editor.
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { setFocus(Qt::OtherFocusReason); });
  connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this, [this] { setFocus(Qt::OtherFocusReason); });

  dragTimer_.setSingleShot(true);
  connect(&dragTimer_, &QTimer::timeout, this, [this] { OnDragTimer(); });

  model_.SetSelectionListener([this](int row) {
    OnRowSelected(row);
    NotifyGridFocus(this);
  });
  InstallGridAccessibility();
  UpdateRowHeight();
  LayoutHeader();
}

SubGridCtrl::~SubGridCtrl() {
  closing_ = true;
  for (ListEditCtrl* e : viewport()->findChildren<ListEditCtrl*>()) e->Detach();
  for (ComboInListView* c : viewport()->findChildren<ComboInListView*>()) c->Detach();
}

// ---------------------------------------------------------------- rows

GridTreeItem* SubGridCtrl::InsertRootItem(GridRowItem* rowItem) {
  GridTreeItem* item = model_.InsertRootItem(std::unique_ptr<GridRowItem>(rowItem));
  Changed();
  return item;
}

GridTreeItem* SubGridCtrl::InsertChildItem(GridTreeItem* parent, GridRowItem* rowItem, int show) {
  std::unique_ptr<GridRowItem> owned(rowItem);
  if (!parent) return nullptr;
  GridTreeItem* item = model_.InsertChildItem(parent, std::move(owned), show);
  Changed();
  return item;
}

int SubGridCtrl::Expand(GridTreeItem* item, int /*row*/) {
  int last = model_.Expand(item);
  Changed();
  return last;
}

void SubGridCtrl::Collapse(GridTreeItem* item) {
  RedrawGuard redraw(this);
  model_.Collapse(item);
}

int SubGridCtrl::ExpandBranch(GridTreeItem* item) {
  int last = model_.ExpandBranch(item);
  Changed();
  return last;
}

int SubGridCtrl::SelectItem(GridTreeItem* item) {
  if (!item) return -1;
  int row;
  {
    std::unique_ptr<WaitCursor> wait;
    if (item->parent) wait = std::make_unique<WaitCursor>();
    RedrawGuard redraw(this);
    row = model_.SelectItem(item);
  }
  if (row >= 0) EnsureVisible(row);
  return row;
}

void SubGridCtrl::DeleteItem(GridTreeItem* item, int /*row*/) {
  if (!item) return;
  if (dragSource_ && GridTreeModel::IsInBranch(dragSource_, item)) EndDrag();
  RedrawGuard redraw(this);
  model_.DeleteItem(item);
}

void SubGridCtrl::DeleteAllItems() {
  if (dragging_) EndDrag();
  RedrawGuard redraw(this);
  model_.DeleteAllItems();
}

bool SubGridCtrl::ContainsItem(const GridTreeItem* item) const { return model_.Contains(item); }

void SubGridCtrl::RefreshRowText(GridTreeItem* item) {
  int row = GetRowIndex(item);
  if (row >= 0) RepaintRow(row);
}

void SubGridCtrl::RefreshCellText(GridTreeItem* item, int /*n*/) { RefreshRowText(item); }

// ---------------------------------------------------------------- list

void SubGridCtrl::SetSelectedRow(int row) {
  model_.SelectRow(row);
  viewport()->update();
}

int SubGridCtrl::GetTopIndex() const { return verticalScrollBar()->value(); }

int SubGridCtrl::GetCountPerPage() const { return std::max(1, viewport()->height() / std::max(1, rowHeight_)); }

bool SubGridCtrl::EnsureVisible(int row) {
  if (row < 0 || row >= GetItemCount()) return false;
  UpdateScrollBars();
  const int top = GetTopIndex();
  const int per = GetCountPerPage();
  if (row < top) verticalScrollBar()->setValue(row);
  else if (row >= top + per) verticalScrollBar()->setValue(row - per + 1);
  return true;
}

void SubGridCtrl::SetRedraw(bool on) {
  if (!on) {
    if (redrawOff_++ == 0) viewport()->setUpdatesEnabled(false);
    return;
  }
  if (redrawOff_ == 0) return;
  if (--redrawOff_ == 0) {
    viewport()->setUpdatesEnabled(true);
    Changed();
  }
}

void SubGridCtrl::Changed() {
  UpdateScrollBars();
  viewport()->update();
  NotifyGridRowsChanged(this);
}

void SubGridCtrl::RepaintRow(int row) {
  if (row >= 0) viewport()->update(GetRowRect(row));
}

void SubGridCtrl::SetFocusedColumn(int column) {
  model_.SetFocusedColumn(column);
  viewport()->update();
  NotifyGridFocus(this);
}

void SubGridCtrl::EnsureColumnVisible(int column) {
  if (column < 0 || column >= GetColumnCount()) return;
  QRect cell = GetCellRect(0, column);
  if (cell.left() < 0 || cell.left() + cell.width() > viewport()->width()) {
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + cell.left());
    viewport()->update();
  }
}

int SubGridCtrl::GetColumnWidth(int column) const {
  if (column < 0 || column >= header_->count()) return 0;
  return header_->sectionSize(column);
}

void SubGridCtrl::SetColumnWidth(int column, int width) {
  if (column < 0 || column >= header_->count()) return;
  header_->resizeSection(column, width);
  Changed();
}

int SubGridCtrl::ColumnTextWidth(int column) const {
  if (column < 0 || column >= GetColumnCount()) return 0;
  const QFontMetrics fm(font());
  const int button = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  int widest = header_->sectionSizeHint(column);
  for (int row = 0; row < GetItemCount(); ++row) {
    const GridTreeItem* item = GetTreeItem(row);
    const GridRowItem* ri = GetRowItem(item);
    if (!ri) continue;
    int needed = 0;
    if (column == 0) {
      // As the painter places the label: after the indentation and icon,
      // the text drawn 2 pixels in from each side.
      int indent = (item->level + 1) * iconWidth_ + 2;
      if (extendedStyle_ & kGridExCheckBoxes) indent += kStateImageWidth;
      needed = indent + fm.horizontalAdvance(QString::fromStdString(ri->firstText)) + 5;
    } else {
      // The painter keeps 6 pixels on each side of a value.
      const int n = column - 1;
      const int image = ri->GetSubItemImage(n);
      needed = fm.horizontalAdvance(QString::fromStdString(ri->GetColumnText(n))) + 13;
      if (image >= 0 && image < static_cast<int>(subItemImages_.size())) needed += iconWidth_ + 2;
      int kind = 0;
      if (ri->GetCellKind(n, &kind) && kind >= kCellKindDropDown && kind <= kCellKindSerialSettings) needed += button;
    }
    widest = std::max(widest, needed);
  }
  return widest;
}

std::string SubGridCtrl::GetColumnTitle(int column) const {
  if (column < 0 || column >= headerModel_->columnCount()) return {};
  return headerModel_->headerData(column, Qt::Horizontal).toString().toStdString();
}

int SubGridCtrl::GetColumnAlignment(int column) const {
  if (column < 0 || column >= static_cast<int>(columnAlignment_.size())) return kGridAlignLeft;
  return columnAlignment_[static_cast<size_t>(column)];
}

void SubGridCtrl::AddColumn(const std::string& title, int width, std::uint16_t readOnly, int alignment) {
  const int c = headerModel_->columnCount();
  headerModel_->insertColumn(c);
  headerModel_->setHeaderData(c, Qt::Horizontal, QString::fromStdString(title));
  Qt::Alignment a = alignment == kGridAlignCenter  ? Qt::AlignHCenter
                    : alignment == kGridAlignRight ? Qt::AlignRight
                                                   : Qt::AlignLeft;
  headerModel_->setHeaderData(c, Qt::Horizontal, QVariant::fromValue(int(a | Qt::AlignVCenter)),
                              Qt::TextAlignmentRole);
  header_->resizeSection(c, std::max(0, width));
  model_.AppendColumn(readOnly);
  columnAlignment_.push_back(alignment);
  LayoutHeader();
  Changed();
}

void SubGridCtrl::SetIconSize(int width, int height) {
  iconWidth_ = std::max(0, width);
  iconHeight_ = std::max(0, height);
  Changed();
}

void SubGridCtrl::SetExtendedStyle(unsigned style) {
  extendedStyle_ = style;
  viewport()->update();
}

// ---------------------------------------------------------------- geometry

void SubGridCtrl::UpdateRowHeight() {
  QFontMetrics fm(font());
  rowHeight_ = fm.height() + fm.leading() + 4;
  header_->setFont(font());
  LayoutHeader();
  Changed();
}

int SubGridCtrl::HeaderHeight() const { return header_->sizeHint().height(); }

void SubGridCtrl::LayoutHeader() {
  const int h = HeaderHeight();
  setViewportMargins(0, h, 0, 0);
  const QRect cr = contentsRect();
  header_->setGeometry(cr.left(), cr.top(), viewport()->width(), h);
}

void SubGridCtrl::UpdateScrollBars() {
  const int per = GetCountPerPage();
  verticalScrollBar()->setRange(0, std::max(0, GetItemCount() - per));
  verticalScrollBar()->setPageStep(per);
  verticalScrollBar()->setSingleStep(1);
  const int vw = viewport()->width();
  horizontalScrollBar()->setRange(0, std::max(0, header_->length() - vw));
  horizontalScrollBar()->setPageStep(std::max(1, vw));
  horizontalScrollBar()->setSingleStep(10);
  header_->setOffset(horizontalScrollBar()->value());
}

void SubGridCtrl::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  LayoutHeader();
  UpdateScrollBars();
}

void SubGridCtrl::scrollContentsBy(int, int) {
  header_->setOffset(horizontalScrollBar()->value());
  viewport()->update();
}

void SubGridCtrl::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) UpdateRowHeight();
}

int SubGridCtrl::RowLeft() const { return -horizontalScrollBar()->value(); }

QRect SubGridCtrl::GetRowRect(int row) const {
  return QRect(RowLeft(), (row - GetTopIndex()) * rowHeight_, header_->length(), rowHeight_);
}

QRect SubGridCtrl::GetCellRect(int row, int column) const {
  if (column < 0 || column >= header_->count()) return {};
  QRect r = GetRowRect(row);
  return QRect(RowLeft() + header_->sectionPosition(column), r.top(), header_->sectionSize(column), r.height());
}

QRect SubGridCtrl::GetIconRect(int row) const {
  const GridTreeItem* item = GetTreeItem(row);
  if (!item) return {};
  const QRect r = GetRowRect(row);
  const int bottom = r.top() + r.height();
  const int y = bottom - iconHeight_ - (bottom - iconHeight_ - r.top()) / 2;
  return QRect(r.left() + item->level * iconWidth_, y, iconWidth_, iconHeight_);
}

int SubGridCtrl::MidY(const QRect& r) const {
  const int bottom = r.top() + r.height();
  return r.top() + (bottom - iconHeight_ - r.top()) / 2 + iconWidth_ / 2;
}

int SubGridCtrl::TreeLineX(const QRect& r, int level) const { return r.left() + level * iconWidth_ - iconWidth_ / 2; }

QRect SubGridCtrl::GetLabelRect(int row) const {
  const GridTreeItem* item = GetTreeItem(row);
  if (!item) return {};
  const QRect r = GetRowRect(row);
  int left = r.left() + (item->level + 1) * iconWidth_ + 2;
  if (extendedStyle_ & kGridExCheckBoxes) left += kStateImageWidth;
  const int right = r.left() + FirstColumnWidth();
  return QRect(left, r.top(), std::max(0, right - left), r.height());
}

QRect SubGridCtrl::GetExpandBoxRect(int row) const {
  const GridTreeItem* item = GetTreeItem(row);
  if (!item || !item->HasChildren()) return {};
  const QRect r = GetRowRect(row);
  const int w = iconWidth_ / 2 + 3, h = iconHeight_ / 2 + 3;
  const int cx = TreeLineX(r, item->level), cy = MidY(r);
  return QRect(cx - w / 2, cy - h / 2, w, h);
}

QRect SubGridCtrl::GetButtonRect(int row, int column) const {
  QRect cell = GetCellRect(row, column);
  if (cell.isEmpty()) return {};
  const int w = std::min(cell.width(), style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
  return QRect(cell.left() + cell.width() - w, cell.top(), w, cell.height());
}

GridHitTest SubGridCtrl::HitTest(const QPoint& pt) const {
  GridHitTest hit;
  hit.point = pt;
  if (pt.y() < 0 || rowHeight_ <= 0) return hit;
  const int row = GetTopIndex() + pt.y() / rowHeight_;
  if (row >= GetItemCount()) return hit;
  int column = -1;
  for (int c = 0; c < header_->count(); ++c)
    if (GetCellRect(row, c).contains(pt)) column = c;
  if (column < 0) return hit;
  hit.row = row;
  hit.column = column;
  if (column == 0) {
    const QRect icon = GetIconRect(row);
    QRect state(icon.left() + iconWidth_, icon.top(), kStateImageWidth, icon.height());
    if ((extendedStyle_ & kGridExCheckBoxes) && state.contains(pt)) hit.flags = kHitOnStateIcon;
    else if (GetExpandBoxRect(row).contains(pt)) hit.flags = kHitOnExpandBox;
    else if (icon.contains(pt)) hit.flags = kHitOnIcon;
    else hit.flags = kHitOnLabel;
  } else {
    hit.flags = GetButtonRect(row, column).contains(pt) ? kHitOnButton : kHitOnLabel;
  }
  return hit;
}

// ---------------------------------------------------------------- hooks

int SubGridCtrl::GetItemIconIndex(const GridTreeItem*) { return 0; }
GridColor SubGridCtrl::GetStateColor(int) { return kGridReadOnlyFocus; }

void SubGridCtrl::UpdateListViewItem(GridTreeItem* item, const GridEditedCell& cell) {
  GridRowItem* row = GetRowItem(item);
  if (!row) return;
  row->SetColumnText(cell.column - 1, cell.text);
  RefreshRowText(item);
}

void SubGridCtrl::EditCell(Qt::KeyboardModifiers, int, int, const GridHitTest& hit) {
  if (hit.column == 0) EditLabel(hit.row);
  else EditSubItem(hit.row, hit.column);
}

QPixmap SubGridCtrl::CreateDragImage(int row) {
  const GridTreeItem* item = GetTreeItem(row);
  if (!item) return {};
  const int w = std::max(1, FirstColumnWidth()), h = std::max(1, rowHeight_);
  QPixmap image(w, h);
  image.fill(palette().color(QPalette::Base));
  QPainter p(&image);
  const int icon = GetItemIconIndex(item);
  if (icon >= 0 && icon < static_cast<int>(smallImages_.size())) p.drawPixmap(0, 0, smallImages_[static_cast<size_t>(icon)]);
  p.setFont(font());
  p.setPen(palette().color(QPalette::Text));
  p.drawText(QRect(iconWidth_ + 4, 0, w - iconWidth_ - 4, h), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
             QString::fromStdString(item->rowItem->firstText));
  return image;
}

bool SubGridCtrl::OnItemExpanding(GridTreeItem*, int) { return true; }
void SubGridCtrl::OnItemExpanded(GridTreeItem*, int) {}
bool SubGridCtrl::OnItemCollapsing(GridTreeItem*) { return true; }
void SubGridCtrl::OnItemCollapsed(GridTreeItem*) {}
bool SubGridCtrl::OnDeleteKey(GridTreeItem*, int) { return true; }
bool SubGridCtrl::OnExpandAllKey(GridTreeItem*, int) { return true; }
bool SubGridCtrl::OnCollapseKey(GridTreeItem*, int) { return true; }
bool SubGridCtrl::OnExpandKey(GridTreeItem*, int) { return true; }
bool SubGridCtrl::OnReturnKey() { return false; }

bool SubGridCtrl::OpenCellEditor(int row, int column) {
  if (!GetTreeItem(row) || !model_.IsColumnEditable(column)) return false;
  return (column == 0 ? EditLabel(row) : EditSubItem(row, column)) != nullptr;
}
bool SubGridCtrl::AcceptClick(const GridHitTest&) { return true; }
void SubGridCtrl::OnRowSelected(int) {}

// ---------------------------------------------------------------- editors

ListEditCtrl* SubGridCtrl::EditLabel(int row) {
  if (!EnsureVisible(row)) return nullptr;
  const GridTreeItem* item = GetTreeItem(row);
  QRect r = GetLabelRect(row);
  r.setRight(std::min(r.right(), viewport()->width() - 1));
  try {
    auto* editor = new ListEditCtrl(this, row, 0, item->rowItem->firstText, kEditFirstColumnId, Qt::AlignLeft);
    editor->setAccessibleName(QString::fromStdString(GetColumnTitle(0)));
    editor->setGeometry(r);
    editor->Start();
    return editor;
  } catch (const std::bad_alloc&) {
    if (reportFailures_) GridShowResourceLackError(kErrEditCreate, "ListEditCtrl::OnCreate", "EditBox", 0, 1);
    return nullptr;
  }
}

ListEditCtrl* SubGridCtrl::EditSubItem(int row, int column) {
  if (column < 1 || column >= GetColumnCount()) return nullptr;
  if (!EnsureVisible(row)) return nullptr;
  QRect cell = GetCellRect(row, column);
  if (cell.left() < 0 || cell.left() > viewport()->width()) {
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + cell.left());
    cell = GetCellRect(row, column);
  }
  cell.setRight(std::min(cell.right(), viewport()->width() - 1));
  const GridRowItem* ri = GetTreeItem(row)->rowItem.get();
  if (ri->GetSubItemImage(column - 1) >= 0) cell.setLeft(cell.left() + iconWidth_);
  const int align = GetColumnAlignment(column);
  const Qt::Alignment a = align == kGridAlignRight ? Qt::AlignRight : align == kGridAlignCenter ? Qt::AlignHCenter : Qt::AlignLeft;
  try {
    auto* editor = new ListEditCtrl(this, row, column, ri->GetColumnText(column - 1), kEditOtherColumnId, a);
    editor->setAccessibleName(QString::fromStdString(GetColumnTitle(column)));
    editor->setGeometry(cell);
    editor->Start();
    return editor;
  } catch (const std::bad_alloc&) {
    if (reportFailures_) GridShowResourceLackError(kErrEditCreate, "ListEditCtrl::OnCreate", "EditBox", 0, 1);
    return nullptr;
  }
}

void SubGridCtrl::OnEndItemEdit(int controlId, const GridTreeItem* item, std::uint64_t serial, int column,
                                const std::string* text, int itemParam) {
  if (closing_ || !text || !model_.Contains(item, serial)) return;
  (void)controlId;
  GridTreeItem* live = const_cast<GridTreeItem*>(item);
  UpdateListViewItem(live, GridEditedCell{GetRowIndex(live), column, *text, itemParam});
}

// ---------------------------------------------------------------- mouse

bool SubGridCtrl::ToggleExpansion(GridTreeItem* item, int row, int* lastRow) {
  RedrawGuard redraw(this);
  if (item->collapsed) {
    if (!OnItemExpanding(item, row)) return false;
    *lastRow = model_.Expand(item);
    OnItemExpanded(item, row);
  } else {
    if (!OnItemCollapsing(item)) return false;
    model_.Collapse(item);
    *lastRow = row;
    OnItemCollapsed(item);
  }
  return true;
}

bool SubGridCtrl::ToggleBranch(int row) {
  GridTreeItem* item = GetTreeItem(row);
  if (!item || !item->HasChildren()) return false;
  int last = row;
  if (!ToggleExpansion(item, row, &last)) return false;
  EnsureVisible(last >= 0 ? last : row);
  viewport()->update();
  return true;
}

bool SubGridCtrl::HandleCheckAndExpand(const GridHitTest& hit) {
  GridTreeItem* item = GetTreeItem(hit.row);
  if (!item || hit.column != 0) return false;
  if ((extendedStyle_ & kGridExCheckBoxes) && hit.flags == kHitOnStateIcon) {
    item->rowItem->checkFlag = item->rowItem->checkFlag ? 0 : 1;
    RepaintRow(hit.row);
  }
  if (item->HasChildren() && GetExpandBoxRect(hit.row).contains(hit.point)) {
    int last = hit.row;
    if (ToggleExpansion(item, hit.row, &last)) {
      EnsureVisible(last >= 0 ? last : hit.row);
      viewport()->update();
      return true;
    }
  }
  return false;
}

void SubGridCtrl::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (event->button() == Qt::RightButton) {
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    GridHitTest hit = HitTest(pos);
    if (hit.row >= 0) SetSelectedRow(hit.row);
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);  // ends an open editor
  pressRow_ = -1;
  const GridHitTest hit = HitTest(pos);
  if (!AcceptClick(hit)) return;
  if (HandleCheckAndExpand(hit)) return;
  if (hit.row < 0) return;
  model_.SetFocusedColumn(hit.column);
  EnsureColumnVisible(hit.column);
  GridTreeItem* clicked = GetTreeItem(hit.row);
  const std::uint64_t serial = clicked->serial;
  SetSelectedRow(hit.row);
  // The owner may have rebuilt the grid on hearing of the selection.
  if (!model_.Contains(clicked, serial) || GetRowIndex(clicked) != hit.row) return;
  pressRow_ = hit.row;
  pressPos_ = pos;
  EditCell(event->modifiers(), pos.x(), pos.y(), hit);
  if (!hasFocus()) pressRow_ = -1;  // an editor took over
  viewport()->update();
}

void SubGridCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (!hasFocus()) setFocus(Qt::MouseFocusReason);
  const GridHitTest hit = HitTest(event->position().toPoint());
  if (!AcceptClick(hit)) return;
  if (HandleCheckAndExpand(hit)) return;
  if (hit.row < 0) return;
  const int row = GetSelectedRow();
  GridTreeItem* item = GetTreeItem(row);
  if (!item || !item->HasChildren()) return;
  const bool expanding = item->collapsed != 0;
  int last = row;
  if (ToggleExpansion(item, row, &last)) {
    // After an expand the last child comes into view; after a collapse the
    // list goes back to its first row.
    EnsureVisible(expanding && last >= 0 ? last : 0);
    viewport()->update();
  }
}

void SubGridCtrl::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  if (dragging_) {
    dragTimer_.stop();
    const Qt::MouseButtons b = event->buttons();
    if (!(b & Qt::LeftButton) || b == Qt::RightButton || b == Qt::MiddleButton) {
      EndDrag();
      return;
    }
    dragPos_ = pos;
    dropTarget_ = HitTest(pos).row;
    const int vh = viewport()->height();
    const bool band = (pos.y() >= 0 && pos.y() < iconHeight_) || (pos.y() >= vh - iconHeight_ && pos.y() < vh);
    const GridTreeItem* target = GetTreeItem(dropTarget_);
    if (band || (target && target->HasChildren() && target->collapsed)) dragTimer_.start(kDragTimerMs);
    viewport()->update();
    return;
  }
  if ((event->buttons() & Qt::LeftButton) && pressRow_ >= 0 &&
      (pos - pressPos_).manhattanLength() >= QApplication::startDragDistance())
    BeginDrag(pressRow_, pos);
}

void SubGridCtrl::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && dragging_) {
    Drop();
    return;
  }
  pressRow_ = -1;
}

void SubGridCtrl::BeginDrag(int row, const QPoint& pos) {
  pressRow_ = -1;
  GridTreeItem* source = GetTreeItem(row);
  if (!source) return;
  QPixmap image = CreateDragImage(row);
  if (image.isNull()) return;
  dragSource_ = source;
  dragImage_ = image;
  dragging_ = true;
  dropTarget_ = -1;
  dragPos_ = pos;
  viewport()->update();
}

void SubGridCtrl::EndDrag() {
  dragTimer_.stop();
  dragging_ = false;
  dragSource_ = nullptr;
  dropTarget_ = -1;
  dragImage_ = QPixmap();
  viewport()->update();
}

void SubGridCtrl::OnDragTimer() {
  if (!dragging_) return;
  dragTimer_.start(kDragTimerMs);
  const QPoint pos = dragPos_;
  const int vh = viewport()->height();
  const int oldTop = GetTopIndex();
  if (pos.y() < iconHeight_) verticalScrollBar()->setValue(oldTop - 1);
  else if (pos.y() >= vh - iconHeight_) verticalScrollBar()->setValue(oldTop + 1);
  if (GetTopIndex() == oldTop) dragTimer_.stop();
  dropTarget_ = HitTest(pos).row;
  GridTreeItem* target = GetTreeItem(dropTarget_);
  if (target && target->HasChildren() && target->collapsed && dragSource_) {
    {
      RedrawGuard redraw(this);
      if (OnItemExpanding(target, dropTarget_)) {
        int last = model_.Expand(target);
        OnItemExpanded(target, dropTarget_);
        EnsureVisible(last);
      }
    }
    dragTimer_.stop();
  }
  viewport()->update();
}

void SubGridCtrl::Drop() {
  GridTreeItem* source = dragSource_;
  GridTreeItem* target = GetTreeItem(dropTarget_);
  EndDrag();
  if (!source || !target || source == target || !model_.CanDrop(source, target)) return;
  WaitCursor wait;
  RedrawGuard redraw(this);
  model_.MoveBranch(source, target);
}

void SubGridCtrl::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) setFocus(Qt::OtherFocusReason);
  QAbstractScrollArea::wheelEvent(event);
}

// ---------------------------------------------------------------- keys

void SubGridCtrl::MoveSelection(int row) {
  if (GetItemCount() == 0) return;
  row = std::clamp(row, 0, GetItemCount() - 1);
  SetSelectedRow(row);
  EnsureVisible(row);
}

void SubGridCtrl::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const bool keypad = event->modifiers() & Qt::KeypadModifier;
  if (dragging_) {
    if (key == Qt::Key_Escape) EndDrag();
    event->accept();
    return;
  }
  const int sel = GetSelectedRow();
  GridTreeItem* item = GetTreeItem(sel);

  if (key == Qt::Key_Left || key == Qt::Key_Right) {
    if (model_.MoveFocusedColumn(key == Qt::Key_Left ? -1 : 1)) {
      EnsureColumnVisible(GetFocusedColumn());
      RepaintRow(sel);
      NotifyGridFocus(this);
    }
    event->accept();
    return;
  }
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    bool consumed = OnReturnKey();
    if (!consumed && GetTreeItem(GetSelectedRow())) {
      switch (model_.DecideReturn()) {
        case GridTreeModel::ReturnAction::kEditFirstColumn: consumed = EditLabel(GetSelectedRow()) != nullptr; break;
        case GridTreeModel::ReturnAction::kEditSubItem:
          consumed = EditSubItem(GetSelectedRow(), GetFocusedColumn()) != nullptr;
          break;
        case GridTreeModel::ReturnAction::kNone: break;
      }
    }
    if (consumed) event->accept();
    else event->ignore();
    return;
  }
  // F4 or Alt+Down opens the focused cell's editor, also the folder and
  // serial-settings editors that otherwise open only from their buttons.
  if (key == Qt::Key_F4 || (key == Qt::Key_Down && (event->modifiers() & Qt::AltModifier))) {
    if (item) OpenCellEditor(sel, GetFocusedColumn());
    event->accept();
    return;
  }
  // The keypad's tree keys win over typing, except that '-' on a value cell
  // starts a negative number.
  const bool treeKey = keypad && (key == Qt::Key_Plus || key == Qt::Key_Asterisk ||
                                  (key == Qt::Key_Minus && GetFocusedColumn() == 0));
  const QString text = event->text();
  if (!treeKey && text.size() == 1 &&
      !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
    switch (model_.DecideTypedChar(text.at(0).unicode())) {
      case GridTreeModel::CharAction::kSwallow: event->accept(); return;
      case GridTreeModel::CharAction::kOpenEditor:
        if (ListEditCtrl* editor = EditSubItem(sel, GetFocusedColumn())) editor->insert(text);
        event->accept();
        return;
      case GridTreeModel::CharAction::kNotHandled: break;
    }
  }
  switch (key) {
    case Qt::Key_Space:
      if ((extendedStyle_ & kGridExCheckBoxes) && item) {
        item->rowItem->checkFlag = item->rowItem->checkFlag ? 0 : 1;
        RepaintRow(sel);
      }
      event->accept();
      return;
    case Qt::Key_Delete:
      if (deletionEnabled == 1 && item && OnDeleteKey(item, sel)) DeleteItem(item, sel);
      event->accept();
      return;
    case Qt::Key_Asterisk:
      if (keypad && item) {
        WaitCursor wait;
        int last = sel;
        {
          RedrawGuard redraw(this);
          if (OnExpandAllKey(item, sel)) last = model_.ExpandBranch(item);
        }
        EnsureVisible(last);
        event->accept();
        return;
      }
      break;
    case Qt::Key_Plus:
      if (keypad && item) {
        WaitCursor wait;
        int last = 0;
        if (OnExpandKey(item, sel)) last = Expand(item, sel);
        RepaintRow(sel);
        EnsureVisible(last);
        event->accept();
        return;
      }
      break;
    case Qt::Key_Minus:
      if (keypad && item) {
        WaitCursor wait;
        if (OnCollapseKey(item, sel)) Collapse(item);
        RepaintRow(sel);
        event->accept();
        return;
      }
      break;
    case Qt::Key_Up: MoveSelection(sel < 0 ? 0 : sel - 1); event->accept(); return;
    case Qt::Key_Down: MoveSelection(sel < 0 ? 0 : sel + 1); event->accept(); return;
    case Qt::Key_PageUp: MoveSelection(sel < 0 ? 0 : sel - (GetCountPerPage() - 1)); event->accept(); return;
    case Qt::Key_PageDown: MoveSelection(sel < 0 ? 0 : sel + (GetCountPerPage() - 1)); event->accept(); return;
    case Qt::Key_Home: MoveSelection(0); event->accept(); return;
    case Qt::Key_End: MoveSelection(GetItemCount() - 1); event->accept(); return;
    default: break;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

void SubGridCtrl::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void SubGridCtrl::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

// ---------------------------------------------------------------- painting

void SubGridCtrl::DrawFocusRect(QPainter& p, const QRect& r) const {
  if (r.width() < 2 || r.height() < 2) return;
  QPen pen(Qt::black);
  pen.setStyle(Qt::DotLine);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawRect(r.adjusted(0, 0, -1, -1));
}

void SubGridCtrl::DrawButton(QPainter& p, const QRect& r, bool dropDown) const {
  QStyleOptionButton opt;
  opt.rect = r;
  opt.palette = palette();
  opt.state = QStyle::State_Enabled | QStyle::State_Raised;
  style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &opt, &p, this);
  QStyleOption arrow;
  arrow.rect = r.adjusted(3, 3, -3, -3);
  arrow.palette = palette();
  arrow.state = QStyle::State_Enabled;
  style()->drawPrimitive(dropDown ? QStyle::PE_IndicatorArrowDown : QStyle::PE_IndicatorArrowRight, &arrow, &p,
                         this);
}

void SubGridCtrl::DrawRow(QPainter& p, int row, const QRect& paintRect) {
  GridTreeItem* item = GetTreeItem(row);
  const GridRowItem* ri = item->rowItem.get();
  const QRect rr = GetRowRect(row);
  if (!rr.intersects(paintRect)) return;
  const bool selected = row == GetSelectedRow();
  const QColor highlight = palette().color(QPalette::Active, QPalette::Highlight);
  const QColor highlightText = palette().color(QPalette::Active, QPalette::HighlightedText);
  const QColor bg = selected ? highlight : ToQColor(kGridRowBackground);
  const QColor fg = selected ? highlightText : QColor(Qt::black);
  const int left = rr.left(), top = rr.top(), bottom = rr.top() + rr.height();
  const int col0 = FirstColumnWidth();
  const int edge = left + col0 - 2;
  const int level = item->level;

  // First column.
  p.save();
  p.setClipRect(QRect(left, top, col0, rr.height()));
  p.fillRect(QRect(left, top, col0, rr.height()),
             ToQColor(model_.IsColumnEditable(0) ? kGridEditableBackground : kGridRowBackground));
  const QRect icon = GetIconRect(row);
  const bool iconShown = iconWidth_ > 0 && icon.left() < edge;
  const int iconIndex = GetItemIconIndex(item);
  if (iconShown && iconIndex >= 0 && iconIndex < static_cast<int>(smallImages_.size())) {
    p.save();
    p.setClipRect(QRect(left, top, std::max(0, edge - left), rr.height()), Qt::IntersectClip);
    QPixmap pix = smallImages_[static_cast<size_t>(iconIndex)];
    if (row == dropTarget_) {
      QPainter tp(&pix);
      tp.setCompositionMode(QPainter::CompositionMode_SourceAtop);
      QColor tint = highlight;
      tint.setAlpha(128);
      tp.fillRect(pix.rect(), tint);
    }
    p.drawPixmap(icon.topLeft(), pix);
    p.restore();
  }
  const int midY = MidY(rr);
  if (iconShown && treeLines_ && level > 1) {
    p.setPen(ToQColor(kGridTreeLine));
    for (const GridTreeItem* it = item; it && it->parent; it = it->parent) {
      const int x = TreeLineX(rr, it->level);
      const bool later = it->parent->children.back().get() != it;
      if (it == item) {
        p.drawLine(x, top, x, later ? bottom - 1 : midY);
        p.drawLine(x, midY, std::min(left + level * iconWidth_, edge), midY);
      } else if (later) {
        p.drawLine(x, top, x, bottom - 1);
      }
    }
  }
  if (item->HasChildren() && iconWidth_ > 0) {
    const QRect box = GetExpandBoxRect(row);
    const int cx = TreeLineX(rr, level);
    p.fillRect(box, Qt::white);
    p.setPen(ToQColor(kGridBoxBorder));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setPen(Qt::black);
    p.drawLine(cx - 2, midY, cx + 2, midY);
    if (item->collapsed) p.drawLine(cx, midY - 2, cx, midY + 2);
    else if (treeLines_) {
      p.setPen(ToQColor(kGridTreeLine));
      p.drawLine(cx + iconWidth_, icon.top() + icon.height(), cx + iconWidth_, bottom - 1);
    }
  }
  const QRect label = GetLabelRect(row);
  p.fillRect(label, bg);
  if (ri->backgroundColor != kNoColor) p.fillRect(label, ToQColor(ri->backgroundColor));
  if (selected && GetFocusedColumn() == 0) {
    p.fillRect(label, ToQColor(GetStateColor(1)));
    DrawFocusRect(p, label);
  }
  if (extendedStyle_ & kGridExCheckBoxes) {
    const int sx = left + (level + 1) * iconWidth_;
    if (sx + kStateImageWidth < left + col0) {
      QStyleOptionButton opt;
      opt.rect = QRect(sx, icon.top(), kStateImageWidth, std::max(icon.height(), 13));
      opt.state = QStyle::State_Enabled | (ri->checkFlag ? QStyle::State_On : QStyle::State_Off);
      style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &p, this);
    }
  }
  const QFontMetrics fm(font());
  auto measure = [&fm](std::string_view s) {
    return fm.horizontalAdvance(QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())));
  };
  p.setPen(fg);
  p.drawText(label.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             QString::fromStdString(FitText(ri->firstText, label.width(), 2, measure)));
  p.restore();

  // Further columns.
  for (int c = 1; c < GetColumnCount(); ++c) {
    const QRect cell = GetCellRect(row, c);
    if (!cell.intersects(paintRect)) continue;
    const int n = c - 1;
    const bool editable = model_.IsColumnEditable(c);
    QColor fill, text;
    if (!selected) {
      fill = ToQColor(editable ? kGridEditableBackground : kGridRowBackground);
      text = editable && !ri->readOnly ? ToQColor(kGridEditableText) : QColor(Qt::black);
    } else {
      fill = highlight;
      text = highlightText;
    }
    p.save();
    p.setClipRect(cell);
    p.fillRect(cell, fill);
    int textLeft = cell.left();
    const int image = ri->GetSubItemImage(n);
    if (image >= 0 && image < static_cast<int>(subItemImages_.size())) {
      const QPixmap& pix = subItemImages_[static_cast<size_t>(image)];
      p.drawPixmap(cell.left(), cell.top() + (cell.height() - pix.height()) / 2, pix);
      textLeft += iconWidth_ + 2;
    }
    if (selected && !dragging_ && GetFocusedColumn() == c) {
      const GridColor state = editable && !ri->readOnly ? GetStateColor(0) : GetStateColor(1);
      const QRect focus(textLeft, cell.top(), cell.left() + cell.width() - textLeft, cell.height());
      p.fillRect(focus, ToQColor(state));
      DrawFocusRect(p, focus);
    }
    const std::string value = ri->GetColumnText(n);
    const int avail = cell.left() + cell.width() - textLeft;
    const std::string fitted = FitText(value, avail, 6, measure);
    Qt::Alignment align = Qt::AlignLeft;
    if (fitted == value) {
      const int a = GetColumnAlignment(c);
      align = a == kGridAlignRight ? Qt::AlignRight : a == kGridAlignCenter ? Qt::AlignHCenter : Qt::AlignLeft;
    }
    p.setPen(text);
    p.drawText(QRect(textLeft + 6, cell.top(), std::max(0, avail - 12), cell.height()),
               align | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(fitted));
    int kind = 0;
    if (selected && ri->GetCellKind(n, &kind) && kind >= kCellKindDropDown && kind <= kCellKindSerialSettings)
      DrawButton(p, GetButtonRect(row, c), kind == kCellKindDropDown);
    p.restore();
  }

  if (extendedStyle_ & kGridExGridLines) {
    p.setPen(QColor(212, 212, 212));
    p.drawLine(left, bottom - 1, left + header_->length() - 1, bottom - 1);
    for (int c = 0; c < GetColumnCount(); ++c) {
      const QRect cell = GetCellRect(row, c);
      p.drawLine(cell.left() + cell.width() - 1, top, cell.left() + cell.width() - 1, bottom - 1);
    }
  }
  if (row == dropTarget_) {
    p.setPen(highlight);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(left, top, col0, rr.height()).adjusted(0, 0, -1, -1));
  }
}

void SubGridCtrl::paintEvent(QPaintEvent* event) {
  QPainter p(viewport());
  const QRect area = event->rect();
  const int vh = viewport()->height();
  // Column strips: white under editable columns, grey under the others.
  int right = RowLeft();
  for (int c = 0; c < GetColumnCount(); ++c) {
    const QRect strip(RowLeft() + header_->sectionPosition(c), 0, header_->sectionSize(c), vh);
    p.fillRect(strip, ToQColor(model_.IsColumnEditable(c) ? kGridEditableBackground : kGridRowBackground));
    right = strip.left() + strip.width();
  }
  if (right < viewport()->width()) p.fillRect(QRect(right, 0, viewport()->width() - right, vh), palette().color(QPalette::Base));
  p.setFont(font());
  const int first = GetTopIndex();
  const int last = std::min(GetItemCount() - 1, first + GetCountPerPage());
  for (int row = first; row <= last; ++row) DrawRow(p, row, area);
  // Without a selected row the focus would not show at all: frame the row
  // the first arrow key selects.
  if (hasFocus() && GetSelectedRow() < 0 && first <= last && GetColumnCount() > 0)
    DrawFocusRect(p, GetCellRect(first, 0).united(GetCellRect(first, GetColumnCount() - 1)));
  if (dragging_ && !dragImage_.isNull()) {
    p.setOpacity(0.6);
    p.drawPixmap(dragPos_, dragImage_);
  }
}

}  // namespace qmx::grid
