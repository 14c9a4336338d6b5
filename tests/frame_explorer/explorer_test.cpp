// The project window shows the workspace's tree (labels, icons, bold
// project, selection both ways, Delete key, right button), the tab host
// reaches only the children each operation names, and the main window with a
// project is pictured for a look.
#include "app/frame/FerrowynApp.h"
#include "app/frame/FerrowynView.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabDockWnd.h"
#include "app/model/IOCatalogue.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/Services.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"
#include "tests/support/access_audit.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

std::string Products(const std::string& name) {
  return qmx::test::SourcePath("resources/QMX410Tools/Products/" + name).string();
}

std::vector<std::string>& Boxes() {
  static std::vector<std::string> boxes;
  return boxes;
}

// A frame that records the commands its windows send.
class RecordingFrame : public qmx::toolkit::FrameWnd {
public:
  std::vector<int> commands;

protected:
  void OnCommand(int id) override { commands.push_back(id); }
};

class Explorer : public ::testing::Test {
protected:
  void SetUp() override {
    qmx::os::OverrideProgramFolder(qmx::test::DistDir());
    qmx::Services().messageBox = [](const std::string& text, unsigned) {
      Boxes().push_back(text);
      return 1;
    };
    Boxes().clear();
    ParseTextIdFile(Products("listTextIdEng.xml"), texts);
    ParseNAFiles(Products("listNA.xml"), texts, adapters);
    ParseIOFiles(Products("listIO.xml"), texts, modules);
    ws.SetCatalogues(&adapters, &modules);
    ASSERT_TRUE(frame.LoadMenuBar(QString::fromStdString(
        qmx::test::SourcePath("resources/QMX410Tools/ui/menu128.xml").string())));
    bar = new TabDockWnd(ws, &frame);
    ASSERT_TRUE(bar->Create(&frame, qmx::commands::kIdViewProjectBar, "Project Window", 200));
    frame.DockControlBar(bar, Qt::LeftDockWidgetArea);
    frame.resize(600, 400);
    frame.show();
    tree = bar->tree();
  }
  void TearDown() override {
    qmx::ResetServices();
    qmx::os::OverrideProgramFolder({});
  }

  // "Plant" with one TCP adapter and three modules, numbered.
  void BuildPlant() {
    project = ws.CreateProject("Plant", "/tmp");
    project->commType = "TCP";
    project->commTypeCode = 0;
    TreeItem item = kNoTreeItem;
    adapter = ws.CreateNA("Station", "QMX-4101", item, nullptr);
    ASSERT_NE(adapter, nullptr);
    adapter->ipAddress = "192.168.0.10";
    for (const char* id : {"QMX-1808", "QMX-3408", "QMX-7124"}) {
      CIOUsr* module = ws.CreateIO(std::string("M-") + id, id, item, nullptr, adapter->treeItem);
      ASSERT_NE(module, nullptr) << id;
      moduleObjects.push_back(module);
    }
    ws.ReNumberingIOsDispath("PROJECT", project->treeItem);
  }

  QTreeWidgetItem* Widget(TreeItem item) { return tree->WidgetItem(item); }

  TextIdMap texts;
  NACatalogue adapters;
  IOCatalogue modules;
  RecordingFrame frame;
  ProjectWorkspace ws;  // goes before the frame: its window lets go of the store
  TabDockWnd* bar = nullptr;
  TabTreeCtrl* tree = nullptr;
  CProjectUsr* project = nullptr;
  CNAUsr* adapter = nullptr;
  std::vector<CIOUsr*> moduleObjects;
};

TEST_F(Explorer, ShowsTheProjectWithLabelsIconsAndTheSelection) {
  EXPECT_EQ(bar->windowTitle().toStdString(), "Project Window");
  ASSERT_EQ(bar->tabs()->count(), 1);
  EXPECT_EQ(bar->tabs()->tabText(0).toStdString(), "Project Explorer");
  EXPECT_TRUE(bar->tabs()->tabIcon(0).isNull());

  QSignalSpy changes(bar, &TabDockWnd::selectionChanged);
  BuildPlant();
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* root = tree->topLevelItem(0);
  EXPECT_EQ(root->text(0).toStdString(), "Plant");
  EXPECT_TRUE(root->font(0).bold());
  EXPECT_TRUE(root->isExpanded());
  EXPECT_EQ(root->data(0, TabTreeCtrl::kImageRole).toInt(), 0);
  ASSERT_EQ(root->childCount(), 1);
  QTreeWidgetItem* station = root->child(0);
  EXPECT_EQ(station->text(0).toStdString(), "Station (192.168.0.10)");
  EXPECT_FALSE(station->font(0).bold());
  EXPECT_EQ(station->data(0, TabTreeCtrl::kImageRole).toInt(), adapter->GetNADef()->iconIdx);
  ASSERT_EQ(station->childCount(), 3);
  const char* labels[] = {"01: M-QMX-1808", "02: M-QMX-3408", "03: M-QMX-7124"};
  for (int i = 0; i < 3; ++i) {
    QTreeWidgetItem* module = station->child(i);
    EXPECT_EQ(module->text(0).toStdString(), labels[i]);
    EXPECT_EQ(module->data(0, TabTreeCtrl::kImageRole).toInt(),
              moduleObjects[static_cast<size_t>(i)]->GetIODef()->iconIdx);
    EXPECT_FALSE(module->icon(0).isNull());
  }
  // Every insertion selected its new item and the frame heard of each; the
  // window shows the last one once it has caught up.
  EXPECT_GE(changes.count(), 5);
  QApplication::processEvents();
  EXPECT_EQ(tree->currentItem(), station->child(2));
  // The column is as wide as the widest label.
  const int needed = tree->visualItemRect(station).left() + tree->iconSize().width() +
                     QFontMetrics(station->font(0)).horizontalAdvance(station->text(0));
  EXPECT_GT(needed, tree->header()->defaultSectionSize());
  EXPECT_GE(tree->columnWidth(0), needed);

  // The store selects: the frame hears of it at once, the window follows.
  changes.clear();
  ws.tree().SelectItem(adapter->treeItem);
  EXPECT_EQ(changes.count(), 1);
  QApplication::processEvents();
  EXPECT_EQ(tree->currentItem(), station);

  // The user selects: the store follows.
  QTreeWidgetItem* second = station->child(1);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(second).center());
  EXPECT_EQ(ws.tree().GetSelectedItem(), moduleObjects[1]->treeItem);
  EXPECT_EQ(changes.count(), 2);

  // The right button selects the item under it; over empty space nothing.
  QTest::mousePress(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(root).center());
  QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(root).center());
  EXPECT_EQ(ws.tree().GetSelectedItem(), project->treeItem);
  const QPoint empty(5, tree->viewport()->height() - 3);
  ASSERT_EQ(tree->itemAt(empty), nullptr);
  QTest::mousePress(tree->viewport(), Qt::RightButton, {}, empty);
  EXPECT_EQ(ws.tree().GetSelectedItem(), project->treeItem);

  // Relabelling and removal reach the window.
  ws.namingMode = 1;
  ws.ReNumberingIOsDispath("PROJECT", project->treeItem);
  EXPECT_EQ(station->text(0).toStdString(), "QMX-4101 (192.168.0.10)");
  EXPECT_EQ(station->child(0)->text(0).toStdString(), "01: QMX-1808");
  ws.tree().SelectItem(moduleObjects[0]->treeItem);
  EXPECT_EQ(ws.RemoveUsrObj(moduleObjects[0]->treeItem, moduleObjects[0], "01: QMX-1808", 0), 1);
  ws.ReNumberingIOsDispath("NA", adapter->treeItem);
  ASSERT_EQ(station->childCount(), 2);
  EXPECT_EQ(station->child(0)->text(0).toStdString(), "01: QMX-3408");
  QApplication::processEvents();
  EXPECT_EQ(tree->currentItem(), nullptr);
}

namespace {

// How much of picture b differs visibly from picture a: the share of the
// pixels either covers whose colour is far from the other's.
double ShareDiffering(const QIcon& a, const QIcon& b) {
  const QImage x = a.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
  const QImage y = b.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
  int covered = 0, differing = 0;
  for (int row = 0; row < 16; ++row) {
    for (int column = 0; column < 16; ++column) {
      const QColor p = x.pixelColor(column, row), q = y.pixelColor(column, row);
      if (p.alpha() < 128 && q.alpha() < 128) continue;
      ++covered;
      const int distance = std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                           std::abs(p.blue() - q.blue()) + std::abs(p.alpha() - q.alpha());
      if (distance > 120) ++differing;
    }
  }
  return covered == 0 ? 0.0 : static_cast<double>(differing) / covered;
}

}  // namespace

// A station with a fault but still communicating is told apart from a
// healthy one and from a lost one at a glance (most of its picture differs),
// and the three faults from each other by their sign; each picture is also
// said in words.
TEST_F(Explorer, StatusPicturesTellTheStationsStateApart) {
  const std::vector<QIcon> images = TabTreeCtrl::LoadItemImages();
  auto share = [&](int a, int b) { return ShareDiffering(images.at(static_cast<size_t>(a)), images.at(static_cast<size_t>(b))); };
  constexpr int kBus = kImageAdapterBusError, kPower = kImageAdapterFieldPowerFault,
                kBoth = kImageAdapterBusErrorAndFieldPower;
  for (int fault : {kBus, kPower, kBoth}) {
    EXPECT_GE(share(kImageAdapterRunning, fault), 0.5) << fault << " against running";
    EXPECT_GE(share(kImageAdapterFault, fault), 0.5) << fault << " against lost";
  }
  for (const auto& [a, b] : {std::pair{kBus, kPower}, {kBus, kBoth}, {kPower, kBoth}}) {
    EXPECT_GE(share(a, b), 0.1) << a << "/" << b;
  }

  BuildPlant();
  QTreeWidgetItem* station = tree->topLevelItem(0)->child(0);
  for (const auto& [image, words] : {std::pair<int, std::string>{kImageAdapterFault, "Communication fault"},
                                     {kImageAdapterFieldPowerFault, "Communicating, field power off"},
                                     {kImageAdapterBusErrorAndFieldPower, "Communicating, bus error, field power off"},
                                     {adapter->GetNADef()->iconIdx, ""}}) {
    ws.tree().SetItemImage(adapter->treeItem, image);
    EXPECT_EQ(station->toolTip(0).toStdString(), words) << image;
    EXPECT_EQ(station->data(0, Qt::AccessibleDescriptionRole).toString().toStdString(), words) << image;
  }
}

TEST_F(Explorer, DeleteKeySendsTheDeleteCommandToTheFrame) {
  BuildPlant();
  QTest::keyPress(tree, Qt::Key_Delete);
  EXPECT_TRUE(frame.commands.empty());  // on release, as the key comes up
  QTest::keyRelease(tree, Qt::Key_Delete);
  EXPECT_EQ(frame.commands, std::vector<int>{qmx::commands::kIdEditDelete});
}

// Delete and Move are enabled while the tree keeps the keyboard; a menu
// opened over it, by the mouse or by Alt and its letter, keeps it there.
TEST_F(Explorer, TheFocusFlagOutlivesOnlyAMenu) {
  const std::pair<Qt::FocusReason, int> cases[] = {{Qt::PopupFocusReason, 1},
                                                   {Qt::MenuBarFocusReason, 1},
                                                   {Qt::TabFocusReason, 0},
                                                   {Qt::MouseFocusReason, 0}};
  for (const auto& [reason, kept] : cases) {
    QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(tree, &in);
    ASSERT_EQ(tree->HasFocusFlag(), 1);
    QFocusEvent out(QEvent::FocusOut, reason);
    QCoreApplication::sendEvent(tree, &out);
    EXPECT_EQ(tree->HasFocusFlag(), kept) << reason;
  }
}

// A project window whose tree cannot be made.
class TreelessDockWnd : public TabDockWnd {
public:
  using TabDockWnd::TabDockWnd;

protected:
  TabTreeCtrl* CreateTree() override { return nullptr; }
};

TEST_F(Explorer, AProjectWindowWithoutItsTreeIsNotCreated) {
  auto* broken = new TreelessDockWnd(ws, &frame);
  EXPECT_FALSE(broken->Create(&frame, 59504, "Project Window", 200));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], "Failed to create tree control because of resource lack. Error Code: -5161");
}

// ---- the tab host -------------------------------------------------------------

std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}

class RecordingView : public CTabChildView {
public:
  RecordingView(int type, QWidget* parent) : CTabChildView(parent), type_(type) {}
  int RefreshView(int force) override { return Note("Refresh", force); }
  int DoChangeModuleNameIcon(int which) override { return Note("Relabel", which); }
  int UpdateOnlineVals(int value) override { return Note("Online", value); }
  int ClearView() override { return Note("Clear", 0); }
  int CanHandleCommand(int id, int mode) override { return Note("Can", id + mode) ? 7 : 0; }
  int ChangeValMode(int flag) override { return Note("ValMode", flag); }

private:
  int Note(const char* what, int arg) {
    Calls().push_back(std::to_string(type_) + " " + what + " " + std::to_string(arg));
    return 1;
  }
  int type_;
};

class TabHost : public ::testing::Test {
protected:
  void SetUp() override {
    Calls().clear();
    Boxes().clear();
    qmx::Services().messageBox = [](const std::string& text, unsigned) {
      Boxes().push_back(text);
      return 1;
    };
    CFerrowynView::s_viewFactory = [](int type, QWidget* parent) -> CTabChildView* {
      return new RecordingView(type, parent);
    };
  }
  void TearDown() override {
    CFerrowynView::s_viewFactory = &CFerrowynView::DefaultViewFactory;
    qmx::ResetServices();
  }
  std::vector<std::string> Take() {
    std::vector<std::string> calls = Calls();
    Calls().clear();
    return calls;
  }
};

TEST_F(TabHost, OnlyTheNamedChildrenAreCalled) {
  CFerrowynView view;
  view.resize(500, 300);
  view.show();
  ASSERT_EQ(view.tabCtrl()->count(), 6);
  const char* texts[] = {"Starting...", "Image", "Process Image", "Parameter", "Address Map", "Comment"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(view.tabCtrl()->tabText(i).toStdString(), texts[i]);
  EXPECT_EQ(view.GetActiveViewType(), 0);
  EXPECT_TRUE(Take().empty());

  view.ShowChildView(3);  // by the program: nothing is refreshed
  EXPECT_TRUE(Take().empty());
  view.RefreshView(1, "processimgview");
  EXPECT_TRUE(Take().empty());
  view.RefreshView(1, "PARAMETERSVIEW");
  EXPECT_EQ(Take(), std::vector<std::string>{"3 Refresh 1"});
  view.UpdateOnlineVals("ImageView", 1);
  EXPECT_TRUE(Take().empty());
  view.UpdateOnlineVals("", 0);
  EXPECT_EQ(Take(), std::vector<std::string>{"3 Online 0"});
  view.ChangeValMode(1);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(view.CanHandleCommand(qmx::commands::kIdOnlineDownload, 1), 7);
  EXPECT_EQ(Take(), std::vector<std::string>{"3 Can " + std::to_string(qmx::commands::kIdOnlineDownload + 1)});

  view.RefreshView(0, "");
  EXPECT_EQ(Take(), (std::vector<std::string>{"1 Refresh 0", "2 Refresh 0", "3 Refresh 0", "4 Refresh 0",
                                              "5 Refresh 0"}));
  view.ClearAllViews();
  EXPECT_EQ(Take(), (std::vector<std::string>{"1 Clear 0", "2 Clear 0", "3 Clear 0", "4 Clear 0", "5 Clear 0"}));
  view.ChangeModuleNameIcon(-1);
  EXPECT_EQ(Take().size(), 5u);

  // The user picks tab 2: its child refreshes without force.
  QTabBar* bar = view.tabCtrl()->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
  EXPECT_EQ(view.GetActiveViewType(), 2);
  EXPECT_EQ(Take(), std::vector<std::string>{"2 Refresh 0"});
  view.ChangeValMode(0);
  EXPECT_EQ(Take(), std::vector<std::string>{"2 ValMode 0"});

  for (int tab : {0, 4, 5}) {
    view.ShowChildView(tab);
    EXPECT_EQ(view.CanHandleCommand(qmx::commands::kIdEditDelete, 1), 0);
    view.RefreshActiveView();
    view.UpdateOnlineVals("", 1);
  }
  EXPECT_EQ(Take(), (std::vector<std::string>{"4 Refresh 0", "4 Online 1", "5 Refresh 0", "5 Online 1"}));

  // Re-creating the tab control keeps the selected tab.
  view.CreateTabCtrl();
  EXPECT_EQ(view.GetActiveViewType(), 5);
  EXPECT_NE(view.childView(5), nullptr);
}

TEST_F(TabHost, AChildThatCannotBeMadeStopsTheRest) {
  CFerrowynView::s_viewFactory = [](int type, QWidget* parent) -> CTabChildView* {
    return type == 2 ? nullptr : new RecordingView(type, parent);
  };
  CFerrowynView view;
  EXPECT_EQ(view.tabCtrl()->count(), 6);
  EXPECT_NE(view.childView(1), nullptr);
  for (int i = 2; i < 6; ++i) EXPECT_EQ(view.childView(i), nullptr) << i;
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0], "Failed to create ProcessImg-view because of resource lack. Error Code: -5023");
  view.RefreshView(0, "");
  view.ClearAllViews();
  EXPECT_EQ(Take(), (std::vector<std::string>{"1 Refresh 0", "1 Clear 0"}));
}

// ---- the main window ------------------------------------------------------------

TEST(MainWindow, ShowsAProjectInTheExplorer) {
  qmx::test::TempDir dir("qmx-explorer");
  const std::filesystem::path programDir = qmx::test::UseProgramCopy(dir.path());
  qmx::toolkit::SetMessageBoxScript([](const qmx::toolkit::MessageBoxRequest&) { return qmx::toolkit::kIdOk; });
  {
    CFerrowynApp app;
    ASSERT_TRUE(app.InitInstance({(programDir / "QMX410Tools").string()}));
    CMainFrame* frame = app.mainFrame();
    frame->resize(1200, 760);
    CProjectUsr* project = frame->CreateProject("Plant", programDir.string() + "/Projects");
    project->commType = "TCP";
    project->commTypeCode = 0;
    TreeItem item = kNoTreeItem;
    for (const char* name : {"Line A", "Line B"}) {
      frame->workspace().tree().SelectItem(project->treeItem);
      CNAUsr* na = frame->CreateNA(name, "QMX-4101", item, nullptr);
      ASSERT_NE(na, nullptr);
      na->ipAddress = std::string("192.168.0.") + (name[5] == 'A' ? "10" : "11");
      const TreeItem naItem = item;
      for (const char* id : {"QMX-1808", "QMX-2808", "QMX-3404", "QMX-7124", "QMX-4402"}) {
        ASSERT_NE(frame->CreateIO(id, id, item, nullptr, naItem), nullptr);
      }
    }
    frame->ReNumberingIOsDispath("PROJECT", project->treeItem);
    frame->workspace().tree().SelectItem(frame->workspace().tree().GetChildItem(project->treeItem));
    EXPECT_EQ(frame->GetPrjTreeCtrl()->topLevelItem(0)->child(1)->text(0).toStdString(), "Line B (192.168.0.11)");
    QCoreApplication::processEvents();
    const QString picture = QString(QMX_TEST_OUTPUT_DIR) + "/explorer_main_window.png";
    EXPECT_TRUE(frame->grab().save(picture));
    EXPECT_EQ(qmx::test::AuditAccess(frame), std::vector<std::string>{});
    // Tab from the project tree: the window in reading order, round again.
    EXPECT_EQ(frame->focusWidget(), frame->GetPrjTreeCtrl());
    using namespace qmx::commands;
    const std::vector<QWidget*> regions = {frame->Bar(kIdViewProjectBar), frame->centralWidget(),
                                           frame->Bar(kIdViewToolBoxBar), frame->Bar(kIdViewLogBar),
                                           frame->viewModeCombo()};
    // Tab and Shift+Tab as Qt takes them: a widget with a focus proxy stands
    // for its proxy, except a child met before (Tab) or a parent met after
    // (Shift+Tab) its proxy.
    for (const bool forward : {true, false}) {
      std::vector<int> visited;
      QWidget* w = frame->GetPrjTreeCtrl();
      for (int step = 0; step < 1000 && visited.size() < 6;
           ++step, w = forward ? w->nextInFocusChain() : w->previousInFocusChain()) {
        QWidget* target = w;
        while (target->focusProxy()) target = target->focusProxy();
        if (target != w && (forward ? target->isAncestorOf(w) : w->isAncestorOf(target))) continue;
        if (!w->isVisible() || !(target->focusPolicy() & Qt::TabFocus)) continue;
        for (int r = 0; r < static_cast<int>(regions.size()); ++r)
          if ((target == regions[r] || regions[r]->isAncestorOf(target)) && (visited.empty() || visited.back() != r))
            visited.push_back(r);
      }
      EXPECT_EQ(visited, forward ? (std::vector<int>{0, 1, 2, 3, 4, 0}) : (std::vector<int>{0, 4, 3, 2, 1, 0}));
    }
  }
  qmx::toolkit::SetMessageBoxScript({});
  qmx::os::OverrideProgramFolder({});
  qmx::ResetServices();
}

}  // namespace
