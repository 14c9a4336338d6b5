// Frame window, docking windows, status bar, flat tabs and the window-position
// store of the suite's main windows, on Qt Widgets.
//
// Commands keep their numeric ids: menus and toolbars are loaded from XML
// resources that name each entry's id, and every triggered entry reaches
// FrameWnd::OnCommand(id). Whether an entry is enabled (and checked) is asked
// of FrameWnd::OnUpdateCommand before a menu opens and periodically for the
// toolbar.
#pragma once

#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QMap>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>

#include <functional>
#include <vector>

class QMenu;
class QTimer;

namespace qmx::os {
class Profile;
}

namespace qmx::toolkit {

class DockWindow;

// The first id of the recent-file entries of the File menu.
constexpr int kRecentFileFirstId = 57616;
// The ids of a View menu's bar entries, which are checkable: the toolbar's
// first (the frame makes and registers it), up to the last docking window's.
constexpr int kToolBarId = 59392;
constexpr int kLastBarId = 59503;

class FrameWnd : public QMainWindow {
  Q_OBJECT
public:
  explicit FrameWnd(QWidget* parent = nullptr);
  ~FrameWnd() override;

  // Builds the menu bar from a menu resource (a Qt resource path or a file);
  // false when the resource is missing or malformed.
  bool LoadMenuBar(const QString& resource);
  // Builds the main toolbar from a toolbar resource; false on failure.
  bool LoadToolBar(const QString& resource);
  QToolBar* toolBar() const { return toolBar_; }

  // The action of a command id (menu entry or toolbar button), nullptr when none.
  QAction* CommandAction(int id) const;
  // Entries of the recent-file list, inserted where the menu resource says.
  void SetRecentFiles(const QStringList& files);
  QStringList RecentFiles() const { return recentFiles_; }

  // Docks a bar and registers it under its id for the View menu's toggles.
  void DockControlBar(DockWindow* bar, Qt::DockWidgetArea area);
  void RegisterBar(int id, QWidget* bar);
  QWidget* Bar(int id) const { return bars_.value(id); }

  // Runs the enable/check update of every command now; a sub-menu whose
  // entries are all disabled is disabled with them.
  void UpdateCommandUI();
  // Carries out a command as if its menu entry had been chosen (a window of
  // the frame sending the command to the main window).
  void SendCommand(int id) { Dispatch(id); }
  // The popup of the menu bar at a 0-based position, nullptr when none.
  QMenu* MenuPopup(int index) const;

  // Saves and restores the layout of bars ("Ferrowyn SaveBarState" style
  // sections) and the window placement in the user's profile.
  void SaveBarState(os::Profile& profile, const QString& section) const;
  bool LoadBarState(os::Profile& profile, const QString& section);
  void SaveWindowPos(os::Profile& profile, const QString& section) const;
  bool LoadWindowPos(os::Profile& profile, const QString& section);

  // Closes the frame for good (the base close of OnClose).
  void DestroyFrame();

protected:
  // A command from a menu, toolbar or accelerator.
  virtual void OnCommand(int id);
  // Whether a command is enabled now; `checked` may be set for checkable entries.
  virtual bool OnUpdateCommand(int id, bool& checked);
  // The user or the program asked the window to close; call DestroyFrame to close.
  virtual void OnClose();
  // Called after every update of the commands' states.
  virtual void OnCommandUIUpdated() {}

  void closeEvent(QCloseEvent* event) override;

private:
  void Dispatch(int id);
  // A sub-menu is enabled while one of its entries is; true when it is.
  static bool UpdateSubMenus(QMenu* menu);
  QAction* AddCommand(QMenu* menu, int id, const QString& text, const QString& key);
  // Gives the toolbar's buttons their pictures for the densities the
  // screens need; again when a denser screen comes.
  void SetToolBarPictures();

  QToolBar* toolBar_ = nullptr;
  QString toolBarPictures_;   // folder of the drawn copies
  int toolBarDensity_ = 0;    // the densities the buttons' pictures hold
  QMetaObject::Connection screenWatch_;
  QMultiMap<int, QAction*> actions_;
  QMap<int, QWidget*> bars_;
  QMenu* recentMenu_ = nullptr;
  QAction* recentAnchor_ = nullptr;
  QList<QAction*> recentActions_;
  QStringList recentFiles_;
  QTimer* updateTimer_ = nullptr;
  bool destroying_ = false;
};

// A docking bar with an id, a title and a default size; its content is one
// child window. Derived bars build their content in OnCreate.
class DockWindow : public QDockWidget {
  Q_OBJECT
public:
  explicit DockWindow(QWidget* parent = nullptr);

  // Creates the bar in the frame. The title may carry "&&" (the menu escape of
  // one "&"); the bar shows one "&". Returns false when OnCreate fails.
  bool Create(FrameWnd* frame, int id, const QString& title, int defaultSize);
  int defaultSize() const { return defaultSize_; }
  const QString& menuTitle() const { return menuTitle_; }
  void SetChild(QWidget* child);

protected:
  // Builds the bar's content; 0 on success, -1 on failure.
  virtual int OnCreate();

private:
  int id_ = 0;
  int defaultSize_ = 0;
  QString menuTitle_;
};

// Status bar with indicator panes and a logo pane.
class StatusBar : public QStatusBar {
  Q_OBJECT
public:
  explicit StatusBar(QWidget* parent = nullptr);
  // Creates `count` panes: pane 0 is the message pane ("Ready", and the status
  // tip of the command under the mouse), the others are indicator panes that
  // show what their sources say.
  bool SetIndicators(int count);
  int paneCount() const { return static_cast<int>(panes_.size()); }
  QLabel* pane(int index) const;
  // Adds a pane with the text at the index (pop-out look), as wide as the
  // text plus 2 in the pane's font, inside its frame.
  QLabel* AddLogoPane(int paneId, int index, const QString& text);
  QLabel* paneById(int paneId) const { return byId_.value(paneId); }

  // Shows a text in an indicator pane. The pane grows to the widest text it
  // has shown (so the bar does not jump), up to a quarter of the bar; a longer
  // text is cut with "..." and shown whole as the pane's tooltip.
  void SetPaneText(int index, const QString& text);
  // A function asked twice a second for the text of an indicator pane.
  void SetPaneSource(int index, std::function<QString()> source);
  // Asks every source now.
  void RefreshPanes();

private:
  QList<QLabel*> panes_;
  QMap<int, QLabel*> byId_;
  QMap<QLabel*, std::function<QString()>> sources_;
  QTimer* refresh_ = nullptr;
};

// Moves each block, with all its children, into the Tab order right after the
// one before it, the first after `after` (where there is one). Qt's own setTabOrder skips a widget
// that takes no focus, and moves a widget's children only up to its last
// child that takes focus: the ones after it (a view's viewport, which hands
// the focus on to the view) would stay at the old place and catch Shift+Tab
// there. So `after` and every widget of the blocks take Tab while the blocks
// move, and get their own policies back after.
void MoveIntoTabOrder(QWidget* after, const std::vector<QWidget*>& blocks);

// Flat tab control: tabs each with a child window.
class FlatTabCtrl : public QTabWidget {
  Q_OBJECT
public:
  explicit FlatTabCtrl(QWidget* parent = nullptr);
  QWidget* GetItemWindow(int index) const { return widget(index); }
  void SetItemText(int index, const QString& text) { setTabText(index, text); }
};

}  // namespace qmx::toolkit
