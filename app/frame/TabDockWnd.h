// The "Project Window" docking window with its single tab "Project
// Explorer": the project tree of the frame's workspace. Its operations on the
// tree (inserting projects, adapters and modules, the selected project and
// object) are the workspace's; this window shows the tree and tells the
// frame of every selection change.
#pragma once

#include "app/frame/TabTreeCtrl.h"
#include "app/model/ProjectWorkspace.h"
#include "platform/toolkit/frame_wnd.h"

#include <QIcon>

#include <functional>
#include <string>
#include <vector>

class TabDockWnd : public qmx::toolkit::DockWindow {
  Q_OBJECT
public:
  static constexpr int kTreeId = 255;

  TabDockWnd(ProjectWorkspace& workspace, qmx::toolkit::FrameWnd* frame);
  ~TabDockWnd() override;

  TabTreeCtrl* tree() const { return tree_; }
  QTabWidget* tabs() const { return tabs_; }

  // The explorer's operations (see ProjectWorkspace).
  TreeItem InsertProject(const std::string& name, CProjectUsr* project) {
    return workspace_.InsertProject(name, project);
  }
  TreeItem InsertIO(const std::string& label, Wrapper* object, int image, TreeItem parent) {
    return workspace_.InsertIO(label, object, image, parent);
  }
  CProjectUsr* GetSelectedProject(TreeItem* item, const std::string& label, int show) const {
    return workspace_.GetSelectedProject(item, label, show);
  }
  TreeItem GetSelectedItem() const { return workspace_.GetSelectedItem(); }
  TreeItem GetParentOrRoot(TreeItem item) const { return workspace_.GetParentOrRoot(item); }
  TreeItem GetSelectedObject(Wrapper*& object, std::string& text) const {
    return workspace_.GetSelectedObject(object, text);
  }
  int GetItemObject(TreeItem item, Wrapper*& object, std::string& text) const {
    return workspace_.GetItemObject(item, object, text);
  }
  void DeleteItem(TreeItem item) { workspace_.DeleteItem(item); }

signals:
  // Every selection change of the tree (the frame's PrjTreeSelChanged).
  void selectionChanged();

protected:
  int OnCreate() override;
  // Creation steps, overridable so a test can make one fail (nullptr).
  virtual QTabWidget* CreateTabs();
  virtual TabTreeCtrl* CreateTree();
  virtual std::vector<QIcon> CreateTabImages();

private:
  ProjectWorkspace& workspace_;
  qmx::toolkit::FrameWnd* frame_;
  QTabWidget* tabs_ = nullptr;
  TabTreeCtrl* tree_ = nullptr;
  std::vector<QIcon> tabImages_;
};
