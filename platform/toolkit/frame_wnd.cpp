#include "platform/toolkit/frame_wnd.h"

#include "platform/toolkit/text_fit.h"
#include "platform/toolkit/toolbar_pictures.h"

#include "platform/os/profile.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QXmlStreamReader>


namespace qmx::toolkit {
namespace {

// The picture a toolbar button names, kept on its action.
constexpr const char* kPictureProperty = "qmxPicture";

// A parsed menu or toolbar resource: a small tree of entries.
struct Entry {
  enum Kind { Popup, Item, Separator, RecentFiles, Button } kind = Item;
  int id = 0;
  QString text;
  QString key;
  QString icon;
  QList<Entry> children;
};

bool ReadResource(const QString& path, const QString& rootName, QList<Entry>& out) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  QXmlStreamReader xml(&file);
  QList<QList<Entry>*> stack;
  QList<Entry> root;
  bool sawRoot = false;
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) {
      const QString name = xml.name().toString();
      if (!sawRoot) {
        if (name != rootName) return false;
        sawRoot = true;
        stack.push_back(&root);
        continue;
      }
      Entry e;
      const auto attrs = xml.attributes();
      e.id = attrs.value("id").toInt();
      e.text = attrs.value("text").toString();
      e.key = attrs.value("key").toString();
      e.icon = attrs.value("icon").toString();
      if (name == "Popup") e.kind = Entry::Popup;
      else if (name == "Item") e.kind = Entry::Item;
      else if (name == "Separator") e.kind = Entry::Separator;
      else if (name == "RecentFiles") e.kind = Entry::RecentFiles;
      else if (name == "Button") e.kind = Entry::Button;
      else return false;
      if ((e.kind == Entry::Item || e.kind == Entry::Button) && e.id <= 0) return false;
      stack.back()->push_back(e);
      stack.push_back(&stack.back()->back().children);
    } else if (xml.isEndElement()) {
      if (!stack.isEmpty()) stack.pop_back();
    }
  }
  if (xml.hasError() || !sawRoot) return false;
  out = root;
  return true;
}

void FillMenu(FrameWnd* frame, QMenu* menu, const QList<Entry>& entries,
              const std::function<QAction*(QMenu*, const Entry&)>& addItem,
              const std::function<void(QMenu*)>& markRecent) {
  for (const Entry& e : entries) {
    switch (e.kind) {
      case Entry::Popup: {
        QMenu* sub = menu->addMenu(e.text);
        FillMenu(frame, sub, e.children, addItem, markRecent);
        break;
      }
      case Entry::Separator: menu->addSeparator(); break;
      case Entry::RecentFiles: markRecent(menu); break;
      default: addItem(menu, e); break;
    }
  }
}

}  // namespace

FrameWnd::FrameWnd(QWidget* parent) : QMainWindow(parent) {
  setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
  updateTimer_ = new QTimer(this);
  updateTimer_->setInterval(250);
  connect(updateTimer_, &QTimer::timeout, this, &FrameWnd::UpdateCommandUI);
  updateTimer_->start();
}

FrameWnd::~FrameWnd() = default;

QAction* FrameWnd::AddCommand(QMenu* menu, int id, const QString& text, const QString& key) {
  auto* action = new QAction(text, this);
  action->setData(id);
  if (!key.isEmpty()) action->setShortcut(QKeySequence(key));
  connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
  if (menu) menu->addAction(action);
  actions_.insert(id, action);
  return action;
}

bool FrameWnd::LoadMenuBar(const QString& resource) {
  QList<Entry> entries;
  if (!ReadResource(resource, "Menu", entries)) return false;
  QMenuBar* bar = menuBar();
  bar->clear();
  for (const Entry& top : entries) {
    if (top.kind != Entry::Popup) return false;
    QMenu* menu = bar->addMenu(top.text);
    connect(menu, &QMenu::aboutToShow, this, &FrameWnd::UpdateCommandUI);
    FillMenu(
        this, menu, top.children,
        [this](QMenu* m, const Entry& e) {
          QAction* a = AddCommand(m, e.id, e.text, e.key);
          if (e.id >= kToolBarId && e.id <= kLastBarId) a->setCheckable(true);
          return a;
        },
        [this](QMenu* m) {
          recentMenu_ = m;
          recentAnchor_ = m->addSeparator();
          recentAnchor_->setVisible(false);
        });
  }
  SetRecentFiles(recentFiles_);
  return true;
}

bool FrameWnd::LoadToolBar(const QString& resource) {
  QList<Entry> entries;
  if (!ReadResource(resource, "ToolBar", entries)) return false;
  if (!toolBar_) {
    toolBar_ = new QToolBar(tr("Toolbar"), this);
    toolBar_->setObjectName(QStringLiteral("ToolBar%1").arg(kToolBarId));
    addToolBar(Qt::TopToolBarArea, toolBar_);
    RegisterBar(kToolBarId, toolBar_);
  }
  toolBar_->clear();
  for (const Entry& e : entries) {
    if (e.kind == Entry::Separator) {
      toolBar_->addSeparator();
    } else if (e.kind == Entry::Button) {
      QAction* a = AddCommand(nullptr, e.id, e.text, {});
      a->setProperty(kPictureProperty, e.icon);
      a->setToolTip(e.text);
      toolBar_->addAction(a);
    } else {
      return false;
    }
  }
  toolBarPictures_ = ToolBarPictureFolder(resource);
  toolBarDensity_ = 0;
  SetToolBarPictures();
  if (!screenWatch_) {
    // A screen plugged in later may be denser than those there were.
    screenWatch_ = connect(qApp, &QGuiApplication::screenAdded, this, [this] {
      if (ToolBarIcons::ScreenDensity() > toolBarDensity_) SetToolBarPictures();
    });
  }
  return true;
}

void FrameWnd::SetToolBarPictures() {
  if (!toolBar_) return;
  toolBarDensity_ = ToolBarIcons::ScreenDensity();
  ToolBarIcons icons(toolBar_->iconSize(), toolBarPictures_, toolBarDensity_);
  for (QAction* a : toolBar_->actions()) {
    const QVariant picture = a->property(kPictureProperty);
    if (picture.isValid()) a->setIcon(icons.Get(picture.toString()));
  }
}

QAction* FrameWnd::CommandAction(int id) const { return actions_.value(id, nullptr); }

void FrameWnd::SetRecentFiles(const QStringList& files) {
  recentFiles_ = files;
  for (QAction* a : recentActions_) {
    actions_.remove(a->data().toInt(), a);
    delete a;
  }
  recentActions_.clear();
  if (!recentMenu_ || !recentAnchor_) return;
  int n = 0;
  for (const QString& file : files) {
    const int id = kRecentFileFirstId + n;
    auto* a = new QAction(QString("&%1 %2").arg(n + 1).arg(QFileInfo(file).fileName()), this);
    a->setData(id);
    a->setToolTip(file);
    connect(a, &QAction::triggered, this, [this, id] { Dispatch(id); });
    recentMenu_->insertAction(recentAnchor_, a);
    actions_.insert(id, a);
    recentActions_.push_back(a);
    ++n;
  }
  recentAnchor_->setVisible(n > 0);
}

void FrameWnd::DockControlBar(DockWindow* bar, Qt::DockWidgetArea area) {
  if (!bar) return;
  addDockWidget(area, bar);
  const int size = bar->defaultSize();
  if (size > 0) {
    const Qt::Orientation o = (area == Qt::LeftDockWidgetArea || area == Qt::RightDockWidgetArea) ? Qt::Horizontal : Qt::Vertical;
    resizeDocks({bar}, {size}, o);
  }
}

void FrameWnd::RegisterBar(int id, QWidget* bar) { bars_.insert(id, bar); }

void FrameWnd::Dispatch(int id) {
  // The View menu's bar toggles are the frame's own business.
  if (QWidget* bar = bars_.value(id)) {
    if (auto* dock = qobject_cast<QDockWidget*>(bar)) dock->setVisible(!dock->isVisible());
    else bar->setVisible(!bar->isVisible());
    return;
  }
  OnCommand(id);
}

QMenu* FrameWnd::MenuPopup(int index) const {
  const QList<QAction*> entries = menuBar()->actions();
  return index >= 0 && index < entries.size() ? entries.at(index)->menu() : nullptr;
}

void FrameWnd::UpdateCommandUI() {
  for (auto it = actions_.begin(); it != actions_.end(); ++it) {
    const int id = it.key();
    QAction* a = it.value();
    if (QWidget* bar = bars_.value(id)) {
      a->setEnabled(true);
      a->setCheckable(true);
      a->setChecked(bar->isVisible());
      continue;
    }
    bool checked = a->isChecked();
    a->setEnabled(OnUpdateCommand(id, checked));
    if (a->isCheckable()) a->setChecked(checked);
  }
  for (QAction* top : menuBar()->actions()) {
    if (QMenu* menu = top->menu()) UpdateSubMenus(menu);
  }
  OnCommandUIUpdated();
}

bool FrameWnd::UpdateSubMenus(QMenu* menu) {
  bool any = false;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator() || !a->isVisible()) continue;
    if (QMenu* sub = a->menu()) {
      const bool enabled = UpdateSubMenus(sub);
      a->setEnabled(enabled);
      any = any || enabled;
    } else {
      any = any || a->isEnabled();
    }
  }
  return any;
}

void FrameWnd::OnCommand(int) {}
bool FrameWnd::OnUpdateCommand(int, bool&) { return true; }
void FrameWnd::OnClose() { DestroyFrame(); }

void FrameWnd::DestroyFrame() {
  destroying_ = true;
  close();
}

void FrameWnd::closeEvent(QCloseEvent* event) {
  if (destroying_) {
    updateTimer_->stop();
    event->accept();
    return;
  }
  event->ignore();
  OnClose();
  if (destroying_) event->accept();
}

void FrameWnd::SaveBarState(os::Profile& profile, const QString& section) const {
  profile.SetValue(section, "State", saveState());
}

bool FrameWnd::LoadBarState(os::Profile& profile, const QString& section) {
  const QByteArray state = profile.Value(section, "State");
  return !state.isEmpty() && restoreState(state);
}

void FrameWnd::SaveWindowPos(os::Profile& profile, const QString& section) const {
  profile.SetValue(section, "Geometry", saveGeometry());
}

bool FrameWnd::LoadWindowPos(os::Profile& profile, const QString& section) {
  const QByteArray geometry = profile.Value(section, "Geometry");
  return !geometry.isEmpty() && restoreGeometry(geometry);
}

// ---- DockWindow --------------------------------------------------------------

DockWindow::DockWindow(QWidget* parent) : QDockWidget(parent) {
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
}

bool DockWindow::Create(FrameWnd* frame, int id, const QString& title, int defaultSize) {
  id_ = id;
  defaultSize_ = defaultSize;
  menuTitle_ = title;
  QString shown = title;
  shown.replace("&&", "&");
  setWindowTitle(shown);
  setObjectName(QString("Bar%1").arg(id));
  if (frame) {
    setParent(frame);
    frame->RegisterBar(id, this);
  }
  return OnCreate() == 0;
}

int DockWindow::OnCreate() { return 0; }

void DockWindow::SetChild(QWidget* child) { setWidget(child); }

// ---- StatusBar -------------------------------------------------------------------

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {}

namespace {
constexpr const char* kFullTextProperty = "qmxFullText";
constexpr int kPaneRefreshMs = 500;
}  // namespace

bool StatusBar::SetIndicators(int count) {
  if (count <= 0) return false;
  for (int i = 0; i < count; ++i) {
    auto* label = new QLabel(this);
    if (i == 0) {
      label->setText(QStringLiteral("Ready"));
      addWidget(label, 1);
    } else {
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setAlignment(Qt::AlignCenter);
      label->setObjectName(QStringLiteral("StatusPane%1").arg(i));
      addPermanentWidget(label);
    }
    panes_.push_back(label);
  }
  return true;
}

QLabel* StatusBar::pane(int index) const {
  return index >= 0 && index < panes_.size() ? panes_[index] : nullptr;
}

QLabel* StatusBar::AddLogoPane(int paneId, int index, const QString& text) {
  auto* label = new QLabel(text, this);
  label->setFrameStyle(QFrame::Panel | QFrame::Raised);
  // Centred text takes no indent; the frame is outside the text's room.
  label->setAlignment(Qt::AlignCenter);
  label->setFixedWidth(TextWidth(label, text) + 2 + 2 * label->frameWidth() + 2 * label->margin());
  label->setAccessibleName(text);
  insertWidget(0, label);
  index = std::clamp(index, 0, static_cast<int>(panes_.size()));
  panes_.insert(index, label);
  byId_.insert(paneId, label);
  return label;
}

void StatusBar::SetPaneText(int index, const QString& text) {
  QLabel* label = pane(index);
  if (!label || (label->property(kFullTextProperty).toString() == text && !label->text().isEmpty())) return;
  label->setProperty(kFullTextProperty, text);
  const int frame = 2 * label->frameWidth() + 2 * label->margin();
  const int spacing = 2 * label->fontMetrics().horizontalAdvance(QLatin1Char(' '));
  const int cap = std::max(width() / 4, 24 * TextWidth(label, QStringLiteral("n")));
  const int needed = TextWidth(label, text);
  const int widest = std::min(needed + frame + spacing, cap);
  if (widest > label->minimumWidth()) label->setMinimumWidth(widest);
  const int room = label->minimumWidth() - frame - spacing;
  const QString shown = needed <= room ? text : label->fontMetrics().elidedText(text, Qt::ElideRight, room);
  label->setText(shown);
  label->setToolTip(shown == text ? QString() : text);
  label->setAccessibleName(text);
}

void StatusBar::SetPaneSource(int index, std::function<QString()> source) {
  QLabel* label = pane(index);
  if (!label) return;
  sources_.insert(label, std::move(source));
  if (!refresh_) {
    refresh_ = new QTimer(this);
    refresh_->setInterval(kPaneRefreshMs);
    connect(refresh_, &QTimer::timeout, this, &StatusBar::RefreshPanes);
    refresh_->start();
  }
  RefreshPanes();
}

void StatusBar::RefreshPanes() {
  for (auto it = sources_.cbegin(); it != sources_.cend(); ++it) {
    if (it.value()) SetPaneText(static_cast<int>(panes_.indexOf(it.key())), it.value()());
  }
}

void MoveIntoTabOrder(QWidget* after, const std::vector<QWidget*>& blocks) {
  std::vector<std::pair<QWidget*, Qt::FocusPolicy>> saved;
  if (after) saved.emplace_back(after, after->focusPolicy());
  for (QWidget* block : blocks) {
    if (!block) continue;
    saved.emplace_back(block, block->focusPolicy());
    for (QWidget* w : block->findChildren<QWidget*>())
      if (!w->isWindow()) saved.emplace_back(w, w->focusPolicy());
  }
  for (const auto& [w, policy] : saved)
    if (policy == Qt::NoFocus) w->setFocusPolicy(Qt::TabFocus);
  QWidget* previous = after;
  for (QWidget* next : blocks) {
    if (!next) continue;
    if (previous) QWidget::setTabOrder(previous, next);
    previous = next;
  }
  // Setting a policy also sets it on the focus proxy, hence the widgets
  // without a proxy get theirs back last.
  for (const bool proxied : {true, false})
    for (const auto& [w, policy] : saved)
      if ((w->focusProxy() != nullptr) == proxied) w->setFocusPolicy(policy);
}

FlatTabCtrl::FlatTabCtrl(QWidget* parent) : QTabWidget(parent) {
  setDocumentMode(true);
  setTabPosition(QTabWidget::South);
}

}  // namespace qmx::toolkit
