// Start-up and shutdown of the main program, in-process on the offscreen
// platform, from a private copy of the staged program folder.
#include "app/frame/AboutDlg.h"
#include "app/frame/FerrowynApp.h"
#include "app/frame/FerrowynView.h"
#include "app/frame/MainFrame.h"
#include "app/frame/OutputBar.h"
#include "app/frame/rules/CommandRules.h"
#include "app/model/Logging.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectUsr.h"
#include "app/model/Services.h"
#include "app/ui/views/StartUpView.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"
#include "platform/toolkit/toolbar_pictures.h"
#include "tests/support/access_audit.h"
#include "tests/support/box_script.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

namespace fs = std::filesystem;
using qmx::test::TempDir;

namespace {

class StartupTest : public qmx::test::ProgramServicesTest {
protected:
  void SetUp() override {
    ProgramServicesTest::SetUp();
    dir_ = std::make_unique<TempDir>("qmx-startup");
    programDir_ = qmx::test::UseProgramCopy(dir_->path());
    boxes_.Install();  // the reset above took the boxes back
    qmx::SetClosingFlag(0);
  }
  void TearDown() override {
    app_.reset();
    qmx::SetLogTarget(nullptr);
    ProgramServicesTest::TearDown();
  }

  bool Start() {
    app_ = std::make_unique<CFerrowynApp>();
    const bool ok = app_->InitInstance({(programDir_ / "QMX410Tools").string()});
    QCoreApplication::processEvents();
    return ok;
  }

  std::vector<std::string> LogLines() {
    QCoreApplication::processEvents();
    std::vector<std::string> lines;
    if (auto* frame = app_ ? app_->mainFrame() : nullptr) {
      QTreeWidget* all = frame->outputBar()->list(COutputBar::kListAll);
      for (int i = 0; i < all->topLevelItemCount(); ++i) {
        std::string line;
        for (int c = 0; c < all->columnCount(); ++c) line += all->topLevelItem(i)->text(c).toStdString() + " | ";
        lines.push_back(line);
      }
    }
    return lines;
  }

  std::unique_ptr<TempDir> dir_;
  fs::path programDir_;
  qmx::test::BoxScript boxes_;
  std::unique_ptr<CFerrowynApp> app_;
};

TEST_F(StartupTest, FrameHasItsBarsCombosAndLogoPane) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = app_->mainFrame();
  ASSERT_NE(frame, nullptr);

  struct Expected {
    int id;
    const char* title;
    Qt::DockWidgetArea area;
  };
  using namespace qmx::commands;
  for (const Expected& e : {Expected{kIdViewLogBar, "Log Message", Qt::BottomDockWidgetArea},
                            Expected{kIdViewProjectBar, "Project Window", Qt::LeftDockWidgetArea},
                            Expected{kIdViewToolBoxBar, "NA & IO List", Qt::RightDockWidgetArea}}) {
    auto* dock = qobject_cast<QDockWidget*>(frame->Bar(e.id));
    ASSERT_NE(dock, nullptr) << e.id;
    EXPECT_EQ(dock->windowTitle().toStdString(), e.title);
    EXPECT_EQ(frame->dockWidgetArea(dock), e.area);
  }
  // The View menu's bar entries are answered by the window: each names a bar.
  EXPECT_EQ(frame->Bar(kIdViewToolBar), frame->toolBar());
  EXPECT_EQ(frame->Bar(kIdViewStatusBar), frame->statusBar());
  for (int id : kBarIds) EXPECT_NE(frame->Bar(id), nullptr) << id;

  QComboBox* view = frame->viewModeCombo();
  QComboBox* value = frame->valueModeCombo();
  ASSERT_TRUE(view && value);
  EXPECT_EQ(view->count(), 3);
  EXPECT_EQ(view->itemText(0), "User View");
  EXPECT_EQ(view->itemText(1), "Product View");
  EXPECT_EQ(view->itemText(2), "Product, Desc View");
  EXPECT_EQ(value->count(), 3);
  EXPECT_EQ(value->itemText(0), "Analog Normal Value");
  EXPECT_EQ(value->itemText(1), "Analog Raw Value (Dec)");
  EXPECT_EQ(value->itemText(2), "Analog Raw Value (Hex)");
  EXPECT_EQ(value->currentIndex(), 0);

  auto* logo = frame->findChild<QLabel*>();
  bool foundLogo = false;
  for (QLabel* label : frame->statusBar()->findChildren<QLabel*>())
    if (label->text() == "Kestun Automation") foundLogo = true;
  (void)logo;
  EXPECT_TRUE(foundLogo);

  // The menu bar came from the menu resource.
  QStringList menus;
  for (QAction* a : frame->menuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus, QStringList({"&File", "&Edit", "&View", "&Online", "&Tools", "&Help"}));
  EXPECT_NE(frame->CommandAction(kIdAppAbout), nullptr);
}

// Every toolbar button shows its drawn copies (both sizes are in the
// program), and draws as the style's picture kept at the toolbar's size for
// normal and double density did, pixel for pixel, on the screens there are
// (the pictures at double density only when a screen is that dense).
TEST_F(StartupTest, ToolbarButtonsShowTheStylesPicturesFromTheirCopies) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = app_->mainFrame();
  const QSize size = frame->toolBar()->iconSize();
  const QString resource = ":/QMX410Tools/ui/toolbar128.xml";
  QFile file(resource);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  int buttons = 0;
  for (QXmlStreamReader xml(&file); !xml.atEnd();) {
    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("Button")) continue;
    const int id = xml.attributes().value("id").toInt();
    const QString name = xml.attributes().value("icon").toString();
    // The toolbar's own button for the command: its action carries the id.
    QAction* button = nullptr;
    for (QAction* a : frame->toolBar()->actions())
      if (a->data().toInt() == id) button = a;
    ASSERT_NE(button, nullptr) << id;
    const QIcon full = QApplication::style()->standardIcon(*qmx::toolkit::StandardPixmapOf(name));
    QIcon style;
    for (const int density : {1, 2}) style.addPixmap(full.pixmap(size, density));
    for (const int density : {1, 2}) {
      const QString copy = qmx::toolkit::ToolBarPictureFile(qmx::toolkit::ToolBarPictureFolder(resource),
                                                            qmx::toolkit::PictureFileStem(name), size.width() * density);
      EXPECT_TRUE(QFile::exists(copy)) << copy.toStdString();
    }
    for (int density = 1; density <= qmx::toolkit::ToolBarIcons::ScreenDensity(); ++density) {
      EXPECT_EQ(button->icon().pixmap(size, density).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                style.pixmap(size, density).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied))
          << name.toStdString() << " x" << density;
    }
    ++buttons;
  }
  EXPECT_EQ(buttons, 18);
}

TEST_F(StartupTest, BannerComesFromTheVersionBlockOfTheProgramFile) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = app_->mainFrame();
  const QString title = frame->windowTitle();
  EXPECT_TRUE(title.startsWith("QMX-410 Tools [Version:1.0.0.")) << title.toStdString();
  EXPECT_TRUE(title.contains(". Build:")) << title.toStdString();
  EXPECT_FALSE(frame->versionText().empty());
  EXPECT_EQ(frame->versionText().find(' '), std::string::npos);
  EXPECT_EQ(frame->versionText().find(','), std::string::npos);

  bool started = false;
  for (const auto& line : LogLines())
    if (line.find("QMX-410 Tools is started. ProductVerson: 1.0.0.") != std::string::npos) started = true;
  EXPECT_TRUE(started);
}

// The program itself draws its window first and reads the catalogue after:
// the first frame comes before any catalogue file is read, the banner is
// already in it, and a command given meanwhile (here Open, whose project
// needs the adapter and module definitions) waits for the catalogue, as
// does the project named on the command line.
TEST_F(StartupTest, WithTheFrameDrawnFirstTheCatalogueFollowsTheFirstFrame) {
  const fs::path project = programDir_ / "Projects" / "ModbusTCP_Station.KPX";
  const fs::path other = programDir_ / "Projects" / "RS485_Line.KPX";
  const auto realDialog = CMainFrame::s_projectFileDialog;
  CMainFrame::s_projectFileDialog = [&](QWidget*, bool, const std::string&, const std::string&) {
    return other.string();
  };
  struct FirstPaint : QObject {
    CMainFrame* frame = nullptr;
    bool seen = false, catalogueRead = false, dataViews = false;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint && !seen) {
        seen = true;
        catalogueRead = !frame->loadedFiles().empty();
        dataViews = frame->tabView()->childView(kViewComment) != nullptr;
      }
      return false;
    }
  } firstPaint;

  app_ = std::make_unique<CFerrowynApp>();
  app_->SetFrameDrawnFirst(true);
  ASSERT_TRUE(app_->InitInstance({(programDir_ / "QMX410Tools").string(), project.string()}));
  CMainFrame* frame = app_->mainFrame();
  firstPaint.frame = frame;
  frame->installEventFilter(&firstPaint);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(frame->windowTitle().startsWith("QMX-410 Tools [Version:"));
  EXPECT_FALSE(frame->startUpFinished());
  EXPECT_TRUE(frame->loadedFiles().empty());
  frame->SendCommand(qmx::commands::kIdFileOpen);
  EXPECT_TRUE(frame->workspace().Projects().empty());

  EXPECT_TRUE(QTest::qWaitFor([&] { return frame->startUpFinished(); }, 5000));
  CMainFrame::s_projectFileDialog = realDialog;
  EXPECT_TRUE(firstPaint.seen);
  EXPECT_FALSE(firstPaint.catalogueRead);
  EXPECT_FALSE(firstPaint.dataViews);
  // The hidden tabs' views came after the first frame, each in its tab.
  CFerrowynView* host = frame->tabView();
  ASSERT_NE(host, nullptr);
  ASSERT_EQ(host->tabCtrl()->count(), 6);
  for (int i = 0; i < 6; ++i) {
    ASSERT_NE(host->childView(i), nullptr) << i;
    EXPECT_EQ(host->tabCtrl()->widget(i), host->childView(i)) << i;
  }
  EXPECT_EQ(host->tabCtrl()->tabText(kViewComment), "Comment");
  EXPECT_EQ(host->GetActiveViewType(), kViewStartUp);
  EXPECT_EQ(frame->loadedFiles().size(), 5u);
  // The command line's project first, then the one the held command opened,
  // each with its stations.
  const auto& projects = frame->workspace().Projects();
  ASSERT_EQ(projects.size(), 2u);
  EXPECT_EQ(projects[0]->GetName(), "ModbusTCP_Station");
  EXPECT_EQ(projects[1]->GetName(), "RS485_Line");
  for (const auto& p : projects) EXPECT_FALSE(p->Adapters().empty()) << p->GetName();
  std::vector<std::string> order;  // oldest first; the window shows the newest line on top
  const std::vector<std::string> lines = LogLines();
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    // Messages that begin so (a driver's loaded line also quotes its version text).
    for (const char* step : {"| QMX-410 Tools is started.", "| Open project is completed."})
      if (line->find(step) != std::string::npos) order.push_back(step + 2);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"QMX-410 Tools is started.", "Open project is completed.",
                                             "Open project is completed."}));
}

// The toolbar's buttons and the start page's links show their commands'
// states from the first time they are drawn: a later update of the states
// changes none of them, which would draw them again.
TEST_F(StartupTest, ToolbarAndStartPageLinksAreDrawnWithTheirCommandsStates) {
  using namespace qmx::commands;
  struct AtShow : QObject {
    std::map<QAction*, bool> enabled;
    bool eventFilter(QObject* watched, QEvent* event) override {
      auto* frame = qobject_cast<CMainFrame*>(watched);
      if (frame && event->type() == QEvent::Show && enabled.empty()) {
        for (QAction* a : frame->toolBar()->actions())
          if (!a->isSeparator() && a->data().toInt() > 0) enabled[a] = a->isEnabled();
      }
      return false;
    }
  } atShow;
  qApp->installEventFilter(&atShow);
  app_ = std::make_unique<CFerrowynApp>();
  app_->SetFrameDrawnFirst(true);
  const bool started = app_->InitInstance({(programDir_ / "QMX410Tools").string()});
  qApp->removeEventFilter(&atShow);
  ASSERT_TRUE(started);
  CMainFrame* frame = app_->mainFrame();
  // Only the updates start-up makes itself: the periodic one is stopped.
  for (QTimer* timer : frame->findChildren<QTimer*>(Qt::FindDirectChildrenOnly))
    if (timer->interval() == 250) timer->stop();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frame->startUpFinished(); }, 5000));
  auto* start = dynamic_cast<CStartUpView*>(frame->tabView()->childView(kViewStartUp));
  ASSERT_NE(start, nullptr);
  std::map<int, bool> links;
  for (const int id : {kIdFileNew, kIdFileOpen, kIdOnlineScan, kIdToolsBootp, kIdHelpTopics,
                       kIdOptionsConfiguration, kIdToolsModbusMessenger})
    links[id] = start->IsCommandLinkEnabled(id);

  frame->UpdateCommandUI();
  ASSERT_FALSE(atShow.enabled.empty());
  int disabled = 0;
  for (const auto& [action, enabled] : atShow.enabled) {
    EXPECT_EQ(action->isEnabled(), enabled) << action->text().toStdString();
    disabled += enabled ? 0 : 1;
  }
  EXPECT_GT(disabled, 0);  // no project: Save, Delete and others are off
  for (const auto& [id, enabled] : links) EXPECT_EQ(start->IsCommandLinkEnabled(id), enabled) << id;
  EXPECT_FALSE(links[kIdOnlineScan]);
}

TEST_F(StartupTest, RenamedProgramFileLeavesTheTitleAndLogsNoBanner) {
  fs::rename(programDir_ / "QMX410Tools", programDir_ / "Renamed");
  ASSERT_TRUE(Start());
  EXPECT_EQ(app_->mainFrame()->windowTitle(), "QMX-410 Tools");
  for (const auto& line : LogLines()) EXPECT_EQ(line.find("is started."), std::string::npos) << line;
}

TEST_F(StartupTest, SecondInstanceIsRefusedAndTheFirstKeepsItsLock) {
  qmx::os::NamedMutex first;
  ASSERT_EQ(first.Create("Ferrowyn.exe"), 1);
  EXPECT_FALSE(Start());
  EXPECT_EQ(app_->mainFrame(), nullptr);
  ASSERT_EQ(boxes_.seen.size(), 1u);
  EXPECT_EQ(boxes_.seen[0].text, "Ferrowyn.exe has been executed already.");
  EXPECT_EQ(app_->exitCode(), 0);
  EXPECT_TRUE(first.held());
  // The first one still holds the lock: a third try is refused as well.
  qmx::os::NamedMutex third;
  EXPECT_EQ(third.Create("Ferrowyn.exe"), 0);
}

TEST_F(StartupTest, UnusableLockFolderIsAnErrorNotASecondInstance) {
  const fs::path plain = dir_->path() / "plain-file";
  qmx::test::WriteFile(plain, "x");
  for (const fs::path& folder : {plain, dir_->path() / "missing"}) {
    setenv("QMX_LOCK_DIR", folder.c_str(), 1);
    boxes_.seen.clear();
    EXPECT_FALSE(Start()) << folder;
    EXPECT_EQ(app_->mainFrame(), nullptr);
    EXPECT_NE(app_->exitCode(), 0);
    ASSERT_EQ(boxes_.seen.size(), 1u);
    EXPECT_EQ(boxes_.seen[0].text.find("executed already"), std::string::npos) << boxes_.seen[0].text;
    EXPECT_NE(boxes_.seen[0].text.find("lock folder " + folder.string() + " must exist"), std::string::npos)
        << boxes_.seen[0].text;
  }
}

TEST_F(StartupTest, MissingErrorListStopsTheChainButTheWindowOpens) {
  fs::remove(programDir_ / "Products" / "listErrorEng.xml");
  ASSERT_TRUE(Start());
  CMainFrame* frame = app_->mainFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->isVisible());
  const auto& files = frame->loadedFiles();
  ASSERT_EQ(files.size(), 3u);  // settings, text ids, errors: nothing after
  EXPECT_NE(files[2].find("listErrorEng.xml"), std::string::npos);
  EXPECT_FALSE(frame->textIds().empty());
  EXPECT_TRUE(frame->errors().empty());
  EXPECT_TRUE(frame->naCatalogue().definitions.empty());  // the chain stopped before the adapters
  EXPECT_TRUE(frame->ioCatalogue().definitions().empty());  // and before the modules
  EXPECT_EQ(frame->ParseXmlsAndAssignDatas(), 0);
  bool logged = false;
  for (const auto& line : LogLines())
    if (line.find("[Error Code: -1027]") != std::string::npos && line.find("listErrorEng.xml") != std::string::npos)
      logged = true;
  EXPECT_TRUE(logged);
}

TEST_F(StartupTest, WholeChainReadsWithTheLanguageSuffix) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = app_->mainFrame();
  const auto& files = frame->loadedFiles();
  ASSERT_EQ(files.size(), 5u);
  EXPECT_NE(files[0].find("QMX410Tools.xml"), std::string::npos);
  EXPECT_NE(files[1].find("Products/listTextIdEng.xml"), std::string::npos);
  EXPECT_NE(files[2].find("Products/listErrorEng.xml"), std::string::npos);
  EXPECT_NE(files[3].find("Products/listNA.xml"), std::string::npos);
  EXPECT_NE(files[4].find("Products/listIO.xml"), std::string::npos);
  EXPECT_FALSE(frame->errors().empty());
  EXPECT_FALSE(frame->naCatalogue().definitions.empty());
  // The module catalogue loaded: groups with their registered definitions.
  EXPECT_FALSE(frame->ioCatalogue().groups.empty());
  EXPECT_FALSE(frame->ioCatalogue().definitions().empty());
  EXPECT_NE(frame->ioCatalogue().FindByID("QMX-1808"), nullptr);
  // The shipped data loads without a single error line.
  QCoreApplication::processEvents();
  QTreeWidget* errorsTab = frame->outputBar()->list(COutputBar::kListError);
  for (int i = 0; i < errorsTab->topLevelItemCount(); ++i)
    ADD_FAILURE() << errorsTab->topLevelItem(i)->text(errorsTab->columnCount() - 1).toStdString();
  // The start page tab carries the settings' title.
  EXPECT_EQ(frame->tabView()->tabCtrl()->tabText(0).toStdString(), frame->options().StartUpTitle);
  EXPECT_EQ(frame->tabView()->ActiveTab(), 0);
}

TEST_F(StartupTest, ASettingsFileCutShortGivesWayToItsBackupAndTheCatalogueLoads) {
  const fs::path settings = programDir_ / "QMX410Tools.xml";
  fs::copy_file(settings, programDir_ / "QMX410Tools.xml.bak");
  qmx::test::WriteFile(settings, "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<Ferrowyn Copyright=\"");
  ASSERT_TRUE(Start());
  CMainFrame* frame = app_->mainFrame();
  EXPECT_EQ(frame->loadedFiles().size(), 5u);
  EXPECT_FALSE(frame->naCatalogue().definitions.empty());
  EXPECT_NE(frame->ioCatalogue().FindByID("QMX-1808"), nullptr);
  EXPECT_TRUE(boxes_.seen.empty());
  int said = 0;
  for (const auto& line : LogLines()) {
    said += line.find("The settings file " + settings.string() + " cannot be read") != std::string::npos &&
            line.find("Its backup " + settings.string() + ".bak is read instead and written back to the settings "
                      "file.") != std::string::npos;
    EXPECT_EQ(line.find("[Error Code: -1027]"), std::string::npos) << line;
  }
  EXPECT_EQ(said, 1);
  // The settings no longer rest on the backup alone.
  EXPECT_EQ(qmx::test::ReadFile(settings), qmx::test::ReadFile(programDir_ / "QMX410Tools.xml.bak"));
}

TEST_F(StartupTest, NoXmlParserGivesTheMessageAndCode) {
  CMainFrame::s_xmlParserAvailable = false;
  ASSERT_TRUE(Start());
  CMainFrame::s_xmlParserAvailable = true;
  EXPECT_TRUE(boxes_.Saw("Cannot create XML Parser. Please install xml parser. Error Code: -6000"));
  EXPECT_TRUE(app_->mainFrame()->loadedFiles().empty());
}

TEST_F(StartupTest, MissingMenuResourceStopsCreationWithItsCode) {
  const QString saved = CMainFrame::s_menuResource;
  CMainFrame::s_menuResource = ":/no/such/menu.xml";
  EXPECT_FALSE(Start());
  CMainFrame::s_menuResource = saved;
  ASSERT_EQ(boxes_.seen.size(), 1u);
  EXPECT_EQ(boxes_.seen[0].text, "Failed to create menubar because of resource lack. Error Code: -5001");
}

TEST_F(StartupTest, NormalCloseEmptiesTmpAndKeepsTheFolder) {
  ASSERT_TRUE(Start());
  const fs::path tmp = programDir_ / "~tmp";
  ASSERT_TRUE(fs::is_directory(tmp));
  qmx::test::WriteFile(tmp / "doc.xml", "<x/>");
  qmx::test::WriteFile(tmp / "_00.bmp", "BM");
  CMainFrame* frame = app_->mainFrame();
  frame->close();
  QCoreApplication::processEvents();
  EXPECT_TRUE(boxes_.Saw("Terminate application?"));
  EXPECT_FALSE(frame->isVisible());
  EXPECT_TRUE(fs::is_directory(tmp));
  EXPECT_TRUE(fs::is_empty(tmp));
  EXPECT_EQ(qmx::GetClosingFlag(), 1);
}

TEST_F(StartupTest, AnsweringNoKeepsTheWindow) {
  ASSERT_TRUE(Start());
  boxes_.answers = {qmx::toolkit::kIdNo};
  CMainFrame* frame = app_->mainFrame();
  frame->close();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(qmx::GetClosingFlag(), 0);
}

TEST_F(StartupTest, CloseIsRefusedWhileAProjectMonitors) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = app_->mainFrame();
  CProjectUsr* project = frame->CreateProject("P1", dir_->path().string());
  project->modified = 1;
  project->monitoring = 1;
  frame->close();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(boxes_.Saw("Some projects are monitoring. Please, terminate application after stop monitoring."));
  EXPECT_FALSE(boxes_.Saw("Terminate application?"));
  EXPECT_FALSE(boxes_.Saw("P1 project is modified. Do you want to save?"));
  EXPECT_EQ(frame->workspace().Projects().size(), 1u);
  project->monitoring = 0;
}

TEST_F(StartupTest, CancelAtTheSecondProjectLeavesTheFirstClosed) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = app_->mainFrame();
  frame->CreateProject("P1", dir_->path().string())->modified = 1;
  // P2's file cannot be written: its folder does not exist.
  frame->CreateProject("P2", (dir_->path() / "missing").string())->modified = 1;
  // Terminate: Yes; P1 save: No; P2 save: Yes, the failure's box, close anyway: No.
  boxes_.answers = {qmx::toolkit::kIdYes, qmx::toolkit::kIdNo, qmx::toolkit::kIdYes, qmx::toolkit::kIdOk,
                    qmx::toolkit::kIdNo};
  frame->close();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_TRUE(boxes_.Saw("P1 project is modified. Do you want to save?"));
  EXPECT_TRUE(boxes_.Saw("P2 project is modified. Do you want to close it?"));
  // The closed project left the list with its item; the kept one is whole.
  const ProjectWorkspace& ws = frame->workspace();
  ASSERT_EQ(ws.Projects().size(), 1u);
  EXPECT_EQ(ws.Projects()[0]->GetName(), "P2");
  EXPECT_EQ(ws.tree().Children(kNoTreeItem), std::vector<TreeItem>{ws.Projects()[0]->treeItem});
  EXPECT_FALSE(fs::exists(dir_->path() / "P1.KPX"));
  EXPECT_EQ(qmx::GetClosingFlag(), 0);
  // Logging works again after the cancelled close.
  PostLog(qmx::kLogGeneral, qmx::kLogSource, "after cancel");
  bool seen = false;
  for (const auto& line : LogLines())
    if (line.find("after cancel") != std::string::npos) seen = true;
  EXPECT_TRUE(seen);
}

TEST_F(StartupTest, LogWindowTakesSwitchesTheConfigurationChangedAfterStartUp) {
  ASSERT_TRUE(Start());
  app_->mainFrame()->options().WndEnable[qmx::kSwitchDeveloper] = 1;
  PostLog(qmx::kLogDeveloper, "Src", "after the change");
  QCoreApplication::processEvents();
  EXPECT_EQ(app_->mainFrame()->outputBar()->list(COutputBar::kListDeveloper)->topLevelItemCount(), 1);
}

TEST_F(StartupTest, AboutDialogShowsVersionAndNotice) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = app_->mainFrame();
  CAboutDlg dlg(frame, frame->versionText(), frame->noticeText());
  EXPECT_EQ(dlg.versionText().toStdString(), "QMX-410 Tools Version " + frame->versionText());
  EXPECT_EQ(dlg.noticeText().toStdString(), frame->noticeText());
  dlg.show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(dlg.grab().save(QString::fromStdString((qmx::test::DistDir().parent_path() / "frame_about.png").string())));
  EXPECT_EQ(qmx::test::AuditAccess(&dlg), std::vector<std::string>{});
}

}  // namespace

// The frame fills the program services at start-up from the folder it runs in
// and its catalogue, and takes back what points into it before it goes, so
// nothing reaches a destroyed frame.
TEST_F(StartupTest, TheFrameFillsTheProgramServicesAndTakesThemBack) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = app_->mainFrame();
  ASSERT_NE(frame, nullptr);
  qmx::ProgramServices& services = qmx::Services();
  EXPECT_EQ(qmx::Paths().appDir, programDir_.string());
  ASSERT_TRUE(services.options && services.viewMode && services.fileVersionText && services.multiDropDriverFile);
  EXPECT_EQ(services.options(), &frame->options());
  EXPECT_EQ(services.viewMode(), frame->namingMode());
  EXPECT_NE(services.fileVersionText((programDir_ / "Tessivar.so").string()), "");

  // The shared driver of a multi-drop line comes from the adapter catalogue.
  int code = 0;
  EXPECT_EQ(services.multiDropDriverFile("RS485", code), "Tessivar.dll");
  EXPECT_EQ(code, 4);
  EXPECT_EQ(services.multiDropDriverFile("RS422", code), "Tessivar.dll");
  EXPECT_EQ(code, 3);
  EXPECT_EQ(services.multiDropDriverFile("Offline", code), "");
  EXPECT_EQ(code, 5);

  // The model's boxes are the toolkit's.
  qmx::ShowBox("A box of the model", qmx::kBoxIconStop);
  EXPECT_TRUE(boxes_.Saw("A box of the model"));

  app_->ExitInstance();
  EXPECT_FALSE(services.options);
  EXPECT_FALSE(services.viewMode);
  EXPECT_FALSE(services.fileVersionText);
  EXPECT_FALSE(services.multiDropDriverFile);
}
