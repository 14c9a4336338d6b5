// The help: every command of the main menu and every window F1 can be
// pressed in has a page of the Help folder, every link of the pages leads to
// a page and a place that exist, and F1 in the running program opens the
// page of what is selected: a menu entry, a dialog of the program or of the
// driver, a product of the catalogue window, the log window, the project
// window's object. Writes pictures of the help window into the build folder.
#include "app/frame/CommandSpecs.h"
#include "app/frame/FerrowynApp.h"
#include "app/frame/FerrowynView.h"
#include "app/frame/HelpWindow.h"
#include "app/frame/MainFrame.h"
#include "app/frame/OutputBar.h"
#include "app/frame/TabTreeCtrl.h"
#include "app/frame/ToolBoxBar.h"
#include "app/frame/rules/CommandRules.h"
#include "app/frame/rules/HelpTopics.h"
#include "app/model/IOUsr.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/ui/dialogs/AddNaDlg.h"
#include "platform/toolkit/tool_box.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace qmx::commands;

const fs::path kHelpSource = qmx::test::SourcePath("resources/QMX410Tools/Help");

// "Page.htm#place" split; the place is empty for a whole page.
std::pair<std::string, std::string> SplitPage(const std::string& page) {
  const size_t hash = page.find('#');
  if (hash == std::string::npos) return {page, {}};
  return {page.substr(0, hash), page.substr(hash + 1)};
}

std::string Unescape(std::string text) {
  for (size_t at = text.find("%20"); at != std::string::npos; at = text.find("%20")) text.replace(at, 3, " ");
  return text;
}

// Whether the page exists in the Help folder and, when a place is named,
// holds its anchor.
::testing::AssertionResult PageExists(const std::string& page) {
  const auto [file, place] = SplitPage(Unescape(page));
  const fs::path path = kHelpSource / file;
  if (!fs::is_regular_file(path)) return ::testing::AssertionFailure() << "no page " << file;
  if (!place.empty() && qmx::test::ReadFile(path).find("<a name=\"" + place + "\">") == std::string::npos)
    return ::testing::AssertionFailure() << file << " has no place " << place;
  return ::testing::AssertionSuccess();
}

TEST(HelpPages, EveryMenuCommandHasItsPage) {
  const std::string menu = qmx::test::ReadFile(qmx::test::SourcePath("resources/QMX410Tools/ui/menu128.xml"));
  const std::regex item(R"re(<Item id="(\d+)")re");
  int commands = 0;
  for (auto it = std::sregex_iterator(menu.begin(), menu.end(), item); it != std::sregex_iterator(); ++it) {
    const int id = std::stoi((*it)[1]);
    const std::string page = CommandHelpPage(id);
    EXPECT_FALSE(page.empty()) << "command " << id;
    if (!page.empty()) {
      EXPECT_TRUE(PageExists(page)) << "command " << id;
    }
    ++commands;
  }
  EXPECT_GE(commands, 40);
  // The recent files, which the menu file does not list.
  for (int id : {qmx::toolkit::kRecentFileFirstId, qmx::toolkit::kRecentFileFirstId + 3})
    EXPECT_TRUE(PageExists(CommandHelpPage(id))) << id;
  EXPECT_EQ(CommandHelpPage(1), "");
}

TEST(HelpPages, EveryWindowHasItsPageWithOrWithoutItsNamespace) {
  for (const std::string& name : HelpWindowClasses()) EXPECT_TRUE(PageExists(WindowHelpPage(name))) << name;
  EXPECT_EQ(WindowHelpPage("qmx::dialogs::CAddNaDlg"), WindowHelpPage("CAddNaDlg"));
  EXPECT_EQ(WindowHelpPage("QMessageBox"), "");
}

// Every link between the pages leads somewhere, and every page can be reached
// from the contents.
TEST(HelpPages, LinksLeadToPagesAndPlacesThatExist) {
  const std::regex link(R"re(href="([^"]+)")re");
  std::set<std::string> linked;
  for (const auto& entry : fs::directory_iterator(kHelpSource)) {
    const std::string text = qmx::test::ReadFile(entry.path());
    for (auto it = std::sregex_iterator(text.begin(), text.end(), link); it != std::sregex_iterator(); ++it) {
      std::string target = (*it)[1];
      if (target.rfind("http", 0) == 0) continue;
      if (target[0] == '#') target = entry.path().filename().string() + target;
      EXPECT_TRUE(PageExists(target)) << entry.path().filename() << " -> " << target;
      linked.insert(Unescape(SplitPage(target).first));
    }
  }
  for (const auto& entry : fs::directory_iterator(kHelpSource))
    EXPECT_TRUE(linked.count(entry.path().filename().string())) << entry.path().filename() << " is never linked";
}

class HelpKey : public qmx::test::ProgramServicesTest {
protected:
  void SetUp() override {
    ProgramServicesTest::SetUp();
    programDir = qmx::test::UseProgramCopy(dir.path());
    qmx::test::RecordMessageBoxes(boxes, nullptr);
    app = std::make_unique<CFerrowynApp>();
    ASSERT_TRUE(app->InitInstance({(programDir / "QMX410Tools").string()}));
    frame = app->mainFrame();
    ASSERT_EQ(frame->OpenProject((programDir / "Projects" / "ModbusTCP_Station.KPX").string()), 1);
    frame->resize(1180, 760);
    frame->show();
    frame->activateWindow();
    QApplication::processEvents();
  }
  void TearDown() override {
    if (app) {
      for (const auto& p : frame->workspace().Projects()) p->modified = 0;
      app->ExitInstance();
    }
    app.reset();
    ProgramServicesTest::TearDown();
  }

  // F1 pressed while `target` holds the keyboard, delivered as the window
  // system delivers it: to the window, which hands it on to the widget
  // (never to the widget directly); the page the help window shows then.
  std::string PressF1(QWidget* target) {
    QWindow* window = target->window()->windowHandle();
    if (!window) return "(no window)";
    QTest::keyClick(window, Qt::Key_F1);
    QApplication::processEvents();
    CHelpWindow* help = frame->helpWindow();
    if (!help || !help->isVisible()) return "(no help window)";
    std::string page = fs::path(help->currentFile()).filename().string();
    const QString place = help->browser()->source().fragment();
    if (!place.isEmpty()) page += "#" + place.toStdString();
    return page;
  }

  qmx::test::TempDir dir{"qmx-help"};
  fs::path programDir;
  std::unique_ptr<CFerrowynApp> app;
  CMainFrame* frame = nullptr;
  std::vector<std::string> boxes;
};

TEST_F(HelpKey, OpensThePageOfTheSelectionInTheMainWindow) {
  ProjectWorkspace& ws = frame->workspace();
  CProjectUsr* project = ws.Projects().front().get();
  QWidget* tree = frame->GetPrjTreeCtrl();
  tree->setFocus();
  ws.tree().SelectItem(project->treeItem);
  EXPECT_EQ(PressF1(tree), "Projects.htm");
  const TreeItem adapterItem = ws.tree().Children(project->treeItem).front();
  ws.tree().SelectItem(adapterItem);
  EXPECT_EQ(PressF1(tree), "QMX-4101.htm");
  ws.tree().SelectItem(ws.tree().Children(adapterItem).at(2));
  EXPECT_EQ(PressF1(tree), "QMX-3404.htm");
  EXPECT_TRUE(frame->helpWindow()->grab().save(QMX_TEST_OUTPUT_DIR "/help_product.png"));

  // The catalogue window's product, the log window.
  qmx::toolkit::ToolBox* box = frame->toolBoxBar()->toolBox();
  box->OpenFolder(3);
  auto* products = box->currentWidget()->findChild<QListWidget*>();
  if (!products) products = qobject_cast<QListWidget*>(box->currentWidget());
  ASSERT_NE(products, nullptr);
  products->setFocus();
  products->setCurrentRow(1);
  EXPECT_EQ(PressF1(products), products->currentItem()->text().toStdString() + ".htm");
  QWidget* log = frame->outputBar()->list(COutputBar::kListAll);
  log->setFocus();
  EXPECT_EQ(PressF1(log), "LogWindow.htm");
  // Floating, the log is a window of its own and still the log.
  frame->outputBar()->setFloating(true);
  frame->outputBar()->activateWindow();
  QApplication::processEvents();
  log->setFocus();
  EXPECT_EQ(PressF1(log), "LogWindow.htm");
  frame->outputBar()->setFloating(false);
  frame->activateWindow();

  // The menu entry Help on Selection does what F1 does.
  tree->setFocus();
  frame->SendCommand(kIdHelpFinder);
  EXPECT_EQ(fs::path(frame->helpWindow()->currentFile()).filename(), "QMX-3404.htm");

  // The contents, as Help > QMX-410 Tools shows them.
  frame->SendCommand(kIdHelpTopics);
  QApplication::processEvents();
  EXPECT_TRUE(frame->helpWindow()->grab().save(QMX_TEST_OUTPUT_DIR "/help_contents.png"));
}

TEST_F(HelpKey, OpensThePageOfTheHighlightedMenuEntry) {
  frame->workspace().tree().SelectItem(frame->workspace().Projects().front()->treeItem);
  frame->UpdateCommandUI();
  QMenu* online = frame->MenuPopup(3);
  ASSERT_NE(online, nullptr);
  online->popup(frame->mapToGlobal(QPoint(100, 30)));
  QApplication::processEvents();
  online->setActiveAction(frame->CommandAction(kIdOnlineScan));
  EXPECT_EQ(PressF1(online), "Scan.htm");
  // Download is offered with a station selected and the Parameter tab open.
  online->close();
  ProjectTree& tree = frame->workspace().tree();
  tree.SelectItem(tree.Children(frame->workspace().Projects().front()->treeItem).front());
  frame->GetTabView("HelpTest", 0)->SetActiveTab(3);
  frame->UpdateCommandUI();
  online->popup(frame->mapToGlobal(QPoint(100, 30)));
  QApplication::processEvents();
  ASSERT_TRUE(frame->CommandAction(kIdOnlineDownload)->isEnabled());
  online->setActiveAction(frame->CommandAction(kIdOnlineDownload));
  EXPECT_EQ(PressF1(online), "Transfers.htm#download");
  EXPECT_FALSE(frame->helpWindow()->browser()->toPlainText().isEmpty());
  EXPECT_TRUE(frame->helpWindow()->grab().save(QMX_TEST_OUTPUT_DIR "/help_transfers.png"));
  online->close();
}

TEST_F(HelpKey, OpensThePageOfTheDialogOfTheProgramAndOfTheDriver) {
  frame->workspace().tree().SelectItem(frame->workspace().Projects().front()->treeItem);
  std::string addNa, messenger;
  QWidget* helpParent = nullptr;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(qobject_cast<qmx::dialogs::CAddNaDlg*>(dialog), nullptr);
    addNa = PressF1(dialog->focusWidget() ? dialog->focusWidget() : dialog);
    helpParent = frame->helpWindow()->parentWidget();
    dialog->close();
  });
  frame->SendCommand(kIdEditAddNa);
  EXPECT_EQ(addNa, "Editing.htm#add-adapter");
  EXPECT_NE(helpParent, frame);  // lent to the dialog, so that it takes input there

  // The messenger is a window of the driver library.
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    messenger = PressF1(dialog);
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
      if (b->text() == "Exit") QTest::mouseClick(b, Qt::LeftButton);
  });
  frame->SendCommand(kIdToolsModbusMessenger);
  EXPECT_EQ(messenger, "Messenger.htm");
  EXPECT_EQ(frame->helpWindow()->parentWidget(), frame);
}

}  // namespace
