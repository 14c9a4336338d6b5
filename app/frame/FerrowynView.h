// The tab host of the main window: a flat tab control with six child views
// whose tab index is the view type the commands test (0 start page, 1 image,
// 2 process image, 3 parameters, 4 address map, 5 comment).
//
// The host calls each child through the view protocol of CTabChildView, and
// only where the table of each operation says: refreshes and online values
// reach the active child, relabelling and clearing reach the five data
// children, commands are asked of tabs 1 to 3 only, value-mode changes of
// tab 2 only.
#pragma once

#include "app/ui/views/TabChildView.h"
#include "platform/toolkit/frame_wnd.h"

#include <QWidget>

#include <array>
#include <functional>
#include <string>

// View types (tab indexes).
enum ViewType : int {
  kViewStartUp = 0,
  kViewImage = 1,
  kViewProcessImage = 2,
  kViewParameters = 3,
  kViewAddrMap = 4,
  kViewComment = 5,
  kViewCount = 6,
};

class CFerrowynView : public QWidget {
  Q_OBJECT
public:
  // Makes the child view of a tab (parent = the tab control); nullptr means
  // the window could not be created. The default makes the six views of
  // app/ui/views.
  using ViewFactory = std::function<CTabChildView*(int viewType, QWidget* parent)>;
  static ViewFactory s_viewFactory;
  static CTabChildView* DefaultViewFactory(int viewType, QWidget* parent);

  // Name of each tab's child for RefreshView / UpdateOnlineVals ("" for 0).
  static const char* ViewName(int viewType);

  // With `dataViewsLater` the tabs 1 to 5 hold bare pages until
  // CreateDataViews makes their views (after the window's first frame).
  explicit CFerrowynView(QWidget* parent = nullptr, bool dataViewsLater = false);

  // (Re)creates the tab control and the six child views; keeps the selected
  // tab. 0.
  int CreateTabCtrl();
  // Creates the six child views; a failure is reported (-5020, -5022 to
  // -5026) and leaves that child and the later ones without a window. 0.
  int CreateAllView();
  // The views the constructor left for later, each put into its tab; nothing
  // when they were made with the tab control.
  void CreateDataViews();

  void ShowChildView(int viewType);
  void SetStartPage(const std::string& title, const std::string& path);
  int GetActiveViewType() const;
  void RefreshActiveView();
  void RefreshView(int bForce, const std::string& viewName);
  void ChangeModuleNameIcon(int which);
  void UpdateOnlineVals(const std::string& viewName, int value);
  void ClearAllViews();
  int CanHandleCommand(int commandId, int mode);
  void ChangeValMode(int flag);

  CTabChildView* childView(int viewType) const;
  qmx::toolkit::FlatTabCtrl* tabCtrl() const { return tabs_; }
  int ActiveTab() const { return GetActiveViewType(); }
  void SetActiveTab(int index) { ShowChildView(index); }

private:
  // The user chose a tab.
  void OnTabSelected(int index);
  // The child view of a tab, or nullptr after the resource-lack report.
  CTabChildView* MakeView(int viewType);

  qmx::toolkit::FlatTabCtrl* tabs_ = nullptr;
  std::array<CTabChildView*, kViewCount> views_{};
  std::string startTitle_ = "Starting...";
  std::string startPath_;
  bool selecting_ = false;  // a tab is selected by the program, not the user
  bool dataViewsLater_ = false;  // tabs 1 to 5 wait for CreateDataViews
};
