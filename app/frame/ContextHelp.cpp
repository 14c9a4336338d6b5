#include "app/frame/ContextHelp.h"

#include "app/frame/MainFrame.h"
#include "app/frame/OutputBar.h"
#include "app/frame/ToolBoxBar.h"
#include "app/frame/rules/CommandRules.h"
#include "app/frame/rules/HelpTopics.h"

#include <QAction>
#include <QApplication>
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
  frame_->ShowHelpTopic(qmx::commands::HelpTopic(frame_->programFolder(), PageFor(qobject_cast<QWidget*>(watched))));
  return true;
}

std::string ContextHelp::CurrentPage() const {
  // Help on Selection is a command of the main window, chosen there.
  const QWidget* focus = QApplication::focusWidget();
  return PageFor(focus && focus->window() == frame_ ? focus : nullptr);
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
  if (window && window != frame_) {
    if (std::string page = WindowPage(window); !page.empty()) return page;
  }
  return MainWindowPage(window == frame_ ? receiver : nullptr);
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
  if (focus && frame_->toolBoxBar() && frame_->toolBoxBar()->isAncestorOf(focus)) {
    // A product of the catalogue window has the page its click opens.
    const auto* list = qobject_cast<const QListWidget*>(focus);
    const QListWidgetItem* item = list ? list->currentItem() : nullptr;
    if (item && !item->text().isEmpty()) return item->text().toStdString() + ".htm";
    return qmx::commands::kHelpWindowsPage;
  }
  if (focus && frame_->outputBar() && frame_->outputBar()->isAncestorOf(focus)) return qmx::commands::kHelpLogPage;
  return qmx::commands::SelectionHelpPage(frame_->workspace());
}
