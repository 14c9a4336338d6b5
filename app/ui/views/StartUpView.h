// The start page of tab 0: the offline page shipped beside the program
// (StartUpOffline/htm/main.htm). A link "command:<id>" on the page carries
// out the menu command of that id; other links open in the system's browser.
#pragma once

#include "app/ui/views/TabChildView.h"

#include <functional>
#include <set>

class QTextBrowser;
class QUrl;

class CStartUpView : public CTabChildView {
  Q_OBJECT
public:
  explicit CStartUpView(QWidget* parent = nullptr);
  // Shows the offline start page; a configured web address is offered as a
  // link below it.
  void ShowStartPage(const std::string& path);
  QTextBrowser* page() const { return page_; }

  // The command id of a "command:<id>" link, or 0.
  static int CommandOfLink(const QUrl& url);
  // Shows each command link as a link while `enabled` says its command is
  // enabled and as grey text otherwise; a grey link runs nothing.
  void UpdateCommandLinks(const std::function<bool(int commandId)>& enabled);
  bool IsCommandLinkEnabled(int commandId) const { return !disabled_.count(commandId); }

private:
  void OnLink(const QUrl& url);

  QTextBrowser* page_ = nullptr;
  std::set<int> disabled_;  // command links shown disabled
};
