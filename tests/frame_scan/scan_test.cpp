// The automatic scan of the main program: the range and time rules, then the
// whole road through the built driver library against simulators (an RS485
// pty line with three nodes, two TCP stations inside a network namespace)
// into a project of the shipped catalogue that saves and opens as any
// project; the copy of online values copies nothing a failed read did not
// give. The dialog itself is looked at in a picture.
#include <QApplication>
#include <QTimer>

#include "app/frame/AutoScanDlg.h"
#include "app/frame/scan/AutoScan.h"
#include "tests/driver_modbus/netlab.h"
#include "tests/frame_projectfile/projectfile_fixture.h"
#include "tests/support/access_audit.h"
#include "tools/simulator/testing/simulator_process.h"

namespace {

using namespace qmx::scan;

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

TEST(ScanPlanRules, TimeParameterAndRefusals) {
  struct Case {
    int code;
    std::string ports, nodes;
    int timeMs;
    std::string param, refusal;
  } cases[] = {
      {2, "1,3", "1,32", 28800, "1,3:1,32:9600, 8, NOPARITY, 1", ""},
      {2, "1,4", "1,32", 0, "",
       "Port or node out of range and scan time is limited in 30 seconds.\n"
       "Scan time (milisec.)= Node range * Port range* 300."},
      {4, "7,9", "1,6", 1800, "7,7:1,6:9600, 8, NOPARITY, 1", ""},  // one port on a shared line
      {3, "2,1", "1,2", 600, "2,2:1,2:9600, 8, NOPARITY, 1", ""},
      {2, "3,1", "1,2", 0, "", "Min. value of COM port must be below than max. value."},
      {4, "1,1", "9,3", 0, "", "Min. value of node address must be below than max. value."},
      {0, "1,1", "1,32", 5000, "", ""},
      {1, "5,1", "9,3", 5000, "", ""},
  };
  for (const Case& c : cases) {
    ScanRanges r;
    SetScanInfo(r, c.ports, c.nodes, "9600, 8, NOPARITY, 1");
    const ScanPlan plan = PlanScan(c.code, r);
    EXPECT_EQ(plan.refusal, c.refusal) << c.code << " " << c.ports << " " << c.nodes;
    EXPECT_EQ(plan.timeMs, plan.ok() ? c.timeMs : 0) << c.code << " " << c.ports;
    EXPECT_EQ(plan.param, c.param) << c.code << " " << c.ports;
  }
}

const char* const kModules = "QMX-1808,QMX-2808,QMX-4402";
const std::vector<std::string> kModuleNames = {"QMX-1808", "QMX-2808", "QMX-4402"};

TEST(ModbusMessengerCommand, AMissingLibraryIsLoggedAndShowsNothing) {
  ModelLogCapture log;
  const qmx::test::TempDir empty("no-driver");
  EXPECT_FALSE(RunModbusMessenger(empty.path().string(), TESSIVAR_LIBRARY_FILE));
  EXPECT_TRUE(log.Has("[Error Code: -1021] Cannot find Communication driver. File: " +
                      (empty.path() / TESSIVAR_LIBRARY_FILE).string() + ". Func: OnToolsModbusMsger"));
}

class ScanRoad : public prjtest::ProjectFileTest {
protected:
  // The library the scan command loads for a project of this bus type.
  std::string DriverFile(const std::string& busType) { return qmx::ScanDriverFile(adapters, busType); }
  std::vector<std::string> ModuleNames(CNAUsr* adapter) {
    std::vector<std::string> names;
    for (CIOUsr* m : ws.ModulesOf(*adapter)) names.push_back(m->GetIODef()->modelName);
    return names;
  }
  // Saves the project, closes it and opens the file again.
  CProjectUsr* SaveAndReopen(CProjectUsr* project, const std::string& file) {
    const std::string path = (dir.path() / file).string();
    EXPECT_EQ(files.SaveProject({}, path, project), 1);
    files.CloseProject(project, project->treeItem, 1, 0);
    EXPECT_EQ(files.OpenProject(path), 1) << Joined(ErrorLines());
    return ws.Projects().empty() ? nullptr : ws.Projects().back().get();
  }
};

TEST_F(ScanRoad, AnRs485LineBecomesAProjectThatSavesAndOpens) {
  // Every online bus type of the catalogue scans, also those whose adapters
  // serve two bus types (QMX-4105: RS485 and RS422).
  for (const char* bus : {"TCP", "RS232C", "RS485", "RS422"}) EXPECT_EQ(DriverFile(bus), "Tessivar.dll") << bus;
  EXPECT_EQ(DriverFile("CANopen"), "");
  ::setenv("QMX_COM_DIR", dir.path().c_str(), 1);
  qmx::sim::PtyPair line(dir.path());
  ASSERT_TRUE(line.Start()) << line.error();
  qmx::sim::SimulatorProcess sim({"--model", "QMX-4105", "--modules", kModules, "--freeze", "--rtu",
                                  line.peer().string(), "--serial", "19200,8,N,1", "--nodes", "2,3,5"});
  ASSERT_TRUE(sim.Start()) << sim.error();

  CProjectUsr* project = NewProject("Line", "RS485", dir.path());
  ASSERT_EQ(project->commTypeCode, kCommRs485);
  ScanRanges ranges;
  SetScanInfo(ranges, "7,7", "1,6", "19200, 8, NOPARITY, 1");
  const ScanPlan plan = PlanScan(kCommRs485, ranges);
  ASSERT_TRUE(plan.ok());

  AutoScanSession scan(adapters, modules);
  ASSERT_EQ(scan.Start(qmx::test::DistDir().string(), DriverFile("RS485"), "RS485", kCommRs485, plan.timeMs,
                       plan.param),
            1)
      << Joined(ErrorLines());
  ASSERT_EQ(scan.FoundCount(), 3);
  const char* nodes[] = {"2", "3", "5"};
  for (int i = 0; i < 3; ++i) {
    const ScanRow& row = scan.Rows()[static_cast<size_t>(i)];
    EXPECT_EQ(row.label, "QMX-4105");
    EXPECT_EQ(row.texts.front(), "7");
    EXPECT_EQ(row.texts.back(), nodes[i]);
    EXPECT_EQ(row.texts[1], "19200,8,NOPARITY,1");
    EXPECT_EQ(row.modules, (std::vector<std::string>{"01: QMX-1808", "02: QMX-2808", "03: QMX-4402"}));
  }

  const std::vector<CNAUsr*> created = ApplyScanResult(ws, project, adapters, modules, *scan.Result(), 1);
  scan.Free();
  ASSERT_EQ(created.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(created[i]->nodeAddress, nodes[i]);
    EXPECT_EQ(created[i]->comPort, "7");
    // The driver's "19200,8,NOPARITY,1" in the project's form.
    EXPECT_EQ(created[i]->serialSettings, "19200, 8, NOPARITY, 1");
    EXPECT_EQ(ModuleNames(created[i]), kModuleNames);
  }

  // Outputs copied from the stations; then, with the line silent, a failed
  // read copies nothing over what the project holds.
  EXPECT_EQ(CopyOnlineValToPrj(ws, created, 1, 1, nullptr), 3) << Joined(ErrorLines());
  // The special commands go through the adapter's driver to its node.
  EXPECT_EQ(DoSpecialCommand(created[1], "Node3", 1), 1) << Joined(ErrorLines());
  EXPECT_TRUE(log.Has("Error counters of Node3 is reseted..", 1));
  EXPECT_EQ(DoSpecialCommand(created[1], "Node3", 0), 1);
  EXPECT_TRUE(log.Has("Node3 network adapter is restarted.", 1));

  std::vector<uint8_t>& para = created[0]->paraImage();
  ASSERT_FALSE(para.empty());
  std::fill(para.begin(), para.end(), 0xA5);
  const std::vector<uint8_t> kept = para;
  sim.Stop();
  EXPECT_EQ(CopyOnlineValToPrj(ws, {created[0]}, 1, 1, nullptr), 0);
  EXPECT_EQ(created[0]->paraImage(), kept);
  EXPECT_EQ(DoSpecialCommand(created[1], "Node3", 0), 0);
  EXPECT_TRUE(log.Has("Node3 Restart is failed.\nSee below log in detail.", 0));
  EXPECT_TRUE(log.Has("Cannot get NA's"));

  CProjectUsr* opened = SaveAndReopen(project, "Line.KPX");
  ASSERT_NE(opened, nullptr);
  ASSERT_EQ(opened->Adapters().size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(opened->Adapters()[i]->nodeAddress, nodes[i]);
    EXPECT_EQ(ModuleNames(opened->Adapters()[i]), kModuleNames);
  }
}

TEST_F(ScanRoad, AdaptersOfAnotherBusAreLoggedNeitherListedNorCreated) {
  ::setenv("QMX_COM_DIR", dir.path().c_str(), 1);
  qmx::sim::PtyPair line(dir.path());
  ASSERT_TRUE(line.Start()) << line.error();
  qmx::sim::SimulatorProcess sim({"--model", "QMX-4101", "--modules", kModules, "--freeze", "--rtu",
                                  line.peer().string(), "--serial", "9600,8,N,1", "--nodes", "4"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  AutoScanSession scan(adapters, modules);
  ASSERT_EQ(scan.Start(qmx::test::DistDir().string(), DriverFile("RS485"), "RS485", kCommRs485, 900,
                       "7,7:3,5:9600, 8, NOPARITY, 1"),
            1);
  // The line names the library the scan loads, not the catalogue's name.
  EXPECT_TRUE(log.Has("Starting auto scan. Device driver:" + (qmx::test::DistDir() / "Tessivar.so").string() + ".", 1));
  EXPECT_EQ(scan.FoundCount(), 0);
  EXPECT_TRUE(scan.Rows().empty());
  EXPECT_TRUE(log.Has("Network adapter having mismatch bus type exists same communication bus. Model: QMX-4101.", 0));
}

// Adapters the catalogue has no definition for on this bus: an unknown
// product, one that reports code 0 (the generic template's), and a two-bus
// adapter found on a third bus. Listed as "Undefined", never created.
TEST_F(ScanRoad, AdaptersWithoutADefinitionForTheBusAreUndefinedAndNotCreated) {
  struct Case {
    const char* model;
    const char* product;  // empty: the catalogue's
    const char* bus;
    int code;
  } cases[] = {
      {"QMX-4105", "0x9999", "RS485", kCommRs485},
      {"QMX-4105", "0", "RS485", kCommRs485},
      {"QMX-4105", "", "RS232C", kCommRs232c},
  };
  ::setenv("QMX_COM_DIR", dir.path().c_str(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.bus) + " " + c.product);
    qmx::sim::PtyPair line(dir.path());
    ASSERT_TRUE(line.Start()) << line.error();
    std::vector<std::string> args = {"--model", c.model, "--modules", kModules, "--freeze", "--rtu",
                                     line.peer().string(), "--serial", "9600,8,N,1", "--nodes", "1"};
    if (*c.product) args.insert(args.end(), {"--product", c.product});
    qmx::sim::SimulatorProcess sim(args);
    ASSERT_TRUE(sim.Start()) << sim.error();
    CProjectUsr* project = NewProject(std::string("Scan") + c.bus + c.product, c.bus, dir.path());
    AutoScanSession scan(adapters, modules);
    ASSERT_EQ(scan.Start(qmx::test::DistDir().string(), DriverFile(c.bus), c.bus, c.code, 300,
                         "7,7:1,1:9600, 8, NOPARITY, 1"),
              2)
        << Joined(ErrorLines());
    ASSERT_EQ(scan.Rows().size(), 1u);
    EXPECT_EQ(scan.Rows()[0].label, "Undefined");
    EXPECT_EQ(scan.FoundCount(), 1);
    EXPECT_TRUE(log.Has("Unknown product detected. XML file does not exist.", 1));
    EXPECT_TRUE(ApplyScanResult(ws, project, adapters, modules, *scan.Result(), 1).empty());
    EXPECT_TRUE(project->Adapters().empty());
    scan.Free();
  }
}

TEST_F(ScanRoad, TcpStationsInANetworkNamespaceAreAddedToTheProject) {
  qmx::test::NetLab lab{2};
  std::string why;
  if (!lab.Create(&why)) GTEST_SKIP() << "no network namespace: " << why;
  std::vector<std::unique_ptr<qmx::sim::SimulatorProcess>> sims;
  const char* modules[] = {"QMX-1808,QMX-2808", "QMX-4402"};
  for (int host = 0; host < 2; ++host) {
    const std::string ip = qmx::test::NetLab::HostAddress(host);
    auto sim = std::make_unique<qmx::sim::SimulatorProcess>(std::vector<std::string>{
        "--model", "QMX-4101", "--modules", modules[host], "--tcp", ip + ":502", "--discovery", "0.0.0.0:8000",
        "--ip", ip, "--mask", "255.255.255.0", "--gateway", qmx::test::NetLab::kToolAddress, "--mac",
        host == 0 ? "00:30:DE:00:00:01" : "00:30:DE:00:00:02"});
    bool started = false;
    ASSERT_TRUE(lab.RunIn(host, [&] { started = sim->Start(); }));
    ASSERT_TRUE(started) << sim->error();
    sims.push_back(std::move(sim));
  }
  CProjectUsr* project = NewProject("Plant", "TCP", dir.path());
  AddStation("QMX-4101", "Kept", "10.231.0.99", "", "", {});
  AutoScanSession scan(adapters, this->modules);
  int r = 0;
  ASSERT_TRUE(lab.RunIn(-1, [&] {
    r = scan.Start(qmx::test::DistDir().string(), DriverFile("TCP"), "TCP", kCommTcp, 1500, "");
  }));
  ASSERT_EQ(r, 1) << Joined(ErrorLines());
  ASSERT_EQ(scan.Rows().size(), 2u);
  const std::vector<CNAUsr*> created = ApplyScanResult(ws, project, adapters, this->modules, *scan.Result(), 0);
  ASSERT_EQ(created.size(), 2u);
  ASSERT_EQ(project->Adapters().size(), 3u) << "added to the project: the station it had stays first";
  EXPECT_EQ(project->Adapters()[0]->ipAddress, "10.231.0.99");
  std::vector<std::vector<std::string>> found;
  for (CNAUsr* a : created) found.push_back(ModuleNames(a));
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::vector<std::string>>{{"QMX-1808", "QMX-2808"}, {"QMX-4402"}}));

  // The dialog with the result, as the user sees it.
  AutoScanDlg dialog(adapters, this->modules, qmx::test::DistDir().string());
  dialog.SetCommInfo("TCP", DriverFile("TCP"), kCommTcp);
  dialog.runWithProgress = [&](const std::string&, int, const std::function<int()>& op) {
    int result = 0;
    lab.RunIn(-1, [&] { result = op(); });
    return result;
  };
  std::vector<std::string> boxes;
  dialog.showBox = [&](const std::string& text) { boxes.push_back(text); };
  QTimer::singleShot(0, [&] {
    dialog.OnOK();  // nothing scanned yet
    dialog.OnBtnDoScan();
    dialog.grab().save(QString::fromStdString((qmx::test::DistDir().parent_path() / "auto_scan.png").string()));
    EXPECT_EQ(qmx::test::AuditAccess(&dialog), std::vector<std::string>{});
    dialog.OnExit();
  });
  EXPECT_EQ(dialog.exec(), QDialog::Rejected);
  EXPECT_EQ(boxes, (std::vector<std::string>{"Empty list. Please go to exit.", "Auto scan is successfully completed."}));
  scan.Free();
}

TEST_F(ScanRoad, AScanThatCannotReadEveryAdapterDoesNotEndAsCompleted) {
  // Host 1 answers the discovery but takes no connection.
  qmx::test::NetLab lab{2};
  std::string why;
  if (!lab.Create(&why)) GTEST_SKIP() << "no network namespace: " << why;
  std::vector<std::unique_ptr<qmx::sim::SimulatorProcess>> sims;
  for (const int host : {0, 1}) {
    const std::string ip = qmx::test::NetLab::HostAddress(host);
    std::vector<std::string> args = {"--model", "QMX-4101", "--modules", "QMX-1808", "--discovery", "0.0.0.0:8000",
                                     "--ip", ip, "--mac", "00:30:DE:00:00:0" + std::to_string(host)};
    if (host == 0) args.insert(args.end(), {"--tcp", ip + ":502"});
    sims.push_back(std::make_unique<qmx::sim::SimulatorProcess>(args));
    bool started = false;
    ASSERT_TRUE(lab.RunIn(host, [&] { started = sims.back()->Start(); }));
    ASSERT_TRUE(started) << sims.back()->error();
  }
  AutoScanSession scan(adapters, this->modules);
  int r = 0;
  ASSERT_TRUE(lab.RunIn(-1, [&] {
    r = scan.Start(qmx::test::DistDir().string(), DriverFile("TCP"), "TCP", kCommTcp, 1500, "");
  }));
  EXPECT_EQ(r, kScanIncomplete);
  EXPECT_EQ(scan.Rows().size(), 2u);
  EXPECT_TRUE(log.Has(" Cannot open connection. NA: . ErrCode: -10061.", qmx::kLogError)) << Joined(ErrorLines());
  EXPECT_EQ(log.Lines(qmx::kLogGeneral).back(),
            "[Warning] Auto scan is completed, but not every network adapter is scanned. See below log in detail.");
  EXPECT_FALSE(log.Has("Auto scan is successfully completed!"));
}

}  // namespace

namespace {

TEST(SpecialCommandDialog, DecliningTheRestartSendsNothingAndEachResultIsTold) {
  CSpecialCmdDlg dialog;
  dialog.SetTarget("01: QMX-4105", "NA");
  int restarts = 0, resets = 0;
  bool yes = false;
  std::vector<std::string> boxes;
  dialog.doRestart = [&] { return ++restarts, 1; };
  dialog.doResetErrCounter = [&] { return ++resets, 0; };
  dialog.ask = [&](const std::string& question) {
    boxes.push_back(question);
    return yes;
  };
  dialog.showBox = [&](const std::string& text) { boxes.push_back(text); };
  QTimer::singleShot(0, [&] {
    dialog.OnBtnRestart();  // declined
    yes = true;
    dialog.OnBtnRestart();
    dialog.OnBtnResetErrCounter();
    dialog.grab().save(QString::fromStdString((qmx::test::DistDir().parent_path() / "special_cmd.png").string()));
    EXPECT_EQ(qmx::test::AuditAccess(&dialog), std::vector<std::string>{});
    dialog.reject();
  });
  dialog.exec();
  EXPECT_EQ(restarts, 1);
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(boxes, (std::vector<std::string>{"Do you restart the selected network adapter?",
                                             "Do you restart the selected network adapter?",
                                             "Network adapter is restarted. ",
                                             "Reset is failed.\nSee below log in detail. "}));
}

}  // namespace
