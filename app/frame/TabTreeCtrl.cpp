#include "app/frame/TabTreeCtrl.h"

#include "app/commands/CommandIds.h"
#include "app/frame/online/OnlineOperations.h"

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
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace {

constexpr int kImageSize = 16;
constexpr int kEditMenuIndex = 1;  // the second popup, "&Edit"
constexpr const char* kCataloguePictures = "ToolBoxList.bmp";

// Communication-state pictures of monitoring. The disc's colour says at a
// glance how the station is (green communicating, amber communicating with
// a fault, red not communicating); the sign on it says which fault.
enum class Sign { kNone, kBusError, kFieldPowerOff, kBoth };
struct StatePicture {
  int index;
  bool project;
  QColor fill;
  Sign sign;
  const char* description;  // the words for the picture (tool tip, accessible description)
};
const StatePicture kStatePictures[] = {
    {kImageProjectMonitoring, true, QColor(40, 160, 60), Sign::kNone, "Monitoring"},
    {kImageProjectAllFailed, true, QColor(200, 50, 40), Sign::kNone, "Monitoring, no station communicates"},
    {kImageAdapterFault, false, QColor(200, 50, 40), Sign::kNone, "Communication fault"},
    {kImageAdapterRunning, false, QColor(40, 160, 60), Sign::kNone, "Communicating"},
    {kImageAdapterBusError, false, QColor(240, 170, 0), Sign::kBusError, "Communicating, bus error"},
    {kImageAdapterFieldPowerFault, false, QColor(240, 170, 0), Sign::kFieldPowerOff,
     "Communicating, field power off"},
    {kImageAdapterBusErrorAndFieldPower, false, QColor(240, 170, 0), Sign::kBoth,
     "Communicating, bus error, field power off"},
};

const StatePicture* StatePictureOf(int image) {
  for (const StatePicture& state : kStatePictures) {
    if (state.index == image) return &state;
  }
  return nullptr;
}

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

// An exclamation mark centred on x: a bus error.
void DrawBusErrorSign(QPainter& p, qreal x) {
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(x - 1, 3.5, 2, 6));
  p.drawRect(QRectF(x - 1, 10.5, 2, 2));
}

// A lightning bolt in the 16-pixel square: field power.
void DrawFieldPowerSign(QPainter& p) {
  QPainterPath bolt;
  bolt.moveTo(9.5, 2.5);
  bolt.lineTo(4.5, 9);
  bolt.lineTo(8, 9);
  bolt.lineTo(6.5, 13.5);
  bolt.lineTo(11.5, 7);
  bolt.lineTo(8, 7);
  bolt.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPath(bolt);
}

QIcon StateIcon(const StatePicture& state) {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  if (state.project) {
    p.setPen(QColor(150, 110, 20));
    p.setBrush(QColor(240, 200, 90));
    p.drawRect(1, 4, 13, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(state.fill);
    p.drawEllipse(QPointF(11, 11), 4, 4);
    return QIcon(pixmap);
  }
  p.setPen(QColor(60, 60, 60));
  p.setBrush(state.fill);
  p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
  switch (state.sign) {
    case Sign::kNone: break;
    case Sign::kBusError: DrawBusErrorSign(p, 8); break;
    case Sign::kFieldPowerOff: DrawFieldPowerSign(p); break;
    case Sign::kBoth:
      // Both signs side by side: a narrower bolt on the left.
      p.save();
      p.translate(-1.2, 1.6);
      p.scale(0.85, 0.8);
      DrawFieldPowerSign(p);
      p.restore();
      DrawBusErrorSign(p, 11);
      break;
  }
  return QIcon(pixmap);
}

}  // namespace

TabTreeCtrl::TabTreeCtrl(ProjectTree& store, qmx::toolkit::FrameWnd* frame, QWidget* parent)
    : QTreeWidget(parent), store_(&store), frame_(frame) {
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
  for (const StatePicture& state : kStatePictures) images[static_cast<size_t>(state.index)] = StateIcon(state);
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
  // The pictures are read with the first item: the window's first frame
  // shows an empty tree.
  if (images_.empty()) images_ = LoadItemImages();
  widget->setData(0, kImageRole, image);
  widget->setIcon(0, image >= 0 && image < kImageCount ? images_[static_cast<size_t>(image)] : QIcon());
  // A state picture is also said in words, for those who cannot tell it by
  // its colour.
  const StatePicture* state = StatePictureOf(image);
  const QString description = state ? QString::fromUtf8(state->description) : QString();
  widget->setToolTip(0, description);
  widget->setData(0, Qt::AccessibleDescriptionRole, description);
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
