#include "app/model/ProjectTree.h"

#include <algorithm>

namespace {
const std::vector<TreeItem> kNoChildren;
}

ProjectTree::ProjectTree() = default;
ProjectTree::~ProjectTree() {
  for (ProjectTreeListener* l : std::vector<ProjectTreeListener*>(listeners_)) l->OnTreeDestroyed();
}

ProjectTree::Node* ProjectTree::Find(TreeItem item) {
  const auto it = nodes_.find(item);
  return it == nodes_.end() ? nullptr : &it->second;
}

const ProjectTree::Node* ProjectTree::Find(TreeItem item) const {
  const auto it = nodes_.find(item);
  return it == nodes_.end() ? nullptr : &it->second;
}

std::vector<TreeItem>& ProjectTree::SiblingsOf(TreeItem parent) {
  return parent == kNoTreeItem ? roots_ : nodes_.at(parent).children;
}

TreeItem ProjectTree::InsertItem(const std::string& text, int image, Wrapper* data, TreeItem parent,
                                 TreeItem after) {
  if (parent != kNoTreeItem && !Contains(parent)) return kNoTreeItem;
  const TreeItem item = next_++;
  Node node;
  node.text = text;
  node.image = image;
  node.data = data;
  node.parent = parent;
  nodes_.emplace(item, std::move(node));
  std::vector<TreeItem>& siblings = SiblingsOf(parent);
  auto pos = siblings.end();
  if (after == kFirst) {
    pos = siblings.begin();
  } else if (after != kLast) {
    const auto it = std::find(siblings.begin(), siblings.end(), after);
    if (it != siblings.end()) pos = it + 1;
  }
  siblings.insert(pos, item);
  for (ProjectTreeListener* l : std::vector<ProjectTreeListener*>(listeners_)) l->OnItemInserted(item);
  return item;
}

bool ProjectTree::DeleteItem(TreeItem item) {
  Node* node = Find(item);
  if (!node) return false;
  const std::vector<TreeItem> doomed = Subtree(item);
  if (std::find(doomed.begin(), doomed.end(), selected_) != doomed.end()) SelectItem(kNoTreeItem);
  for (ProjectTreeListener* l : std::vector<ProjectTreeListener*>(listeners_)) l->OnItemDeleting(item);
  // A listener may have deleted the item meanwhile.
  node = Find(item);
  if (!node) return true;
  std::vector<TreeItem>& siblings = SiblingsOf(node->parent);
  siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
  for (TreeItem gone : Subtree(item)) nodes_.erase(gone);
  return true;
}

TreeItem ProjectTree::GetParentItem(TreeItem item) const {
  const Node* node = Find(item);
  return node ? node->parent : kNoTreeItem;
}

TreeItem ProjectTree::GetRootItem() const { return roots_.empty() ? kNoTreeItem : roots_.front(); }

TreeItem ProjectTree::GetChildItem(TreeItem item) const {
  const Node* node = Find(item);
  return node && !node->children.empty() ? node->children.front() : kNoTreeItem;
}

TreeItem ProjectTree::GetNextSiblingItem(TreeItem item) const {
  const Node* node = Find(item);
  if (!node) return kNoTreeItem;
  const std::vector<TreeItem>& siblings = Children(node->parent);
  const auto it = std::find(siblings.begin(), siblings.end(), item);
  return it + 1 < siblings.end() ? *(it + 1) : kNoTreeItem;
}

TreeItem ProjectTree::GetPrevSiblingItem(TreeItem item) const {
  const Node* node = Find(item);
  if (!node) return kNoTreeItem;
  const std::vector<TreeItem>& siblings = Children(node->parent);
  const auto it = std::find(siblings.begin(), siblings.end(), item);
  return it != siblings.begin() ? *(it - 1) : kNoTreeItem;
}

const std::vector<TreeItem>& ProjectTree::Children(TreeItem item) const {
  if (item == kNoTreeItem) return roots_;
  const Node* node = Find(item);
  return node ? node->children : kNoChildren;
}

std::vector<TreeItem> ProjectTree::Subtree(TreeItem item) const {
  std::vector<TreeItem> out;
  if (!Contains(item)) return out;
  // Depth first, the item before its children, children in order.
  std::vector<TreeItem> stack{item};
  while (!stack.empty()) {
    const TreeItem current = stack.back();
    stack.pop_back();
    out.push_back(current);
    const std::vector<TreeItem>& children = Children(current);
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return out;
}

size_t ProjectTree::SubtreeSize(TreeItem item) const {
  const Node* node = Find(item);
  if (!node) return 0;
  size_t count = 1;
  for (const TreeItem child : node->children) count += SubtreeSize(child);
  return count;
}

std::string ProjectTree::GetItemText(TreeItem item) const {
  const Node* node = Find(item);
  return node ? node->text : std::string();
}

void ProjectTree::SetItemText(TreeItem item, const std::string& text) {
  Node* node = Find(item);
  if (!node || node->text == text) return;
  node->text = text;
  Changed(item);
}

int ProjectTree::GetItemImage(TreeItem item) const {
  const Node* node = Find(item);
  return node ? node->image : -1;
}

void ProjectTree::SetItemImage(TreeItem item, int image) {
  Node* node = Find(item);
  if (!node || node->image == image) return;
  node->image = image;
  Changed(item);
}

Wrapper* ProjectTree::GetItemData(TreeItem item) const {
  const Node* node = Find(item);
  return node ? node->data : nullptr;
}

bool ProjectTree::IsBold(TreeItem item) const {
  const Node* node = Find(item);
  return node && node->bold;
}

void ProjectTree::SetBold(TreeItem item, bool bold) {
  Node* node = Find(item);
  if (!node || node->bold == bold) return;
  node->bold = bold;
  Changed(item);
}

bool ProjectTree::IsExpanded(TreeItem item) const {
  const Node* node = Find(item);
  return node && node->expanded;
}

void ProjectTree::Expand(TreeItem item, bool expanded) {
  Node* node = Find(item);
  if (!node || node->expanded == expanded) return;
  node->expanded = expanded;
  Changed(item);
}

TreeItem ProjectTree::FindItem(const Wrapper* object) const {
  if (!object) return kNoTreeItem;
  // The oldest item holding it, whatever order the store keeps.
  TreeItem found = kNoTreeItem;
  for (const auto& [item, node] : nodes_) {
    if (node.data == object && (found == kNoTreeItem || item < found)) found = item;
  }
  return found;
}

bool ProjectTree::SelectItem(TreeItem item) {
  if (item != kNoTreeItem && !Contains(item)) return false;
  if (item == selected_) return true;
  selected_ = item;
  for (ProjectTreeListener* l : std::vector<ProjectTreeListener*>(listeners_)) l->OnSelectionChanged(item);
  return true;
}

void ProjectTree::AddListener(ProjectTreeListener* listener) {
  if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
    listeners_.push_back(listener);
}

void ProjectTree::RemoveListener(ProjectTreeListener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void ProjectTree::Changed(TreeItem item) {
  for (ProjectTreeListener* l : std::vector<ProjectTreeListener*>(listeners_)) l->OnItemChanged(item);
}
