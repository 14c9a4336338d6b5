// The commissioning road through the running program on the offscreen
// platform, from the menus' commands: the shipped TCP example project,
// the simulator serving its station, a download, the compare dialog, the
// monitoring with an input that changes, a forced output, the stop. Writes
// ops_compare_dialog.png, ops_monitoring_window.png and, with the field
// power off, ops_field_power.png into the build folder.
#include "app/frame/FerrowynApp.h"
#include "app/frame/FerrowynView.h"
#include "app/frame/MainFrame.h"
#include "app/model/IOUsr.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/ui/dialogs/CompareOfflineDlg.h"
#include "app/ui/views/TabChildView.h"
#include "common/Utility.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"
#include "tests/support/access_audit.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"
#include "tools/simulator/testing/simulator_process.h"
#include "widgets/grid/GridCtrl.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace qmx::commands;

std::string Joined(const std::vector<std::string>& texts) {
  std::string all;
  for (const std::string& t : texts) all += "[" + t + "]";
  return all;
}

bool WaitFor(const std::function<bool()>& check, int ms = 10000) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (check()) return true;
    QTest::qWait(50);
  }
  return check();
}

class OpsWindow : public qmx::test::ProgramServicesTest {
protected:
  void SetUp() override {
    ProgramServicesTest::SetUp();
    programDir = qmx::test::UseProgramCopy(dir.path());
    qmx::test::RecordMessageBoxes(boxes);
  }
  void TearDown() override {
    CMainFrame::s_runCompareDialog = [](qmx::dialogs::CompareOfflineDlg& d) { return d.DoModal(); };
    if (app) app->ExitInstance();
    app.reset();
    ProgramServicesTest::TearDown();
  }

  qmx::test::TempDir dir{"qmx-opswindow"};
  fs::path programDir;
  std::unique_ptr<CFerrowynApp> app;
  std::vector<std::string> boxes;
};

TEST_F(OpsWindow, ExampleProjectFromDownloadToStop) {
  app = std::make_unique<CFerrowynApp>();
  ASSERT_TRUE(app->InitInstance(
      {(programDir / "QMX410Tools").string(), (programDir / "Projects" / "ModbusTCP_Station.KPX").string()}));
  CMainFrame* frame = app->mainFrame();
  frame->resize(1200, 800);
  ASSERT_EQ(frame->workspace().Projects().size(), 1u);
  CProjectUsr* project = frame->workspace().Projects().front().get();
  CNAUsr* na = project->Adapters().front();
  // The example serves 127.0.0.1:502; this test takes an address of its own.
  const std::string ip = StrFormat("127.%d.%d.250", 30 + getpid() % 200, (getpid() / 200) % 250);
  na->SetCommSettings(ip, "", "", na->nodeAddress);
  frame->workspace().UpdateNATreeLabel(na);
  // The new driver instance has not had the module list yet.
  na->moduleListChanged = 1;
  qmx::sim::SimulatorProcess simulator({"--model", "QMX-4101", "--modules",
                                        "QMX-1808,QMX-2808,QMX-3404,QMX-4402,QMX-7124", "--freeze", "--tcp",
                                        ip + ":502"});
  ASSERT_TRUE(simulator.Start()) << simulator.error();
  // The target dialog: the adapter with its modules.
  frame->onlineOps().ui.downloadTarget = [](const std::string&, const std::string&, const std::string&,
                                            const std::string&) { return kTargetWithModules; };
  ProjectWorkspace& ws = frame->workspace();
  const std::vector<CIOUsr*> modules = ws.ModulesOf(*na);
  ws.tree().SelectItem(ws.tree().FindItem(na));
  CFerrowynView* view = frame->tabView();
  view->SetActiveTab(kViewParameters);
  frame->SendCommand(kIdOnlineDownload);
  EXPECT_TRUE(boxes.empty()) << boxes.front();  // no refusal, no failure

  // Compare with a parameter changed in the project: a "Mismatch value" row.
  modules[2]->paraImage()[0] ^= 0x01;
  CMainFrame::s_runCompareDialog = [&](qmx::dialogs::CompareOfflineDlg& dialog) {
    dialog.show();
    dialog.parametersCheck()->setChecked(true);
    dialog.compareButton()->setFocus();
    EXPECT_EQ(dialog.OnBtnDoCompare(), 2);
    EXPECT_EQ(dialog.focusWidget(), dialog.compareButton());
    QTest::qWait(50);
    EXPECT_GE(dialog.grid()->GetItemCount(), 2);
    EXPECT_TRUE(dialog.grab().save(QString::fromStdString((fs::path(QMX_TEST_OUTPUT_DIR) / "ops_compare_dialog.png").string())));
    EXPECT_EQ(qmx::test::AuditAccess(&dialog), std::vector<std::string>{});
    return 1;
  };
  frame->SendCommand(kIdOnlineCompare);
  EXPECT_EQ(boxes.back(), "Comparison completed.\nConfiguration and parameters are different.");
  modules[2]->paraImage()[0] ^= 0x01;

  // Monitoring from the menu: the input the station changes reaches the
  // process image of the selected module.
  ws.tree().SelectItem(project->treeItem);
  frame->SendCommand(kIdStartMonitoring);
  ASSERT_EQ(project->monitoring, 1);
  EXPECT_TRUE(frame->IsFrameTimerRunning(kStatusTimerId));
  EXPECT_TRUE(frame->IsFrameTimerRunning(project->timerId));
  ASSERT_TRUE(simulator.Ok("input 1 A5"));
  ws.tree().SelectItem(ws.tree().FindItem(modules[0]));
  view->SetActiveTab(kViewProcessImage);
  EXPECT_TRUE(WaitFor([&] {
    const OnlineBytes bytes = na->ReadOnlineData(modules[0], 0, kOnlineInput, 1, "test", 0, 0);
    return bytes && bytes.data()[0] == 0xA5 && ws.tree().GetItemImage(ws.tree().FindItem(na)) == kImageAdapterRunning;
  }));
  QTest::qWait(1200);  // one more refresh of the view and the status
  EXPECT_TRUE(frame->grab().save(QString::fromStdString((fs::path(QMX_TEST_OUTPUT_DIR) / "ops_monitoring_window.png").string())));

  // Forcing an output of a module while monitoring.
  ws.tree().SelectItem(ws.tree().FindItem(modules[1]));
  modules[1]->outputImage()[0] = 0x81;
  frame->SendCommand(kIdOnlineDownload);
  EXPECT_TRUE(WaitFor([&] { return simulator.Command("get output 2") == "OK 81"; }));

  // Stop.
  ws.tree().SelectItem(project->treeItem);
  frame->SendCommand(kIdStopMonitoring);
  EXPECT_EQ(project->monitoring, 0);
  EXPECT_FALSE(frame->IsFrameTimerRunning(kStatusTimerId));
  EXPECT_EQ(ws.tree().GetItemImage(project->treeItem), kProjectTreeImage);
  project->modified = 0;
}

// The online column of a view's grid, row by row (the object row has none).
std::vector<std::string> OnlineColumn(CTabChildView* view, int column) {
  std::vector<std::string> texts;
  auto* grid = dynamic_cast<qmx::views::CGridFormView*>(view)->grid();
  for (int row = 1; row < grid->GetItemCount(); ++row) {
    const qmx::grid::GridRowItem* item = grid->GetRowItem(grid->GetTreeItem(row));
    texts.push_back(item ? item->GetColumnText(column) : std::string());
  }
  return texts;
}

// A station that stops answering while it is monitored: the tree turns its
// icon red and both value views show no online value until it answers
// again. Stop Monitoring then gives it its own picture back and the
// Parameter view, not shown at the stop, its editable rows.
TEST_F(OpsWindow, ASilentStationShowsNoOnlineValueUntilItAnswersAgain) {
  app = std::make_unique<CFerrowynApp>();
  ASSERT_TRUE(app->InitInstance(
      {(programDir / "QMX410Tools").string(), (programDir / "Projects" / "ModbusTCP_Station.KPX").string()}));
  CMainFrame* frame = app->mainFrame();
  frame->resize(1200, 800);
  CProjectUsr* project = frame->workspace().Projects().front().get();
  CNAUsr* na = project->Adapters().front();
  const std::string ip = StrFormat("127.%d.%d.251", 30 + getpid() % 200, (getpid() / 200) % 250);
  na->SetCommSettings(ip, "", "", na->nodeAddress);
  frame->workspace().UpdateNATreeLabel(na);
  na->moduleListChanged = 1;
  qmx::sim::SimulatorProcess simulator({"--model", "QMX-4101", "--modules",
                                        "QMX-1808,QMX-2808,QMX-3404,QMX-4402,QMX-7124", "--freeze", "--tcp",
                                        ip + ":502"});
  ASSERT_TRUE(simulator.Start()) << simulator.error();
  ProjectWorkspace& ws = frame->workspace();
  const std::vector<CIOUsr*> modules = ws.ModulesOf(*na);
  const TreeItem naItem = ws.tree().FindItem(na);
  const int ownPicture = ws.tree().GetItemImage(naItem);
  CFerrowynView* view = frame->tabView();
  CTabChildView* process = view->childView(kViewProcessImage);
  CTabChildView* parameters = view->childView(kViewParameters);
  // A tab chosen as the user chooses it (the tab host refreshes the view).
  auto chooseTab = [&](int tab) {
    view->tabCtrl()->setCurrentIndex(tab);
    QTest::qWait(20);
  };

  ws.tree().SelectItem(project->treeItem);
  frame->SendCommand(kIdStartMonitoring);
  ASSERT_EQ(project->monitoring, 1);
  ASSERT_TRUE(simulator.Ok("input 1 05"));
  auto anyValue = [](const std::vector<std::string>& texts) {
    return std::any_of(texts.begin(), texts.end(), [](const std::string& t) { return !t.empty(); });
  };
  ws.tree().SelectItem(ws.tree().FindItem(modules[2]));
  chooseTab(kViewParameters);
  EXPECT_TRUE(WaitFor([&] { return anyValue(OnlineColumn(parameters, qmx::views::kParaOnline)); }, 20000));
  ws.tree().SelectItem(ws.tree().FindItem(modules[0]));
  chooseTab(kViewProcessImage);
  const std::vector<std::string> live = {"1", "0", "1", "0", "0", "0", "0", "0"};
  const std::vector<std::string> none(live.size(), "");
  EXPECT_TRUE(WaitFor([&] {
    return OnlineColumn(process, qmx::views::kPiOnline) == live && ws.tree().GetItemImage(naItem) == kImageAdapterRunning;
  }, 20000)) << Joined(OnlineColumn(process, qmx::views::kPiOnline));

  // Field power lost and back: the station's picture follows, by the status timer.
  ASSERT_TRUE(simulator.Ok("object 0x1119 0081"));
  EXPECT_TRUE(WaitFor([&] { return ws.tree().GetItemImage(naItem) == kImageAdapterFieldPowerFault; }, 20000));
  EXPECT_TRUE(frame->grab().save(QString::fromStdString((fs::path(QMX_TEST_OUTPUT_DIR) / "ops_field_power.png").string())));
  ASSERT_TRUE(simulator.Ok("object 0x1119 0000"));
  EXPECT_TRUE(WaitFor([&] { return ws.tree().GetItemImage(naItem) == kImageAdapterRunning; }, 20000));

  // Silent: red in the tree, nothing shown as live, tick after tick.
  ASSERT_TRUE(simulator.Ok("fault silence"));
  EXPECT_TRUE(WaitFor([&] { return ws.tree().GetItemImage(naItem) == kImageAdapterFault; }, 20000));
  EXPECT_EQ(OnlineColumn(process, qmx::views::kPiOnline), none);
  QTest::qWait(1200);
  EXPECT_EQ(OnlineColumn(process, qmx::views::kPiOnline), none);
  EXPECT_TRUE(frame->grab().save(QString::fromStdString((fs::path(QMX_TEST_OUTPUT_DIR) / "ops_silent_station.png").string())));
  ws.tree().SelectItem(ws.tree().FindItem(modules[2]));
  chooseTab(kViewParameters);
  QTest::qWait(1200);
  EXPECT_FALSE(anyValue(OnlineColumn(parameters, qmx::views::kParaOnline)))
      << Joined(OnlineColumn(parameters, qmx::views::kParaOnline));

  // It answers again: the values come back.
  ASSERT_TRUE(simulator.Ok("fault clear"));
  EXPECT_TRUE(WaitFor([&] {
    return ws.tree().GetItemImage(naItem) == kImageAdapterRunning && anyValue(OnlineColumn(parameters, qmx::views::kParaOnline));
  }, 30000));
  ws.tree().SelectItem(ws.tree().FindItem(modules[0]));
  chooseTab(kViewProcessImage);
  EXPECT_TRUE(WaitFor([&] { return OnlineColumn(process, qmx::views::kPiOnline) == live; }, 5000))
      << Joined(OnlineColumn(process, qmx::views::kPiOnline));

  // The adapter's parameters while monitoring (read-only, online values),
  // then the stop from the Process Image tab: back on the Parameter tab the
  // same adapter's rows are editable again and show no online values.
  auto* grid = dynamic_cast<qmx::views::CGridFormView*>(parameters)->grid();
  auto editableRows = [&] {
    int editable = 0;
    for (int row = 1; row < grid->GetItemCount(); ++row) editable += grid->GetRowItem(grid->GetTreeItem(row))->readOnly == 0;
    return editable;
  };
  ws.tree().SelectItem(naItem);
  chooseTab(kViewParameters);
  EXPECT_TRUE(WaitFor([&] { return anyValue(OnlineColumn(parameters, qmx::views::kParaOnline)); }));
  EXPECT_EQ(editableRows(), 0);
  chooseTab(kViewProcessImage);
  frame->SendCommand(kIdStopMonitoring);
  EXPECT_EQ(project->monitoring, 0);
  EXPECT_EQ(ws.tree().GetItemImage(naItem), ownPicture);
  chooseTab(kViewParameters);
  EXPECT_GT(editableRows(), 0);
  EXPECT_FALSE(anyValue(OnlineColumn(parameters, qmx::views::kParaOnline)));
  EXPECT_TRUE(frame->grab().save(QString::fromStdString((fs::path(QMX_TEST_OUTPUT_DIR) / "ops_stopped_parameters.png").string())));
  project->modified = 0;
}

}  // namespace
