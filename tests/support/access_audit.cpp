#include "tests/support/access_audit.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QButtonGroup>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

namespace qmx::test {
namespace {

bool Inside(const QWidget* w, const char* className, const QWidget* stop) {
  for (const QWidget* p = w->parentWidget(); p && p != stop; p = p->parentWidget())
    if (p->inherits(className)) return true;
  return false;
}

// Parts that Qt builds inside a control (a combo box's or spin box's line
// edit, a tab bar's scroll arrows, scroll bars, a view's cell editors) are
// reached and named through the control itself.
bool IsInnerPart(const QWidget* w, const QWidget* window) {
  // A grid's column headers are read through the grid's table interface.
  if (qobject_cast<const QScrollBar*>(w) || qobject_cast<const QHeaderView*>(w)) return true;
  // A dock window's float and close buttons: Qt keeps them off the Tab
  // chain; the View menu shows and hides the bars.
  if (w->inherits("QDockWidgetTitleButton")) return true;
  const QWidget* parent = w->parentWidget();
  if (parent && (qobject_cast<const QComboBox*>(parent) || qobject_cast<const QAbstractSpinBox*>(parent) ||
                 qobject_cast<const QTabBar*>(parent)))
    return true;
  return Inside(w, "QAbstractItemView", window) || Inside(w, "qmx::grid::SubGridCtrl", window);
}

bool IsOwnClass(const QWidget* w) { return w->metaObject()->className()[0] != 'Q'; }

bool TakesInput(const QWidget* w) {
  return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
         qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
         qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QTextEdit*>(w) ||
         qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
         w->inherits("qmx::grid::SubGridCtrl") ||
         // A control of our own that asks for the keyboard.
         (IsOwnClass(w) && w->focusPolicy() != Qt::NoFocus && !w->isWindow());
}

// An exclusive group of check buttons (radio buttons) is one Tab stop: once
// one of them has had the focus, Qt takes Tab off the others, and the arrow
// keys move within the group. The group is reached when one of them is.
bool ReachedThroughGroup(const QWidget* w) {
  const auto* b = qobject_cast<const QAbstractButton*>(w);
  if (!b || !b->isCheckable()) return false;
  QList<QAbstractButton*> peers;
  if (b->group() && b->group()->exclusive())
    peers = b->group()->buttons();
  else if (b->autoExclusive() && b->parentWidget())
    peers = b->parentWidget()->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
  for (const QAbstractButton* p : peers)
    if (p != b && p->isCheckable() && (b->group() || p->autoExclusive()) && p->isVisible() && p->isEnabled() &&
        (p->focusPolicy() & Qt::TabFocus))
      return true;
  return false;
}

std::string Describe(const QWidget* w, const QWidget* window) {
  QString shown;
  if (const auto* b = qobject_cast<const QAbstractButton*>(w)) shown = b->text();
  if (shown.isEmpty()) shown = w->objectName();
  QString path;
  for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget()) {
    const QString name = p->objectName().isEmpty() ? QString::fromLatin1(p->metaObject()->className()) : p->objectName();
    path = name + (path.isEmpty() ? QString() : "/" + path);
  }
  const QString title = window->windowTitle().isEmpty() ? QString::fromLatin1(window->metaObject()->className())
                                                          : window->windowTitle();
  return QStringLiteral("%1 '%2' in %3%4")
      .arg(QString::fromLatin1(w->metaObject()->className()), shown, title, path.isEmpty() ? QString() : "/" + path)
      .toStdString();
}

}  // namespace

std::vector<std::string> AuditAccess(QWidget* window) {
  std::vector<std::string> faults;
  if (!window) return faults;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(window) || !TakesInput(w) || IsInnerPart(w, window)) continue;
    const bool inToolBar = Inside(w, "QToolBar", window);
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(w);
    const QString name = access ? access->text(QAccessible::Name).trimmed() : QString();
    if (name.isEmpty()) faults.push_back(Describe(w, window) + ": no accessible name");
    if (w->isEnabled() && !inToolBar && !(w->focusPolicy() & Qt::TabFocus) && !ReachedThroughGroup(w))
      faults.push_back(Describe(w, window) + ": cannot be reached with the Tab key");
  }
  return faults;
}

}  // namespace qmx::test
