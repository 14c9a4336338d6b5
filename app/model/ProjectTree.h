// The project tree as a store: every open project is a root item, its
// adapters are the items below it and their modules the items below those.
// Each item carries one tree object (project, adapter or module) as its data,
// a text, an image index, a bold flag and an expanded flag; one item at most
// is selected. The store is the structure of the project model: a module
// belongs to the adapter whose item holds the module's item, and the order of
// the items is the order of the slots.
//
// Item handles are small positive integers that are never reused while the
// store lives, so a handle kept by an object (its `treeItem`) or by a result
// row never names another item after its own was deleted; 0 is "no item".
// Deleting items never deletes their objects.
//
// The window that shows the store (TabTreeCtrl) listens to it; a selection
// change, by the user or by a command, reaches every listener.
#pragma once

#include <cstdint>
#include <map>
#include <unordered_map>
#include <memory>
#include <string>
#include <vector>

class Wrapper;

using TreeItem = intptr_t;
inline constexpr TreeItem kNoTreeItem = 0;

class ProjectTreeListener {
public:
  virtual ~ProjectTreeListener() = default;
  virtual void OnItemInserted(TreeItem /*item*/) {}
  // Called before the item and its descendants leave the store.
  virtual void OnItemDeleting(TreeItem /*item*/) {}
  // Text, image, bold or expanded state changed.
  virtual void OnItemChanged(TreeItem /*item*/) {}
  virtual void OnSelectionChanged(TreeItem /*item*/) {}
  // The store goes; the listener must not call it any more.
  virtual void OnTreeDestroyed() {}
};

class ProjectTree {
public:
  // Where InsertItem places the new item among its siblings.
  static constexpr TreeItem kLast = -1;
  static constexpr TreeItem kFirst = -2;

  ProjectTree();
  ~ProjectTree();
  ProjectTree(const ProjectTree&) = delete;
  ProjectTree& operator=(const ProjectTree&) = delete;

  // A new item below `parent` (kNoTreeItem: a root item) after the sibling
  // `after` (kLast, kFirst or a child of `parent`; any other item places it
  // last). Returns the handle, or kNoTreeItem when `parent` is not an item.
  TreeItem InsertItem(const std::string& text, int image, Wrapper* data, TreeItem parent, TreeItem after = kLast);
  // Removes the item and its descendants; a selection inside them is cleared
  // (listeners hear of it). False for an unknown item.
  bool DeleteItem(TreeItem item);

  bool Contains(TreeItem item) const { return nodes_.count(item) != 0; }
  bool Empty() const { return roots_.empty(); }

  TreeItem GetParentItem(TreeItem item) const;
  TreeItem GetRootItem() const;  // the first root item, or kNoTreeItem
  TreeItem GetChildItem(TreeItem item) const;
  TreeItem GetNextSiblingItem(TreeItem item) const;
  TreeItem GetPrevSiblingItem(TreeItem item) const;
  // The children of an item in order; kNoTreeItem gives the root items.
  const std::vector<TreeItem>& Children(TreeItem item) const;
  // The item and everything below it, depth first in tree order.
  std::vector<TreeItem> Subtree(TreeItem item) const;
  // How many items Subtree gives, without listing them.
  size_t SubtreeSize(TreeItem item) const;

  std::string GetItemText(TreeItem item) const;
  void SetItemText(TreeItem item, const std::string& text);
  int GetItemImage(TreeItem item) const;
  void SetItemImage(TreeItem item, int image);
  Wrapper* GetItemData(TreeItem item) const;
  bool IsBold(TreeItem item) const;
  void SetBold(TreeItem item, bool bold);
  bool IsExpanded(TreeItem item) const;
  void Expand(TreeItem item, bool expanded = true);
  // The item that holds an object, or kNoTreeItem.
  TreeItem FindItem(const Wrapper* object) const;

  // The selected item as it is: kNoTreeItem when nothing is selected.
  TreeItem GetSelectedItem() const { return selected_; }
  // Selects an item (kNoTreeItem clears the selection); listeners hear of
  // every change, not of a repeated selection. False for an unknown item.
  bool SelectItem(TreeItem item);

  void AddListener(ProjectTreeListener* listener);
  void RemoveListener(ProjectTreeListener* listener);

private:
  struct Node {
    std::string text;
    int image = 0;
    Wrapper* data = nullptr;
    bool bold = false;
    bool expanded = false;
    TreeItem parent = kNoTreeItem;
    std::vector<TreeItem> children;
  };
  Node* Find(TreeItem item);
  const Node* Find(TreeItem item) const;
  std::vector<TreeItem>& SiblingsOf(TreeItem parent);
  void Changed(TreeItem item);

  std::unordered_map<TreeItem, Node> nodes_;  // every look-up of an item goes through it
  std::vector<TreeItem> roots_;
  TreeItem selected_ = kNoTreeItem;
  TreeItem next_ = 1;
  std::vector<ProjectTreeListener*> listeners_;
};
