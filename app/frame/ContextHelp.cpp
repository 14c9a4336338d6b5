#include "app/frame/ContextHelp.h"

#include "app/frame/CommandSpecs.h"
#include "app/frame/MainFrame.h"
#include "app/frame/OutputBar.h"
#include "app/frame/ToolBoxBar.h"
#include "app/frame/rules/CommandRules.h"
#include "app/frame/rules/HelpTopics.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>

namespace {

bool IsHelpKey(const QEvent* event) {
  const auto* key = static_cast<const QKeyEvent*>(event);
  return key->key() == Qt::Key_F1 && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}  // namespace

ContextHelp::ContextHelp(CMainFrame* frame) : QObject(frame), frame_(frame) { qApp->installEventFilter(this); }

ContextHelp::~ContextHelp() {
  if (qApp) qApp->removeEventFilter(this);
}

bool ContextHelp::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  if (!IsHelpKey(event)) return QObject::eventFilter(watched, event);
  if (type == QEvent::ShortcutOverride) {
    // Claimed as a key of its own, so it arrives as the key press below
    // wherever the focus is, instead of as the menu entry's shortcut.
    event->accept();
    return true;
  }
  // A key from the window system is sent to the window (the QWindow) first,
  // which passes it on to the widget that takes the keyboard: the focus
  // widget, or the open menu. Only that widget tells where F1 was pressed.
  const auto* receiver = qobject_cast<const QWidget*>(watched);
  if (!receiver) return QObject::eventFilter(watched, event);
  frame_->ShowHelpTopic(qmx::commands::HelpTopic(frame_->programFolder(), PageFor(receiver)));
  return true;
}

std::string ContextHelp::CurrentPage() const {
  // Help on Selection is a command of the main window, chosen there.
  const QWidget* focus = QApplication::focusWidget();
  return PageFor(focus && IsMainWindowPart(focus->window()) ? focus : nullptr);
}

// The main window and its docking windows, also when one floats as a window
// of its own.
bool ContextHelp::IsMainWindowPart(const QWidget* window) const {
  if (window == frame_) return true;
  return qobject_cast<const QDockWidget*>(window) && window->parentWidget() == frame_;
}

std::string ContextHelp::PageFor(const QWidget* receiver) const {
  if (const auto* menu = qobject_cast<const QMenu*>(receiver)) {

    const QAction* action = menu->activeAction();
    bool isId = false;
    const int id = action && !action->menu() ? action->data().toInt(&isId) : 0;
    if (isId) {
      if (std::string page = qmx::commands::CommandHelpPage(id); !page.empty()) return page;
    }
  }
  const QWidget* window = receiver ? receiver->window() : nullptr;
  if (window && !IsMainWindowPart(window)) {
    if (std::string page = WindowPage(window); !page.empty()) return page;
  }
  return MainWindowPage(window && IsMainWindowPart(window) ? receiver : nullptr);
}

// A window without a page of its own (a message box, a file dialog) is
// described by the window it was opened from.
std::string ContextHelp::WindowPage(const QWidget* window) const {
  for (const QWidget* w = window; w && w != frame_; w = w->parentWidget()) {
    if (std::string page = qmx::commands::WindowHelpPage(w->metaObject()->className()); !page.empty()) return page;
  }
  return {};
}

std::string ContextHelp::MainWindowPage(const QWidget* focus) const {
  // isAncestorOf stops at a window, and a docking window may float.
  auto within = [focus](const QWidget* bar) {
    for (const QWidget* w = focus; w; w = w->parentWidget()) {
      if (w == bar) return true;
    }
    return false;
  };
  if (focus && frame_->toolBoxBar() && within(frame_->toolBoxBar())) {
    // A product of the catalogue window has the page its click opens.
    const auto* list = qobject_cast<const QListWidget*>(focus);
    const QListWidgetItem* item = list ? list->currentItem() : nullptr;
    if (item && !item->text().isEmpty()) return item->text().toStdString() + ".htm";
    return qmx::commands::kHelpWindowsPage;
  }
  if (focus && frame_->outputBar() && within(frame_->outputBar())) return qmx::commands::kHelpLogPage;
  return qmx::commands::SelectionHelpPage(frame_->workspace());
}
