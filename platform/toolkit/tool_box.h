// Tool box: a column of folders, one open at a time, each holding items with
// a picture and a text. The owner hears of clicks and removals through the
// tool-box notification message, sent synchronously:
//   wParam = notification code, lParam = pointer to a ToolBoxNotify.
#pragma once

#include <QIcon>
#include <QList>
#include <QToolBox>
#include <QVariant>

class QListWidget;
class QListWidgetItem;

namespace qmx::toolkit {

constexpr int kToolBoxMessage = 0x89D6;
constexpr int kToolBoxItemClicked = 1;
constexpr int kToolBoxItemRemoving = 7;
constexpr int kToolBoxFolderRemoving = 8;

struct ToolBoxNotify {
  int folder = -1;  // folder index
  int item = -1;    // item index in the folder, -1 for a folder notification
  QVariant data;    // the item's data
  // Set by the owner to keep an item or folder that is about to be removed.
  bool refused = false;
};

class ToolBox : public QToolBox {
  Q_OBJECT
public:
  explicit ToolBox(QWidget* parent = nullptr);

  // Where notifications go (the owner window); nullptr: nobody is told.
  void SetOwner(QObject* owner) { owner_ = owner; }
  // Pictures by index for large (icon) and small (list) items.
  void SetImageLists(const QList<QIcon>& large, const QList<QIcon>& small);
  // Large pictures with the text below them, or small pictures beside it.
  void SetLargeIcons(bool large);

  // Adds a folder; its title is also its tooltip, for a box too narrow for it.
  int AddFolder(const QString& text);
  // Inserts an item at `index` (-1 or past the end: append); returns its index.
  int InsertItem(int folder, int index, const QString& text, int image, const QVariant& data = {});
  // Removal asks the owner first; false when the owner refused (or there is
  // no such item or folder) and nothing was removed.
  bool RemoveItem(int folder, int item);
  bool RemoveFolder(int folder);
  // Makes a folder the open one; false when there is no such folder.
  bool OpenFolder(int folder);
  int openFolder() const { return currentIndex(); }

  int FolderCount() const { return count(); }
  int ItemCount(int folder) const;
  QString FolderText(int folder) const { return QToolBox::itemText(folder); }
  QString ItemText(int folder, int item) const;
  QVariant ItemData(int folder, int item) const;
  QIcon ItemIcon(int folder, int item) const;
  // Acts as a click of the user on the item.
  void ClickItem(int folder, int item);

  // Wide enough for the longest folder title beside the tab's slanted end.
  QSize minimumSizeHint() const override;

protected:
  // Draws the focus frame on the folder header that has the keyboard.
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QListWidget* Folder(int folder) const;
  // Tells the owner; false when the owner refused.
  bool Notify(int code, int folder, int item, const QVariant& data);
  QIcon ImageAt(int image) const;
  // The header of the folder just added reachable with Tab, before its list.
  void KeyboardReach(QListWidget* list);

  QObject* owner_ = nullptr;
  QList<QIcon> large_;
  QList<QIcon> small_;
  bool largeIcons_ = true;
};

}  // namespace qmx::toolkit
