// F1 anywhere in the program opens the help page of what the user works on:
// the highlighted entry of an open menu, the dialog (or window of the
// driver) that is active, the product selected in the catalogue window, the
// log window, or else the object selected in the project window. One filter
// on the application sees the key before any shortcut does, so modal dialogs
// and menus, which the main window's shortcuts never reach, are covered too.
// The filter answers the key where the window passes it on to a widget,
// since only the widget says where it was pressed.
#pragma once

#include <QObject>

#include <string>

class CMainFrame;
class QWidget;

class ContextHelp : public QObject {
  Q_OBJECT
public:
  // Installs itself on the application; goes with `frame`.
  explicit ContextHelp(CMainFrame* frame);
  ~ContextHelp() override;

  // The page of what the widget that has the keyboard belongs to
  // ("Transfers.htm#upload"): F1 pressed there opens it.
  std::string PageFor(const QWidget* receiver) const;
  // The same for the widget that has the focus now.
  std::string CurrentPage() const;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool IsMainWindowPart(const QWidget* window) const;
  std::string WindowPage(const QWidget* window) const;
  std::string MainWindowPage(const QWidget* focus) const;

  CMainFrame* frame_;
};
