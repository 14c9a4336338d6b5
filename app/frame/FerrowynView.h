// The tab host of the main window: a flat tab control whose tab index is the
// view type the commands test (0 start page, 1 image, 2 process image,
// 3 parameters, 4 address map, 5 comment).
#pragma once

#include "platform/toolkit/frame_wnd.h"

#include <QWidget>

#include <string>

class QTextBrowser;

class CFerrowynView : public QWidget {
  Q_OBJECT
public:
  explicit CFerrowynView(QWidget* parent = nullptr);

  qmx::toolkit::FlatTabCtrl* tabCtrl() const { return tabs_; }
  int ActiveTab() const;
  void SetActiveTab(int index);
  // Sets tab 0's text and shows the start page (a local file or an address).
  void SetStartPage(const std::string& title, const std::string& path);
  std::string startPagePath() const { return startPath_; }

private:
  qmx::toolkit::FlatTabCtrl* tabs_ = nullptr;
  QTextBrowser* startPage_ = nullptr;
  std::string startPath_;
};
