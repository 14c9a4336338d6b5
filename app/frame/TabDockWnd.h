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
