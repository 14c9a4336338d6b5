#include "platform/toolkit/tool_box.h"

#include "platform/toolkit/text_fit.h"
#include "platform/toolkit/window_messages.h"

#include <algorithm>

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QListWidget>
#include <QScrollArea>

namespace qmx::toolkit {

namespace {
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kDataRole = Qt::UserRole + 2;
}  // namespace

ToolBox::ToolBox(QWidget* parent) : QToolBox(parent) {}

void ToolBox::SetImageLists(const QList<QIcon>& large, const QList<QIcon>& small) {
  large_ = large;
  small_ = small;
  for (int f = 0; f < count(); ++f) {
    QListWidget* list = Folder(f);
    for (int i = 0; i < list->count(); ++i) list->item(i)->setIcon(ImageAt(list->item(i)->data(kImageRole).toInt()));
  }
}

void ToolBox::SetLargeIcons(bool large) {
  largeIcons_ = large;
  for (int f = 0; f < count(); ++f) {
    QListWidget* list = Folder(f);
    list->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    list->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
  }
}

QIcon ToolBox::ImageAt(int image) const {
  const QList<QIcon>& icons = largeIcons_ ? large_ : small_;
  return image >= 0 && image < icons.size() ? icons[image] : QIcon();
}

int ToolBox::AddFolder(const QString& text) {
  auto* list = new QListWidget(this);
  list->setObjectName(QString("ToolBoxFolder%1").arg(count()));
  list->setViewMode(largeIcons_ ? QListView::IconMode : QListView::ListMode);
  list->setIconSize(largeIcons_ ? QSize(32, 32) : QSize(16, 16));
  list->setFlow(QListView::TopToBottom);
  list->setMovement(QListView::Static);
  list->setResizeMode(QListView::Adjust);
  list->setWordWrap(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setItemDelegate(new ElidedToolTipDelegate(list));
  connect(list, &QListWidget::itemClicked, this, [this, list](QListWidgetItem* item) {
    const int folder = indexOf(list);
    ClickItem(folder, list->row(item));
  });
  list->setAccessibleName(text);
  const int index = addItem(list, text);
  setItemToolTip(index, text);
  KeyboardReach(list);
  updateGeometry();
  return index;
}

void ToolBox::KeyboardReach(QListWidget* list) {
  // Qt makes the folder headers mouse-only; the keyboard needs them to open
  // another folder (Tab to a header, Space opens it). The new folder's
  // header is the last one made; its list follows it in the Tab order, and
  // the scroll area around the list adds no stop of its own.
  QAbstractButton* header = nullptr;
  for (QAbstractButton* b : findChildren<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (b->inherits("QToolBoxButton")) header = b;
  }
  if (auto* area = qobject_cast<QScrollArea*>(list->parentWidget() ? list->parentWidget()->parentWidget() : nullptr))
    area->setFocusPolicy(Qt::NoFocus);
  list->installEventFilter(this);  // Return, Enter or Space clicks the current product
  if (!header) return;
  header->setFocusPolicy(Qt::TabFocus);
  header->installEventFilter(this);
  setTabOrder(header, list);
}

bool ToolBox::eventFilter(QObject* watched, QEvent* event) {
  if (auto* list = qobject_cast<QListWidget*>(watched); list && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool click = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
    if (!click || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || !list->currentItem())
      return QToolBox::eventFilter(watched, event);
    ClickItem(indexOf(list), list->currentRow());
    return true;
  }
  // Styles draw no focus frame on a folder header (Qt never meant it to take
  // focus): the header paints as ever, then the frame goes over its text.
  auto* header = qobject_cast<QAbstractButton*>(watched);
  if (event->type() != QEvent::Paint || !header || !header->hasFocus()) return QToolBox::eventFilter(watched, event);
  static_cast<QObject*>(header)->event(event);
  QPainter painter(header);
  QStyleOptionFocusRect frame;
  frame.initFrom(header);
  frame.state |= QStyle::State_KeyboardFocusChange | QStyle::State_HasFocus;
  // Around the text, clear of the header's slanted end.
  frame.rect = QRect(1, 2, std::min(TextWidth(header, header->text()) + 8, header->width() - header->height()),
                     header->height() - 4);
  header->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, header);
  return true;
}

QSize ToolBox::minimumSizeHint() const {
  int widest = 0;
  for (int f = 0; f < count(); ++f) widest = std::max(widest, TextWidth(this, itemText(f)));
  if (widest == 0) return QToolBox::minimumSizeHint();
  // A folder tab keeps 4 + 8 pixels beside its label, and its slanted end
  // takes 17 pixels more than the tab is high; the tab is the text's height
  // plus 8.
  const int tabHeight = fontMetrics().height() + 8;
  const int needed = widest + 12 + 17 + tabHeight + 2 * frameWidth();
  return QToolBox::minimumSizeHint().expandedTo(QSize(needed, 0));
}

QListWidget* ToolBox::Folder(int folder) const { return qobject_cast<QListWidget*>(widget(folder)); }

int ToolBox::InsertItem(int folder, int index, const QString& text, int image, const QVariant& data) {
  QListWidget* list = Folder(folder);
  if (!list) return -1;
  if (index < 0 || index > list->count()) index = list->count();
  auto* item = new QListWidgetItem(ImageAt(image), text);
  item->setData(kImageRole, image);
  item->setData(kDataRole, data);
  item->setTextAlignment(largeIcons_ ? Qt::AlignHCenter : Qt::AlignLeft | Qt::AlignVCenter);
  list->insertItem(index, item);
  return index;
}

bool ToolBox::RemoveItem(int folder, int item) {
  QListWidget* list = Folder(folder);
  if (!list || item < 0 || item >= list->count()) return false;
  if (!Notify(kToolBoxItemRemoving, folder, item, list->item(item)->data(kDataRole))) return false;
  delete list->takeItem(item);
  return true;
}

bool ToolBox::RemoveFolder(int folder) {
  QListWidget* list = Folder(folder);
  if (!list) return false;
  if (!Notify(kToolBoxFolderRemoving, folder, -1, {})) return false;
  // The folder goes; its items are told one by one, but none can stay without it.
  while (list->count() > 0) {
    const int last = list->count() - 1;
    Notify(kToolBoxItemRemoving, folder, last, list->item(last)->data(kDataRole));
    delete list->takeItem(last);
  }
  removeItem(folder);
  delete list;
  return true;
}

bool ToolBox::OpenFolder(int folder) {
  if (folder < 0 || folder >= count()) return false;
  setCurrentIndex(folder);
  return true;
}

int ToolBox::ItemCount(int folder) const {
  QListWidget* list = Folder(folder);
  return list ? list->count() : 0;
}

QString ToolBox::ItemText(int folder, int item) const {
  QListWidget* list = Folder(folder);
  return list && item >= 0 && item < list->count() ? list->item(item)->text() : QString();
}

QVariant ToolBox::ItemData(int folder, int item) const {
  QListWidget* list = Folder(folder);
  return list && item >= 0 && item < list->count() ? list->item(item)->data(kDataRole) : QVariant();
}

QIcon ToolBox::ItemIcon(int folder, int item) const {
  QListWidget* list = Folder(folder);
  return list && item >= 0 && item < list->count() ? list->item(item)->icon() : QIcon();
}

void ToolBox::ClickItem(int folder, int item) {
  QListWidget* list = Folder(folder);
  if (!list || item < 0 || item >= list->count()) return;
  Notify(kToolBoxItemClicked, folder, item, list->item(item)->data(kDataRole));
}

bool ToolBox::Notify(int code, int folder, int item, const QVariant& data) {
  if (!owner_) return true;
  ToolBoxNotify notify{folder, item, data, false};
  SendWindowMessage(owner_, kToolBoxMessage, static_cast<std::uintptr_t>(code), reinterpret_cast<std::intptr_t>(&notify));
  return !notify.refused;
}

}  // namespace qmx::toolkit
