#include "app/frame/TabTreeCtrl.h"

#include "app/commands/CommandIds.h"

#include "platform/os/os.h"
#include "platform/toolkit/frame_wnd.h"

#include <QBitmap>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace {

constexpr int kImageSize = 16;
constexpr int kEditMenuIndex = 1;  // the second popup, "&Edit"
constexpr const char* kCataloguePictures = "ToolBoxList.bmp";

// Communication-state pictures of monitoring (project 21, 22; adapter 24-28).
struct StatePicture {
  int index;
  QColor fill;
  QColor mark;
};
const StatePicture kStatePictures[] = {
    {21, QColor(40, 160, 60), QColor(255, 255, 255)},   // project monitoring: some adapter communicates
    {22, QColor(200, 50, 40), QColor(255, 255, 255)},   // project monitoring: no adapter communicates
    {24, QColor(200, 50, 40), QColor(200, 50, 40)},     // adapter: communication fault
    {25, QColor(40, 160, 60), QColor(40, 160, 60)},     // adapter communicates
    {26, QColor(40, 160, 60), QColor(250, 200, 0)},     // communicates, bus error
    {27, QColor(40, 160, 60), QColor(60, 120, 220)},    // communicates, field power off
    {28, QColor(40, 160, 60), QColor(120, 60, 160)},    // communicates, bus error and field power off
};

QPixmap Blank() {
  QPixmap pixmap(kImageSize, kImageSize);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// A project: a folder.
QIcon ProjectPicture() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setPen(QColor(150, 110, 20));
  p.setBrush(QColor(240, 200, 90));
  p.drawRect(1, 4, 13, 10);
  p.drawRect(1, 2, 6, 2);
  return QIcon(pixmap);
}

// A module or adapter of a group without a catalogue picture: a grey slice.
QIcon GenericPicture() {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setPen(QColor(120, 120, 120));
  p.setBrush(QColor(225, 225, 225));
  p.drawRect(4, 1, 8, 13);
  p.fillRect(5, 2, 7, 3, QColor(150, 150, 150));
  return QIcon(pixmap);
}

QIcon StateIcon(const StatePicture& state, bool project) {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  if (project) {
    p.setPen(QColor(150, 110, 20));
    p.setBrush(QColor(240, 200, 90));
    p.drawRect(1, 4, 13, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(state.fill);
    p.drawEllipse(QPointF(11, 11), 4, 4);
  } else {
    p.setPen(QColor(60, 60, 60));
    p.setBrush(state.fill);
    p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
    p.setPen(Qt::NoPen);
    p.setBrush(state.mark);
    p.drawEllipse(QPointF(8, 8), 2.5, 2.5);
  }
  return QIcon(pixmap);
}

}  // namespace

TabTreeCtrl::TabTreeCtrl(ProjectTree& store, qmx::toolkit::FrameWnd* frame, QWidget* parent)
    : QTreeWidget(parent), store_(&store), frame_(frame), images_(LoadItemImages()) {
  setObjectName("ProjectTree");
  setAccessibleName("Project Explorer");
  setHeaderHidden(true);
  setColumnCount(1);
  // Labels are never cut: a narrow window scrolls sideways instead. The
  // column is sized to its labels once per batch of changes (the header's
  // own ResizeToContents measures every label at every change, quadratic in
  // the size of the tree).
  header()->setSectionResizeMode(0, QHeaderView::Fixed);
  header()->setStretchLastSection(false);
  setTextElideMode(Qt::ElideNone);
  // Every row is one line beside a 16-pixel picture. Without this the view
  // measures every label again at each selection change.
  setUniformRowHeights(true);
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(kImageSize, kImageSize));
  setFocusPolicy(Qt::StrongFocus);
  setContextMenuPolicy(Qt::DefaultContextMenu);

  // The user's selection and expansion go to the store; the store's answer
  // comes back through the listener.
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
    if (mirroring_ || !store_) return;
    store_->SelectItem(current ? ItemOf(current) : kNoTreeItem);
  });
  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* w) {
    Later(kSizeColumn);
    if (!mirroring_ && store_) store_->Expand(ItemOf(w), true);
  });
  connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* w) {
    Later(kSizeColumn);
    if (!mirroring_ && store_) store_->Expand(ItemOf(w), false);
  });

  store_->AddListener(this);
  // Show what the store already holds.
  for (TreeItem root : store_->Children(kNoTreeItem)) {
    for (TreeItem item : store_->Subtree(root)) OnItemInserted(item);
  }
  ShowSelection();
  resizeColumnToContents(0);
}

TabTreeCtrl::~TabTreeCtrl() {
  if (store_) store_->RemoveListener(this);
}

void TabTreeCtrl::OnTreeDestroyed() {
  store_ = nullptr;
  mirroring_ = true;
  items_.clear();
  clear();
  mirroring_ = false;
}

std::vector<QIcon> TabTreeCtrl::LoadItemImages() {
  std::vector<QIcon> images(kImageCount, GenericPicture());
  const std::filesystem::path file = qmx::os::ProgramFolder() / "Image" / kCataloguePictures;
  const QImage strip(QString::fromStdString(file.string()));
  for (int x = 0, i = 0; !strip.isNull() && x + kImageSize <= strip.width() && i < kImageCount;
       x += kImageSize, ++i) {
    QPixmap picture = QPixmap::fromImage(strip.copy(x, 0, kImageSize, kImageSize));
    picture.setMask(picture.createMaskFromColor(QColor(0, 255, 255), Qt::MaskInColor));
    images[static_cast<size_t>(i)] = QIcon(picture);
  }
  images[0] = ProjectPicture();
  for (const StatePicture& state : kStatePictures) {
    images[static_cast<size_t>(state.index)] = StateIcon(state, state.index < 24);
  }
  return images;
}

void TabTreeCtrl::Later(int what) {
  const bool queued = pending_ != 0;
  pending_ |= what;
  if (!queued) QMetaObject::invokeMethod(this, &TabTreeCtrl::CatchUp, Qt::QueuedConnection);
}

void TabTreeCtrl::CatchUp() {
  const int what = std::exchange(pending_, 0);
  if (what & kSizeColumn) resizeColumnToContents(0);
  if (what & kShowSelection) ShowSelection();
}

TreeItem TabTreeCtrl::ItemOf(const QTreeWidgetItem* widget) const {
  return widget ? widget->data(0, kItemRole).value<qlonglong>() : kNoTreeItem;
}

QTreeWidgetItem* TabTreeCtrl::WidgetItem(TreeItem item) const {
  const auto it = items_.find(item);
  return it == items_.end() ? nullptr : it->second;
}

void TabTreeCtrl::Apply(QTreeWidgetItem* widget, TreeItem item) {
  widget->setText(0, QString::fromStdString(store_->GetItemText(item)));
  const int image = store_->GetItemImage(item);
  widget->setData(0, kImageRole, image);
  widget->setIcon(0, image >= 0 && image < kImageCount ? images_[static_cast<size_t>(image)] : QIcon());
  QFont font = widget->font(0);
  font.setBold(store_->IsBold(item));
  widget->setFont(0, font);
  widget->setExpanded(store_->IsExpanded(item));
}

void TabTreeCtrl::OnItemInserted(TreeItem item) {
  if (items_.count(item)) return;
  const TreeItem parent = store_->GetParentItem(item);
  QTreeWidgetItem* parentWidget = parent == kNoTreeItem ? invisibleRootItem() : WidgetItem(parent);
  if (!parentWidget) return;
  const std::vector<TreeItem>& siblings = store_->Children(parent);
  const int index = static_cast<int>(std::find(siblings.begin(), siblings.end(), item) - siblings.begin());
  mirroring_ = true;
  auto* widget = new QTreeWidgetItem();
  widget->setData(0, kItemRole, QVariant::fromValue<qlonglong>(item));
  parentWidget->insertChild(std::min(index, parentWidget->childCount()), widget);
  items_[item] = widget;
  Apply(widget, item);
  parentWidget->setExpanded(parent == kNoTreeItem || store_->IsExpanded(parent));
  mirroring_ = false;
  Later(kSizeColumn);
}

void TabTreeCtrl::OnItemDeleting(TreeItem item) {
  QTreeWidgetItem* widget = WidgetItem(item);
  if (!widget) return;
  for (TreeItem gone : store_->Subtree(item)) items_.erase(gone);
  mirroring_ = true;
  delete widget;
  mirroring_ = false;
  // Qt moves its current item to a neighbour; the store's selection holds.
  Later(kShowSelection | kSizeColumn);
}

void TabTreeCtrl::OnItemChanged(TreeItem item) {
  if (QTreeWidgetItem* widget = WidgetItem(item)) {
    mirroring_ = true;
    Apply(widget, item);
    mirroring_ = false;
    Later(kSizeColumn);
  }
}

void TabTreeCtrl::OnSelectionChanged(TreeItem item) {
  Later(kShowSelection);
  emit selectionChanged(item);
}

void TabTreeCtrl::ShowSelection() {
  if (!store_) return;
  mirroring_ = true;
  QTreeWidgetItem* widget = WidgetItem(store_->GetSelectedItem());
  if (widget) {
    setCurrentItem(widget);
    scrollToItem(widget);
  } else {
    clearSelection();
    setCurrentItem(nullptr);
  }
  mirroring_ = false;
}

void TabTreeCtrl::focusInEvent(QFocusEvent* event) {
  QTreeWidget::focusInEvent(event);
  focusFlag_ = 1;
}

void TabTreeCtrl::focusOutEvent(QFocusEvent* event) {
  QTreeWidget::focusOutEvent(event);
  // A menu opened over the tree (the menu bar's, also by Alt and its letter,
  // or the tree's own) leaves the keyboard with the tree: Delete and Move
  // stay enabled in it.
  const Qt::FocusReason reason = event->reason();
  if (reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason) focusFlag_ = 0;
}

void TabTreeCtrl::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    // The right button selects the item under it and nothing else.
    QTreeWidgetItem* widget = itemAt(event->position().toPoint());
    if (widget && store_) store_->SelectItem(ItemOf(widget));
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
}

void TabTreeCtrl::contextMenuEvent(QContextMenuEvent* event) {
  // Only over an item; from the keyboard the selected item is meant.
  QTreeWidgetItem* widget = event->reason() == QContextMenuEvent::Mouse ? itemAt(event->pos()) : currentItem();
  if (!widget || !frame_) return;
  QMenu* edit = frame_->MenuPopup(kEditMenuIndex);
  if (!edit) return;
  const bool mouse = event->reason() == QContextMenuEvent::Mouse;
  edit->exec(mouse ? event->globalPos() : viewport()->mapToGlobal(visualItemRect(widget).center()));
}

void TabTreeCtrl::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && !event->isAutoRepeat() && frame_) frame_->SendCommand(qmx::commands::kIdEditDelete);
  QTreeWidget::keyReleaseEvent(event);
}
