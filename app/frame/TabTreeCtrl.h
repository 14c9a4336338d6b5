// The project tree window: shows a ProjectTree store (every item's text,
// image, bold and expanded state, the selection) and hands the user's
// selection, expansion, context menu and Delete key back to the store and
// the main frame. The store stays the one truth; this window only mirrors it.
#pragma once

#include "app/model/ProjectTree.h"

#include <QIcon>
#include <QTreeWidget>

#include <map>
#include <vector>

namespace qmx::toolkit {
class FrameWnd;
}

class TabTreeCtrl : public QTreeWidget, public ProjectTreeListener {
  Q_OBJECT
public:
  // Item data role that holds the store's handle, and the image index.
  static constexpr int kItemRole = Qt::UserRole + 1;
  static constexpr int kImageRole = Qt::UserRole + 2;
  static constexpr int kImageCount = 32;

  TabTreeCtrl(ProjectTree& store, qmx::toolkit::FrameWnd* frame, QWidget* parent = nullptr);
  ~TabTreeCtrl() override;

  // The 32 item images (16 x 16): the catalogue's group pictures by their
  // index, the project picture at 0 and the communication-state pictures of
  // monitoring (21, 22, 24 to 28).
  static std::vector<QIcon> LoadItemImages();

  // 1 while the tree has the keyboard focus.
  int HasFocusFlag() const { return focusFlag_; }
  QTreeWidgetItem* WidgetItem(TreeItem item) const;

  // ProjectTreeListener
  void OnItemInserted(TreeItem item) override;
  void OnItemDeleting(TreeItem item) override;
  void OnItemChanged(TreeItem item) override;
  void OnSelectionChanged(TreeItem item) override;
  void OnTreeDestroyed() override;

signals:
  // Every change of the selected item, by the user or by a command.
  void selectionChanged(TreeItem item);

protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

private:
  void Apply(QTreeWidgetItem* widget, TreeItem item);
  void ShowSelection();
  TreeItem ItemOf(const QTreeWidgetItem* widget) const;
  // The window catches up with the store once per batch of changes (a
  // project opened, every label rewritten), when the events posted meanwhile
  // are handled: the column takes the width of its widest label and the
  // store's selection becomes the current item. Done at every change, both
  // lay out or measure the whole tree, quadratic in its size.
  enum Pending { kSizeColumn = 1, kShowSelection = 2 };
  void Later(int what);
  void CatchUp();

  ProjectTree* store_;  // null once the store is gone
  qmx::toolkit::FrameWnd* frame_;
  std::vector<QIcon> images_;  // empty until the first item
  std::map<TreeItem, QTreeWidgetItem*> items_;
  int focusFlag_ = 0;
  bool mirroring_ = false;  // the window follows the store; its own signals are not the user's
  int pending_ = 0;  // Pending bits; a CatchUp is queued while not 0
};
