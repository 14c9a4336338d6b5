// The open projects as the main frame keeps them: the project tree (one root
// item per project, its adapters below it, their modules below those), the
// selection services every command uses to find its target, and the
// operations on the structure (creating projects, adapters and modules,
// removing them, numbering and labelling after each change).
//
// Ownership: the workspace owns the open projects; an adapter belongs to its
// project's adapter list and a module to its tree item, and both are deleted
// with their items by RemoveUsrObj / DeleteTreeObjects. The tree items are the
// structure: the modules of an adapter are the "IO" objects below its item, in
// tree order, and nothing else is kept about them.
//
// The workspace is toolkit-free. What it needs of the windows (clearing the
// tab views, closing a project with its question) are hooks the frame fills;
// message boxes go through the model's box hook, log lines through PostLog.
// Services that take a log label write their error line only when the label
// is not empty, and show their box only when `show` is 1.
#pragma once

#include "app/model/ProjectTree.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CIOUsr;
class CNAUsr;
class CProjectUsr;
class IOCatalogue;
class IODef;
class NACatalogue;
class Wrapper;

// Image index of a project item (and of a project that stopped monitoring).
inline constexpr int kProjectTreeImage = 0;
// The project-file extension of a new project's path.
inline constexpr const char* kProjectFileExtension = "KPX";

class ProjectWorkspace {
public:
  ProjectWorkspace();
  ~ProjectWorkspace();
  ProjectWorkspace(const ProjectWorkspace&) = delete;
  ProjectWorkspace& operator=(const ProjectWorkspace&) = delete;

  // The catalogues definitions are looked up in (the frame's, read-only).
  void SetCatalogues(const NACatalogue* adapters, const IOCatalogue* modules);

  ProjectTree& tree() { return tree_; }
  const ProjectTree& tree() const { return tree_; }
  const std::vector<std::unique_ptr<CProjectUsr>>& Projects() const { return projects_; }

  // Module-naming mode of the labels: 0 "User View", 1 "Product View",
  // 2 "Product, Desc View".
  int namingMode = 0;
  // 0 while items are rebuilt, so that the selection changes of the rebuild
  // do not refresh the views (read by the frame's selection handler).
  int treeSelProcessing = 1;

  // Hooks the frame fills. clearAllViews: empties the tab views after the
  // last project went. closeProject: closes a project for good without the
  // save question (default: CloseProject); 1 closed, 2 cancelled.
  std::function<void()> clearAllViews;
  std::function<int(CProjectUsr* project)> closeProject;

  // ---- the explorer's own operations ----
  // A new root item at the end (image 0, bold, expanded, selected).
  TreeItem InsertProject(const std::string& name, CProjectUsr* project);
  // A new child of `parent` (kNoTreeItem: of the selected item), placed
  // after the item selected at that moment when that item is a child of
  // `parent` (else last), so a run of insertions that each select their new
  // item keeps its order; the selected item is expanded and the new item
  // selected.
  TreeItem InsertIO(const std::string& label, Wrapper* object, int image, TreeItem parent);
  // From the selected item up, the first whose object is a project; none:
  // -1000 (logged with a label, boxed with show 1).
  CProjectUsr* GetSelectedProject(TreeItem* item, const std::string& label, int show) const;
  // The selected item, or the first root item when nothing is selected.
  TreeItem GetSelectedItem() const;
  // The parent of the item (kNoTreeItem: of the selected item); an item
  // without parent gives the first root item.
  TreeItem GetParentOrRoot(TreeItem item) const;
  TreeItem GetSelectedObject(Wrapper*& object, std::string& text) const;
  // 1 with the item's object and text; 0 for no item.
  int GetItemObject(TreeItem item, Wrapper*& object, std::string& text) const;
  void DeleteItem(TreeItem item) { tree_.DeleteItem(item); }

  // ---- selection services ----
  TreeItem GetSelUsrObj(Wrapper*& object, std::string& text, const std::string& label, int show) const;
  // The adapter of `item` (kNoTreeItem: of the selection): the item's own
  // adapter or the nearest adapter above it, stopping at a project item or
  // an item without object. Returns the adapter's item.
  TreeItem GetSelNAUsr(CNAUsr*& adapter, std::string& text, const std::string& label, int show,
                       TreeItem item = kNoTreeItem) const;
  CNAUsr* GetSelNAAndIOPos(int& position, const std::string& label, int show) const;
  CIOUsr* GetIOUsrObjByPos(TreeItem adapterItem, int slotNo) const;
  // Depth first from the item (itself first): every module with all 1, else
  // only the communicating ones. 0.
  int CollectIOUsrs(TreeItem item, std::vector<CIOUsr*>& list, int all) const;
  CProjectUsr* GetPrjUsrOfNA(TreeItem adapterItem) const;
  bool IsOpenedProject(const std::string& path, const std::string& name) const;
  bool IsSelPrjMonitoring() const;
  void SetProjectModified(int flag, CProjectUsr* project);

  // ---- numbering and labels ----
  void UpdateNATreeLabel(Wrapper* object);
  int RenumberSubtree(TreeItem item, int& counter);
  // kind "PROJECT" or "NA"; kNoTreeItem takes the selection.
  void ReNumberingIOsDispath(const std::string& kind, TreeItem item);
  void ReCalNAPosNo(TreeItem projectItem, int relabel);

  // ---- structure operations ----
  CProjectUsr* CreateProject(const std::string& name, const std::string& folder);
  CNAUsr* CreateNA(const std::string& title, const std::string& definitionId, TreeItem& item, CNAUsr* adapter);
  CIOUsr* CreateIO(const std::string& title, const std::string& definitionId, TreeItem& item,
                   const IODef* definition, TreeItem parent);
  // 1 removed, 2 the user said No, -1000 no selected project.
  int RemoveUsrObj(TreeItem item, Wrapper* object, const std::string& displayName, int ask);
  int RemoveAllNAs(CProjectUsr* project);
  void DeleteModuleItems(TreeItem adapterItem);
  // Deletes the objects of the item and of every item below it, except a
  // project object (the items stay). 0.
  int DeleteTreeObjects(TreeItem item);
  // Closes a project without asking: its objects, its item and the project
  // itself go. 1.
  int CloseProject(CProjectUsr* project);
  // Applies an adapter's COM port and serial settings to every adapter of its
  // project and hands the shared driver the new channel text.
  bool ChangeCommParasOfAllNA(CNAUsr* adapter);

  // ---- what the adapter objects ask of the frame ----
  // The modules under an adapter's item, in tree order.
  std::vector<CIOUsr*> ModulesOf(const CNAUsr& adapter) const;
  // The adapter that holds an object (an adapter is its own), or null.
  CNAUsr* AdapterOf(const Wrapper& object) const;
  // The project above an adapter's item (the project whose list holds it
  // when it has no item), or null; silent.
  CProjectUsr* ProjectOf(const CNAUsr& adapter) const;

  // The project counter that gives each new project its timer identifier
  // (50 to 549).
  int projectCounter = 0;

private:
  // The insertion of InsertIO (afterSelected true; false: as the last child)
  // without the selection, so an object can learn its item first.
  TreeItem InsertUnselected(const std::string& label, Wrapper* object, int image, TreeItem parent,
                            bool afterSelected);
  // The rest of an insertion: the item selected before and the new
  // item's parent are expanded, the new item selected.
  void ShowInserted(TreeItem selectedBefore, TreeItem item);
  // The project object of an item or of one of its ancestors, or null.
  CProjectUsr* ProjectAbove(TreeItem item) const;
  // The open project whose adapter list holds the adapter, or null.
  CProjectUsr* ProjectListing(const CNAUsr& adapter) const;

  ProjectTree tree_;
  std::vector<std::unique_ptr<CProjectUsr>> projects_;
  const NACatalogue* adapters_ = nullptr;
  const IOCatalogue* modules_ = nullptr;
};
