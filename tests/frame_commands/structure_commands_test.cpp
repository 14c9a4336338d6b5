// The structure commands, view modes and tool commands of the running program
// on a copy of the staged program folder and its shipped catalogue, each
// dialog driven by a script as a user would fill it. Writes pictures of the
// main window with its Edit menu open and of a help page into the build
// folder.
#include "app/frame/AutoScanDlg.h"
#include "app/frame/rules/CommandRules.h"
#include "app/frame/FerrowynApp.h"
#include "app/frame/FerrowynView.h"
#include "app/frame/HelpWindow.h"
#include "app/frame/MainFrame.h"
#include "app/frame/TabTreeCtrl.h"
#include "app/model/IOUsr.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ValueConversion.h"
#include "app/ui/dialogs/AddIoDlg.h"
#include "app/ui/dialogs/AddNaDlg.h"
#include "app/ui/dialogs/ProjectNewDlg.h"
#include "app/ui/dialogs/PropertiesDlg.h"
#include "app/ui/dialogs/RenameDlg.h"
#include "app/ui/dialogs/SerialCommSetDlg.h"
#include "app/ui/views/LabelCtrl.h"
#include "app/ui/views/StartUpView.h"
#include "platform/os/os.h"
#include "platform/toolkit/frame_wnd.h"
#include "platform/toolkit/message_box.h"
#include "tests/support/access_audit.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"
#include "widgets/grid/GridCtrl.h"
#include "widgets/grid/ListEditCtrl.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace {

namespace fs = std::filesystem;
using namespace qmx::commands;

void ClickButton(QWidget* dialog, const QString& caption) {
  for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
    if (b->text() == caption) {
      QTest::mouseClick(b, Qt::LeftButton);
      return;
    }
  }
  ADD_FAILURE() << "no button " << caption.toStdString();
}

class FrameCommands : public qmx::test::ProgramServicesTest {
protected:
  void SetUp() override {
    ProgramServicesTest::SetUp();
    programDir = qmx::test::UseProgramCopy(dir.path());
    qmx::test::RecordMessageBoxes(boxes, &answers);
    app = std::make_unique<CFerrowynApp>();
    ASSERT_TRUE(app->InitInstance({(programDir / "QMX410Tools").string()}));
    frame = app->mainFrame();
  }
  void TearDown() override {
    if (app) {
      // Nothing is left to save: the projects go without questions.
      for (const auto& p : frame->workspace().Projects()) p->modified = 0;
      app->ExitInstance();
    }
    app.reset();
    ProgramServicesTest::TearDown();
  }

  // Runs `open`, which shows a modal dialog (also from within another one);
  // the script gets the dialog once it is shown.
  template <typename Dialog>
  static void WhileShown(const std::function<void()>& open, const std::function<void(Dialog&)>& script) {
    int shown = 0;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      ++shown;
      script(*dialog);
    });
    open();
    EXPECT_EQ(shown, 1);
  }
  // Runs a command whose modal dialog the script fills.
  template <typename Dialog>
  void RunWithDialog(int id, const std::function<void(Dialog&)>& script) {
    SCOPED_TRACE(id);
    WhileShown<Dialog>([&] { frame->SendCommand(id); }, script);
  }
  // The serial settings dialog that `open` shows takes another baud rate.
  static void ChooseBaudRate(const std::function<void()>& open, const std::string& preset, const QString& baud) {
    WhileShown<qmx::dialogs::CSerialCommSetDlg>(open, [&](qmx::dialogs::CSerialCommSetDlg& d) {
      EXPECT_EQ(d.GetCommSetString(), preset);
      d.baudRateList()->setCurrentIndex(d.baudRateList()->findText(baud));
      ClickButton(&d, "OK");
    });
  }

  std::vector<std::string> Labels(TreeItem item) {
    std::vector<std::string> out;
    for (TreeItem child : frame->workspace().tree().Children(item)) {
      out.push_back(frame->workspace().tree().GetItemText(child));
    }
    return out;
  }
  // The tree's focus flag as focus changes set it.
  void FocusTree(bool in = true) {
    QFocusEvent event(in ? QEvent::FocusIn : QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(frame->GetPrjTreeCtrl(), &event);
  }
  bool Enabled(int id) {
    frame->UpdateCommandUI();
    return frame->CommandAction(id)->isEnabled();
  }
  QMenu* SubMenu(QMenu* menu, const QString& title) {
    for (QAction* a : menu->actions()) {
      if (a->menu() && a->text() == title) return a->menu();
    }
    return nullptr;
  }

  qmx::test::TempDir dir{"qmx-commands"};
  fs::path programDir;
  std::unique_ptr<CFerrowynApp> app;
  CMainFrame* frame = nullptr;
  std::vector<std::string> boxes;
  std::vector<bool> answers;
};

TEST_F(FrameCommands, StructureCommandsOnAShippedCatalogueProject) {
  ProjectWorkspace& ws = frame->workspace();
  ProjectTree& tree = ws.tree();

  // Nothing open: the sub-menus whose entries are all disabled follow them,
  // the start page's scan link is grey while New stays a link.
  QMenu* file = frame->MenuPopup(0);
  QMenu* docu = SubMenu(file, "&Documentation");
  ASSERT_NE(docu, nullptr);
  EXPECT_FALSE(Enabled(kIdFileDocuPrj));
  EXPECT_FALSE(docu->menuAction()->isEnabled());
  auto* start = dynamic_cast<CStartUpView*>(frame->tabView()->childView(kViewStartUp));
  ASSERT_NE(start, nullptr);
  EXPECT_TRUE(start->IsCommandLinkEnabled(kIdFileNew));
  EXPECT_FALSE(start->IsCommandLinkEnabled(kIdOnlineScan));

  // New project, in a folder that does not exist yet: made once the user
  // agrees, the dialog stays open while not.
  const fs::path folder = dir.path() / "work" / "plant";
  const std::string question =
      "The folder:\n\n" + folder.string() + "\n\ndoes not exist. Do you want the folder to be created?";
  boxes.clear();
  answers = {false, true};
  RunWithDialog<qmx::dialogs::CProjectNewDlg>(kIdFileNew, [&](qmx::dialogs::CProjectNewDlg& d) {
    d.nameEdit()->setText("  Plant  ");
    d.folderEdit()->setText(QString::fromStdString(folder.string()));
    d.busTypeCombo()->setCurrentIndex(d.busTypeCombo()->findText("TCP", Qt::MatchContains));
    ClickButton(&d, "OK");
    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(fs::exists(folder));
    ClickButton(&d, "OK");
  });
  EXPECT_EQ(boxes, (std::vector<std::string>{question, question}));
  EXPECT_TRUE(fs::is_directory(folder));
  ASSERT_EQ(ws.Projects().size(), 1u);
  CProjectUsr* project = ws.Projects().front().get();
  EXPECT_EQ(project->GetName(), "Plant");
  EXPECT_EQ(project->commTypeCode, kCommTcp);
  EXPECT_EQ(project->modified, 1);
  EXPECT_EQ(tree.GetSelectedItem(), project->treeItem);
  EXPECT_FALSE(fs::exists(folder / "Plant.KPX"));

  // Add Network Adapter, with a view open that shows the new selection: the
  // adapter is in its project before it is selected, so no box.
  project->modified = 0;
  boxes.clear();
  frame->tabView()->SetActiveTab(kViewImage);
  RunWithDialog<qmx::dialogs::CAddNaDlg>(kIdEditAddNa, [&](qmx::dialogs::CAddNaDlg& d) {
    ASSERT_GE(d.adapterList()->count(), 1);
    d.adapterList()->setCurrentRow(0);
    EXPECT_EQ(d.titleEdit()->text(), "QMX-4101");
    d.titleEdit()->setText("Line A");
    d.ipEdit()->setText("192.168.0.10");
    d.OnComplete();
  });
  EXPECT_EQ(boxes, std::vector<std::string>{});
  ASSERT_EQ(project->Adapters().size(), 1u);
  CNAUsr* adapter = project->Adapters().front();
  EXPECT_EQ(adapter->GetName(), "Line A");
  EXPECT_EQ(adapter->ipAddress, "192.168.0.10");
  EXPECT_EQ(adapter->posNo, 1);
  EXPECT_EQ(Labels(project->treeItem), std::vector<std::string>{"Line A (192.168.0.10)"});
  EXPECT_EQ(project->modified, 1);

  // Add Module: three modules of the catalogue in the dialog's order.
  project->modified = 0;
  tree.SelectItem(adapter->treeItem);
  RunWithDialog<qmx::dialogs::AddIoDlg>(kIdEditAddModule, [&](qmx::dialogs::AddIoDlg& d) {
    for (const char* id : {"QMX-1808", "QMX-3408", "QMX-2808"}) {
      const QString text = QString::fromStdString(frame->ioCatalogue().FindByID(id)->description);
      const auto found = d.catalogueTree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
      ASSERT_EQ(found.size(), 1) << id;
      d.catalogueTree()->setCurrentItem(found.front());
      d.OnBtnAdd();
    }
    d.OnComplete();
  });
  const std::vector<std::string> added = {"01: 8 DI 24 VDC", "02: 8 AI U/I configurable", "03: 8 DO 24 VDC 0.5 A"};
  EXPECT_EQ(Labels(adapter->treeItem), added);
  std::vector<CIOUsr*> modules;
  frame->CollectIOUsrs(adapter->treeItem, modules, 1);
  ASSERT_EQ(modules.size(), 3u);
  EXPECT_EQ(modules[1]->GetIODef()->ID, "QMX-3408");
  EXPECT_EQ(modules[1]->posNo, 2);
  EXPECT_EQ(modules[1]->treeItem, tree.Children(adapter->treeItem)[1]);
  EXPECT_EQ(project->modified, 1);
  EXPECT_EQ(ws.treeSelProcessing, 1);

  // Rename the second module: its position prefix stays.
  project->modified = 0;
  tree.SelectItem(modules[1]->treeItem);
  RunWithDialog<qmx::dialogs::CRenameDlg>(kIdEditRename, [&](qmx::dialogs::CRenameDlg& d) {
    d.nameEdit()->setText("Tank level");
    ClickButton(&d, "OK");
  });
  EXPECT_EQ(modules[1]->GetName(), "Tank level");
  EXPECT_EQ(Labels(adapter->treeItem)[1], "02: Tank level");
  EXPECT_EQ(project->modified, 1);

  // Move Up: it takes the first slot; Move Up again does nothing.
  project->modified = 0;
  FocusTree();
  EXPECT_TRUE(Enabled(kIdEditUp));
  frame->SendCommand(kIdEditUp);
  EXPECT_EQ(Labels(adapter->treeItem),
            (std::vector<std::string>{"01: Tank level", "02: 8 DI 24 VDC", "03: 8 DO 24 VDC 0.5 A"}));
  EXPECT_EQ(tree.GetItemData(tree.GetSelectedItem()), modules[1]);
  EXPECT_EQ(modules[1]->treeItem, tree.GetSelectedItem());
  EXPECT_EQ(project->modified, 1);
  frame->SendCommand(kIdEditUp);
  EXPECT_EQ(Labels(adapter->treeItem)[0], "01: Tank level");

  // Delete declined: nothing changes, and later selections refresh again.
  project->modified = 0;
  const TreeItem selected = tree.GetSelectedItem();
  answers = {false};
  boxes.clear();
  frame->SendCommand(kIdEditDelete);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Do you really want to delete 01: Tank level?");
  EXPECT_EQ(Labels(adapter->treeItem).size(), 3u);
  EXPECT_EQ(tree.GetSelectedItem(), selected);
  EXPECT_EQ(project->modified, 0);
  EXPECT_EQ(ws.treeSelProcessing, 1);

  // Delete accepted, from the module's picture in the image view: the next
  // module is selected and the rest renumbered.
  FocusTree(false);
  frame->show();
  frame->activateWindow();
  frame->tabView()->SetActiveTab(kViewImage);
  QApplication::processEvents();
  CBtnVexo* picture = nullptr;
  for (CBtnVexo* b : frame->tabView()->findChildren<CBtnVexo*>()) {
    if (b->GetModule() == modules[1]) picture = b;
  }
  ASSERT_NE(picture, nullptr);
  picture->setFocus();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::focusWidget(), picture);
  EXPECT_TRUE(Enabled(kIdEditDelete));
  frame->SendCommand(kIdEditDelete);
  EXPECT_EQ(Labels(adapter->treeItem), (std::vector<std::string>{"01: 8 DI 24 VDC", "02: 8 DO 24 VDC 0.5 A"}));
  EXPECT_EQ(tree.GetItemText(tree.GetSelectedItem()), "01: 8 DI 24 VDC");
  EXPECT_EQ(project->modified, 1);

  // Properties of the adapter: an address typed in the grid is stored as the
  // driver reads it, reaches the label and marks the project.
  project->modified = 0;
  tree.SelectItem(adapter->treeItem);
  RunWithDialog<qmx::dialogs::CPropertiesDlg>(kIdEditProperties, [&](qmx::dialogs::CPropertiesDlg& d) {
    qmx::grid::GridCtrl* grid = d.grid();
    qmx::grid::GridTreeItem* row = grid->FindItem("IP Address");
    ASSERT_NE(row, nullptr);
    grid->SetSelectedRow(grid->GetRowIndex(row));
    QTest::keyClick(grid, Qt::Key_Right);
    QTest::keyClick(grid, Qt::Key_Return);
    auto* editor = grid->viewport()->findChild<qmx::grid::ListEditCtrl*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, " 192.168.0.020 ");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(adapter->ipAddress, "192.168.0.20");
    QTest::mouseClick(d.okButton(), Qt::LeftButton);
  });
  EXPECT_EQ(Labels(project->treeItem), std::vector<std::string>{"Line A (192.168.0.20)"});
  EXPECT_EQ(project->modified, 1);

  // Naming mode: every label follows, and Rename is off outside User View.
  frame->viewModeCombo()->setCurrentIndex(1);
  emit frame->viewModeCombo()->activated(1);
  EXPECT_EQ(Labels(adapter->treeItem), (std::vector<std::string>{"01: QMX-1808", "02: QMX-2808"}));
  EXPECT_EQ(Labels(project->treeItem), std::vector<std::string>{"QMX-4101 (192.168.0.20)"});
  EXPECT_FALSE(Enabled(kIdEditRename));
  EXPECT_TRUE(docu->menuAction()->isEnabled());

  // Value mode: refused outside the process image, taken on it.
  frame->tabView()->SetActiveTab(kViewParameters);
  boxes.clear();
  frame->valueModeCombo()->setCurrentIndex(2);
  emit frame->valueModeCombo()->activated(2);
  EXPECT_EQ(boxes, std::vector<std::string>{"You can only change the value on 'Process Image' tab."});
  EXPECT_EQ(frame->valueModeCombo()->currentIndex(), 0);
  EXPECT_EQ(frame->valueMode(), 0);
  frame->tabView()->SetActiveTab(kViewProcessImage);
  frame->valueModeCombo()->setCurrentIndex(2);
  emit frame->valueModeCombo()->activated(2);
  EXPECT_EQ(frame->valueMode(), 2);
  EXPECT_EQ(GetAnalogValueMode(), 2);  // an edited "0x4000" is read as hex, not refused
  frame->valueModeCombo()->setCurrentIndex(0);
  emit frame->valueModeCombo()->activated(0);
  EXPECT_EQ(GetAnalogValueMode(), 0);

  // Deleting the project asks once and closes it without the save question.
  tree.SelectItem(project->treeItem);
  FocusTree();
  boxes.clear();
  frame->SendCommand(kIdEditDelete);
  EXPECT_EQ(boxes, std::vector<std::string>{"Do you really want to delete Plant?"});
  EXPECT_TRUE(ws.Projects().empty());
  EXPECT_TRUE(tree.Empty());
}

// The serial settings of a station are edited where the program offers
// them: the Properties cell from the keyboard, the Add Network Adapter "..."
// button and the scan dialog's button; what was chosen is what is saved.
TEST_F(FrameCommands, SerialSettingsThroughTheWindows) {
  const fs::path file = dir.path() / "RS485_Line.KPX";
  fs::copy_file(programDir / "Projects" / "RS485_Line.KPX", file);
  ASSERT_EQ(frame->OpenProject(file.string()), 1);
  CProjectUsr* project = frame->workspace().Projects().front().get();
  ASSERT_EQ(project->Adapters().size(), 2u);
  CNAUsr* first = project->Adapters()[0];

  // Properties of the first station: Return on the cell opens the dialog;
  // OK offers the new line settings to the whole line.
  frame->workspace().tree().SelectItem(first->treeItem);
  boxes.clear();
  answers = {true};
  RunWithDialog<qmx::dialogs::CPropertiesDlg>(kIdEditProperties, [&](qmx::dialogs::CPropertiesDlg& d) {
    qmx::grid::GridCtrl* grid = d.grid();
    qmx::grid::GridTreeItem* row = grid->FindItem("Serial Comm. Set");
    ASSERT_NE(row, nullptr);
    grid->setFocus();
    grid->SetSelectedRow(grid->GetRowIndex(row));
    QTest::keyClick(grid, Qt::Key_Right);
    const fs::path out(QMX_TEST_OUTPUT_DIR);
    EXPECT_TRUE(d.SavePicture((out / "frame_commands_properties_serial.png").string()));
    ChooseBaudRate([&] { QTest::keyClick(grid, Qt::Key_Return); }, "9600, 8, NOPARITY, 1", "19200");
    EXPECT_EQ(grid->GetCellText(row, 0), "19200, 8, NOPARITY, 1");
    EXPECT_EQ(first->serialSettings, "19200, 8, NOPARITY, 1");
    // F4 opens it as well; Cancel there changes nothing.
    WhileShown<qmx::dialogs::CSerialCommSetDlg>([&] { QTest::keyClick(grid, Qt::Key_F4); },
                                                [](qmx::dialogs::CSerialCommSetDlg& s) {
                                                  EXPECT_EQ(s.baudRateList()->currentText(), "19200");
                                                  EXPECT_EQ(qmx::test::AuditAccess(&s), std::vector<std::string>{});
                                                  const fs::path out(QMX_TEST_OUTPUT_DIR);
                                                  EXPECT_TRUE(s.SavePicture((out / "frame_commands_serial.png").string()));
                                                  ClickButton(&s, "Cancel");
                                                });
    EXPECT_EQ(first->serialSettings, "19200, 8, NOPARITY, 1");
    QTest::mouseClick(d.okButton(), Qt::LeftButton);
  });
  EXPECT_EQ(boxes,
            std::vector<std::string>{"Do you want to apply new parameters of serial communication to all network adapter?"});
  for (const CNAUsr* adapter : project->Adapters()) EXPECT_EQ(adapter->serialSettings, "19200, 8, NOPARITY, 1");

  // The scan dialog's button sets the project's scan settings.
  frame->workspace().tree().SelectItem(project->treeItem);
  RunWithDialog<AutoScanDlg>(kIdOnlineScan, [&](AutoScanDlg& d) {
    ChooseBaudRate([&] { ClickButton(&d, "..."); }, "9600, 8, NOPARITY, 1", "4800");
    ClickButton(&d, "Exit");
  });
  EXPECT_EQ(project->serialSettings, "4800, 8, NOPARITY, 1");

  frame->SendCommand(kIdFileSave);
  const std::string saved = qmx::test::ReadFile(file);
  EXPECT_NE(saved.find("<ScanInfo ComPortRange=\"1,1\" NodeAddrRange=\"1,32\" SerialCommSet=\"4800, 8, NOPARITY, 1\" />"),
            std::string::npos);
  for (const char* node : {"NodeAddr=\"1\"", "NodeAddr=\"2\""}) {
    EXPECT_NE(saved.find(std::string("ComPort=\"7\" SerialCommSet=\"19200, 8, NOPARITY, 1\" ") + node), std::string::npos)
        << node;
  }

  // A new RS232C station takes its settings from the "..." button.
  const fs::path single = dir.path() / "RS232C_Station.KPX";
  fs::copy_file(programDir / "Projects" / "RS232C_Station.KPX", single);
  ASSERT_EQ(frame->OpenProject(single.string()), 1);
  CProjectUsr* serialProject = frame->workspace().Projects().back().get();
  RunWithDialog<qmx::dialogs::CAddNaDlg>(kIdEditAddNa, [&](qmx::dialogs::CAddNaDlg& d) {
    d.adapterList()->setCurrentRow(0);
    const std::string preset = d.serialField()->text().toStdString();
    ChooseBaudRate([&] { QTest::mouseClick(d.serialButton(), Qt::LeftButton); }, preset, "38400");
    EXPECT_EQ(d.serialField()->text().toStdString(), "38400" + preset.substr(preset.find(',')));
    d.OnComplete();
  });
  ASSERT_EQ(serialProject->Adapters().size(), 2u);
  EXPECT_EQ(serialProject->Adapters().back()->serialSettings.substr(0, 7), "38400, ");
}

// Closing the selected project leaves a neighbour selected, so the File
// commands keep a target; the status bar's online pane tells the state of
// the selected project, not of any.
TEST_F(FrameCommands, ClosingSelectsANeighbourAndThePanesFollowTheSelection) {
  std::vector<CProjectUsr*> projects;
  for (const char* name : {"ModbusTCP_Station", "RS485_Line", "RS232C_Station"}) {
    ASSERT_EQ(frame->OpenProject((programDir / "Projects" / (std::string(name) + ".KPX")).string()), 1);
    projects.push_back(frame->workspace().Projects().back().get());
  }
  ProjectTree& tree = frame->workspace().tree();
  auto* bar = qobject_cast<qmx::toolkit::StatusBar*>(frame->statusBar());
  ASSERT_NE(bar, nullptr);
  auto pane = [&](int fromEnd) { return bar->pane(bar->paneCount() - fromEnd)->text().toStdString(); };

  projects[2]->monitoring = 1;
  const std::pair<CProjectUsr*, const char*> states[] = {
      {projects[0], "Offline"}, {projects[2], "Monitoring"}, {projects[1], "Offline"}};
  for (const auto& [project, state] : states) {
    tree.SelectItem(tree.Children(project->treeItem).front());
    EXPECT_EQ(pane(2), state) << project->GetName();
  }
  projects[2]->monitoring = 0;

  // The middle one goes: the next is selected; the last one goes: the one
  // before it is.
  tree.SelectItem(projects[1]->treeItem);
  frame->SendCommand(kIdFileClose);
  ASSERT_EQ(frame->workspace().Projects().size(), 2u);
  EXPECT_EQ(tree.GetSelectedItem(), projects[2]->treeItem);
  EXPECT_EQ(pane(3), "RS232C_Station");
  for (int id : {kIdFileClose, kIdFileSave, kIdFileSaveAs}) EXPECT_TRUE(Enabled(id)) << id;
  frame->SendCommand(kIdFileClose);
  EXPECT_EQ(tree.GetSelectedItem(), projects[0]->treeItem);
  frame->SendCommand(kIdFileClose);
  EXPECT_TRUE(frame->workspace().Projects().empty());
  EXPECT_EQ(pane(2), "Offline");
  for (int id : {kIdFileClose, kIdFileSave, kIdFileSaveAs}) EXPECT_FALSE(Enabled(id)) << id;
}

TEST_F(FrameCommands, ToolsHelpAndPictures) {
  // Bootp Server starts the program of the Tools folder and does not wait.
  std::vector<qmx::os::LaunchRequest> started;
  qmx::os::SetLauncher([&](const qmx::os::LaunchRequest& r) {
    started.push_back(r);
    return 1;
  });
  frame->SendCommand(kIdToolsBootp);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].file, (programDir / "Tools" / "Plenvar.exe").string());
  EXPECT_TRUE(started[0].args.empty());

  // Print Setup's dialog comes from the library beside the program; without
  // it the command says so and shows nothing.
  fs::rename(programDir / "QMX410PageSetup.so", dir.path() / "aside.so");
  boxes.clear();
  frame->SendCommand(kIdFilePrintSetup);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("Print Setup is not available: ", 0), 0u) << boxes[0];
  fs::rename(dir.path() / "aside.so", programDir / "QMX410PageSetup.so");
  RunWithDialog<QDialog>(kIdFilePrintSetup, [](QDialog& d) {
    EXPECT_TRUE(d.inherits("QPageSetupDialog")) << d.metaObject()->className();
    d.grab().save(QString::fromStdString((fs::path(QMX_TEST_OUTPUT_DIR) / "print-setup.png").string()));
    d.reject();
  });
  EXPECT_EQ(boxes.size(), 1u);

  // Help topics, F1 and a product's page open pages of the Help folder.
  EXPECT_EQ(frame->CommandAction(kIdHelpFinder)->shortcut(), QKeySequence(Qt::Key_F1));
  frame->SendCommand(kIdHelpTopics);
  ASSERT_NE(frame->helpWindow(), nullptr);
  EXPECT_TRUE(frame->helpWindow()->isVisible());
  EXPECT_EQ(frame->helpWindow()->currentFile(), (programDir / "Help" / "Introduction.htm").string());
  qmx::ShowHelp(HelpTopic(programDir.string(), "QMX-3408"));
  EXPECT_EQ(frame->helpWindow()->currentFile(), (programDir / "Help" / "QMX-3408.htm").string());
  frame->SendCommand(kIdHelpTechData);
  EXPECT_EQ(frame->helpWindow()->currentFile(), (programDir / "Help" / "Vexo Information.htm").string());
  EXPECT_NE(frame->helpWindow()->browser()->toPlainText().indexOf("QMX-3408"), -1);
  // Every product of the catalogue has its page; nothing outside the folder is shown.
  std::vector<std::string> links;
  for (const auto& def : frame->naCatalogue().definitions) links.push_back(def->helpLink);
  for (const auto& def : frame->ioCatalogue().definitions()) links.push_back(def->helpLink);
  for (const std::string& link : links) {
    if (link.empty()) continue;
    EXPECT_TRUE(fs::exists(HelpPageFile(programDir.string(), HelpTopic("", link)))) << link;
  }
  EXPECT_EQ(HelpPageFile(programDir.string(), HelpTopic("", "../QMX410Tools.xml")), "");
  qmx::ShowHelp(HelpTopic(programDir.string(), "QMX-3408.htm"));
  QApplication::processEvents();
  const fs::path out(QMX_TEST_OUTPUT_DIR);
  EXPECT_TRUE(frame->helpWindow()->grab().save(QString::fromStdString((out / "frame_commands_help.png").string())));
  EXPECT_EQ(qmx::test::AuditAccess(frame->helpWindow()), std::vector<std::string>{});
  QTest::keyClick(frame->helpWindow()->browser(), Qt::Key_Escape);
  EXPECT_FALSE(frame->helpWindow()->isVisible());

  // The main window with an example station and its Edit menu open.
  ASSERT_EQ(frame->OpenProject((programDir / "Projects" / "ModbusTCP_Station.KPX").string()), 1);
  CProjectUsr* project = frame->workspace().Projects().front().get();
  // Opened from a modal dialog the help window takes input there, and comes
  // back to the frame when the dialog closes.
  frame->workspace().tree().SelectItem(project->treeItem);
  RunWithDialog<qmx::dialogs::CAddNaDlg>(kIdEditAddNa, [&](qmx::dialogs::CAddNaDlg& d) {
    d.adapterList()->setCurrentRow(0);
    ClickButton(&d, "Show Technical Data");
    EXPECT_EQ(frame->helpWindow()->parentWidget(), &d);
    EXPECT_EQ(frame->helpWindow()->currentFile(), (programDir / "Help" / "QMX-4101.htm").string());
    ClickButton(&d, "Cancel");
  });
  EXPECT_EQ(frame->helpWindow()->parentWidget(), frame);
  frame->helpWindow()->hide();
  frame->resize(1180, 760);
  frame->show();
  frame->activateWindow();
  frame->workspace().tree().SelectItem(frame->workspace().tree().Children(project->treeItem).front());
  QApplication::processEvents();
  FocusTree();
  frame->UpdateCommandUI();
  QMenu* edit = frame->MenuPopup(1);
  edit->popup(frame->mapToGlobal(frame->menuBar()->actionGeometry(edit->menuAction()).bottomLeft()));
  QApplication::processEvents();
  QTest::qWait(100);
  EXPECT_TRUE(frame->grab().save(QString::fromStdString((out / "frame_commands_main.png").string())));
  EXPECT_TRUE(edit->grab().save(QString::fromStdString((out / "frame_commands_edit_menu.png").string())));
  edit->hide();
}

}  // namespace
