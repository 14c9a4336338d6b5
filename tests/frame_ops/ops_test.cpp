// The online commands without a display: the comparison rules as one table,
// and the commissioning road against the device simulator through the staged
// driver library (download, upload, compare, monitoring with its timers and
// status icons, bus errors and field power off, a station that dies and
// comes back, stop).
#include "app/frame/ProgramServices.h"
#include "app/frame/online/OnlineOperations.h"
#include "app/model/DataTypes.h"
#include "app/model/IOCatalogue.h"
#include "app/model/IOUsr.h"
#include "app/model/Logging.h"
#include "app/model/NACatalogue.h"
#include "app/model/NADef.h"
#include "app/model/NAUsr.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/Services.h"
#include "app/model/TextIdList.h"
#include "common/Utility.h"
#include "tests/support/model_log_capture.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"
#include "tools/simulator/testing/simulator_process.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <tuple>

namespace {

using namespace std::chrono_literals;

bool Eventually(const std::function<bool()>& check, std::chrono::milliseconds limit = 8s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (check()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return check();
}

// A loopback address of this test process: the definition fixes port 502.
std::string LoopbackAddress() {
  static int next = 1;
  return StrFormat("127.%d.%d.%d", 30 + getpid() % 200, (getpid() / 200) % 250, next++);
}

class OpsTest : public qmx::test::ProgramServicesTest {
protected:
  void SetUp() override {
    ProgramServicesTest::SetUp();
    ASSERT_TRUE(qmx::test::LoadShippedCatalogues(ws, textIds, adapters, modules));
    ASSERT_EQ(ParseErrorFile(ErrorListPath(qmx::test::DistDir().string(), "Eng"), errors), 1);
    qmx::ProgramServices& services = qmx::Services();
    services.messageBox = [this](const std::string& text, unsigned) {
      boxes.push_back(text);
      return qmx::kBoxIdYes;
    };
    services.adapterOf = [this](const Wrapper& object) { return ws.AdapterOf(object); };
    services.modulesOf = [this](const CNAUsr& adapter) { return ws.ModulesOf(adapter); };
    services.multiDropDriverFile = [this](const std::string& commType, int& code) {
      return qmx::MultiDropDriverFile(adapters, commType, code);
    };
    OnlineUi& ui = ops.ui;
    ui.activeTab = [this] { return tab; };
    ui.updateOnlineVals = [this](const std::string& view, int) { viewUpdates.push_back(view); };
    ui.refreshView = [](int, const std::string&) {};
    ui.downloadTarget = [this](const std::string&, const std::string&, const std::string&, const std::string&) {
      return targetAnswer;
    };
    ui.validationResult = [this](const std::string&, const std::string&, TreeItem, const std::string&,
                                 ValidationList& rows) { invalidRows += static_cast<int>(rows.size()); };
    ui.compareDialog = [this](const std::string&, const std::string&, CNAUsr*, TreeItem, CompareResultList& rows) {
      compareRows = rows;
    };
    ui.runWithProgress = [this](const std::string& text, int, const std::function<int()>& op) {
      progress.push_back(text);
      return op();
    };
    ui.setTimer = [this](int id, int ms) { timers[id] = ms; };
    ui.killTimer = [this](int id) { timers.erase(id); };
  }

  void TearDown() override {
    for (const auto& project : ws.Projects()) {
      if (project->monitoring == 1) {
        ws.tree().SelectItem(project->treeItem);
        ops.OnOnlineMonStopPrj();
      }
    }
    while (!ws.Projects().empty()) ws.CloseProject(ws.Projects().front().get());
    ProgramServicesTest::TearDown();
  }

  // The shipped TCP example station at `ip`, selected.
  CNAUsr* TcpStation(const std::string& ip, const std::vector<std::string>& ids) {
    project = ws.CreateProject("Plant", dir.path().string());
    project->SetCommType("TCP");
    TreeItem naItem = kNoTreeItem;
    CNAUsr* na = ws.CreateNA("Station 1", "QMX-4101", naItem, nullptr);
    na->SetCommSettings(ip, "", "", "1");
    for (const std::string& id : ids) {
      TreeItem item = kNoTreeItem;
      ws.CreateIO(id, id, item, nullptr, naItem);
    }
    ws.ReNumberingIOsDispath(kTypeProject, project->treeItem);
    ws.tree().SelectItem(naItem);
    return na;
  }
  std::string Dump() {
    std::string text;
    for (const auto& r : log.Records()) text += std::to_string(r.category) + " " + r.text + "\n";
    return text;
  }
  CIOUsr* Module(CNAUsr* na, size_t slot) { return ws.ModulesOf(*na).at(slot - 1); }
  int Image(const Wrapper* object) { return ws.tree().GetItemImage(ws.tree().FindItem(object)); }
  void Select(const Wrapper* object) { ws.tree().SelectItem(ws.tree().FindItem(object)); }

  ModelLogCapture log;
  TextIdMap textIds;
  ErrorMap errors;
  NACatalogue adapters;
  IOCatalogue modules;
  ProjectWorkspace ws;
  ConfigValidator validator{ws, errors};
  CompareEngine engine{ws, adapters, modules};
  OnlineOperations ops{ws, validator, engine};
  CProjectUsr* project = nullptr;
  qmx::test::TempDir dir{"qmx-ops"};

  int tab = 3;
  int targetAnswer = kTargetWithModules;
  int invalidRows = 0;
  std::vector<std::string> boxes;
  std::vector<std::string> viewUpdates;
  std::vector<std::string> progress;
  CompareResultList compareRows;
  std::map<int, int> timers;
};

// ---------------------------------------------------------------------------
// The comparison rules

struct ValueCase {
  int type;
  uint16_t size;
  uint16_t bitOffset;
  std::vector<uint8_t> offline, online;
  int same;
  std::string offlineText, onlineText;
};

TEST_F(OpsTest, ComparisonRulesTable) {
  auto f32 = [](float v) {
    std::vector<uint8_t> b(4);
    std::memcpy(b.data(), &v, 4);
    return b;
  };
  auto f64 = [](double v) {
    std::vector<uint8_t> b(8);
    std::memcpy(b.data(), &v, 8);
    return b;
  };
  const std::vector<ValueCase> cases = {
      {kDataTypeBit, 1, 3, {0x08}, {0xF8}, 1, "", ""},  // other bits do not count
      {kDataTypeBit, 1, 3, {0x00}, {0x08}, 0, "0", "1"},
      {kDataTypeBitArea, 3, 1, {0x0C}, {0x04}, 0, "6", "2"},
      {kDataTypeInteger8, 1, 0, {0xFF}, {0x01}, 0, "-1", "1"},
      {kDataTypeInteger16, 1, 0, {0xFE, 0xFF}, {0x02, 0x00}, 0, "-2", "2"},
      {kDataTypeUnsigned16, 1, 0, {0x34, 0x12}, {0x35, 0x12}, 0, "4660", "4661"},
      {kDataTypeUnsigned32, 1, 0, {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0, 0, 0}, 0, "4294967295", "0"},
      // Floating-point and 64-bit values compare by value.
      {kDataTypeFloat32, 1, 0, f32(1.5f), f32(1.5f), 1, "", ""},
      {kDataTypeFloat32, 1, 0, f32(0.0f), f32(-0.0f), 1, "", ""},
      {kDataTypeFloat32, 1, 0, f32(1.5f), f32(2.5f), 0, "1.5", "2.5"},
      {kDataTypeFloat64, 1, 0, f64(0.25), f64(0.25), 1, "", ""},
      {kDataTypeInteger64, 1, 0, {0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {5, 0, 0, 0, 0, 0, 0, 0}, 0, "-5",
       "5"},
      {kDataTypeUnsigned64, 1, 0, {1, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}, 1, "", ""},
      {kDataTypeIPAddr, 4, 0, {192, 168, 0, 1}, {192, 168, 0, 2}, 0, "192.168.0.1", "192.168.0.2"},
      {kDataTypeByteArea, 2, 0, {0x34, 0x12}, {0x00, 0x12}, 0, "0x1234", "0x1200"},
      {kDataTypeString, 3, 0, {'A', 'B', 0}, {'A', 'C', 0}, 0, "AB", "AC"},
      {kDataTypeUndefined, 2, 0, {0x01, 0x02}, {0x01, 0x02}, 1, "", ""},
      {kDataTypeUndefined, 2, 0, {0x01, 0x02}, {0x01, 0x03}, 0, "0x0201", "0x0301"},
      // Refused records and values beyond an image are never equal.
      {kDataTypeBit, 2, 0, {0}, {0}, 0, "", ""},
      {kDataTypeBitArea, 1, 0, {0}, {0}, 0, "", ""},
      {kDataTypeBitArea, 4, 6, {0}, {0}, 0, "", ""},
      {kDataTypeInteger16, 2, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, 0, "", ""},
      {kDataTypeUnsigned8, 0, 0, {0}, {0}, 0, "", ""},
      {kDataTypeUnsigned32, 1, 0, {0, 0}, {0, 0}, 0, "", ""},
  };
  CIOUsr object;
  for (size_t i = 0; i < cases.size(); ++i) {
    const ValueCase& c = cases[i];
    ParaItem para;
    para.dataType = c.type;
    para.length = c.size;
    para.bitOffset = c.bitOffset;
    std::string off = "x", on = "x";
    EXPECT_EQ(engine.ComareValue(para, c.offline.data(), static_cast<int>(c.offline.size()), c.online.data(),
                                 static_cast<int>(c.online.size()), object, off, on),
              c.same)
        << "case " << i;
    EXPECT_EQ(off, c.offlineText) << "case " << i;
    EXPECT_EQ(on, c.onlineText) << "case " << i;
  }

  // Product codes of the adapter: project against station.
  const struct {
    uint16_t project, online;
    bool match;
  } codes[] = {{0, 0x4101, true}, {0x4101, 0x4101, true}, {0x402, 0x401, true}, {0x401, 0x402, false},
               {0x4101, 0x4102, false}};
  for (const auto& c : codes) EXPECT_EQ(AdapterProductMatches(c.project, c.online), c.match) << c.project;

  // Display texts of the adapter's information values.
  const struct {
    const char* key;
    const char* value;
    const char* language;
    const char* text;
  } texts[] = {
      {"Firmware", "0105", "Eng", "1.05"},
      {"firmware", "1A05", "Eng", "1A.05"},
      {"FirmwareDate", "20261209", "Kor", "2026/12/09"},
      {"FirmwareDate", "20261209", "eng", "12/09/2026"},
      {"SubnetMask", "00FFFFFF", "Eng", "255.255.255.0"},
      {"MacAddress", "665544332211", "Eng", "11:22:33:44:55:66"},
      {"DipSwitch", "0381", "Eng", "Now:10000001. DIP:11000000"},
      {"BusStatus", "0082", "Eng", "Communication Fault"},
      {"BusStatus", "0000", "Eng", "Normal"},
      {"FieldPwrStatus", "0080", "Eng", "Field power OFF"},
      {"WatchdogErr", "0000", "Eng", "No Error"},
      {"LiveSlots", "01020304", "Eng", "00100000 11000000 01000000 10000000"},
      {"AlarmSlots", "0102", "Eng", "00000000 00000000 01000000 10000000"},  // two bytes: the rest read 0
      {"InactiveSlots", "010", "Eng", "010"},                                 // too short: unchanged, logged
      {"IPaddress", "10.0.7", "Eng", "10.0.7"},  // too short: unchanged, logged
      {"IPaddress", "010.000.007.001", "Eng", "10.0.7.1"},
      {"OtherKey", "ABCD", "Eng", "ABCD"},
      // As the parameter view reads them: "0x" and the digits.
      {"Firmware", "0x0105", "Eng", "1.05"},
      {"SubnetMask", "0X00FFFFFF", "Eng", "255.255.255.0"},
      {"OtherKey", "0xABCD", "Eng", "0xABCD"},
  };
  for (const auto& t : texts) EXPECT_EQ(GetCommBlockDisplayVal(t.key, t.value, nullptr, t.language), t.text) << t.key;
  EXPECT_TRUE(log.Has("[Bug] Mismatch xml definition with src. Key: IPaddress. Val: 10.0.7. Func:GetCommBlockDisplayVal"));

  // With the adapter's expansion-slot count the slot texts are cut to it.
  CNAUsr* na = TcpStation(LoopbackAddress(), {"QMX-1808"});
  std::vector<ModuleListRecord> records;
  MakeModuleList(*na, records);
  const ParaItem* slots = na->GetNADef()->FindCommInitParaByID("T_ExpansionSlotNo");
  ASSERT_NE(slots, nullptr);
  na->OnlineImage(kOnlineMonInit)[slots->byteOffset] = 10;
  EXPECT_EQ(GetCommBlockDisplayVal("LiveSlots", "01020304", na, "Eng"), "00100000 11");
}

// ---------------------------------------------------------------------------
// The commissioning road against a simulated station

TEST_F(OpsTest, CommissioningRoadAgainstTheSimulator) {
  const std::string ip = LoopbackAddress();
  const std::vector<std::string> station = {"QMX-1808", "QMX-2808", "QMX-3404", "QMX-4402", "QMX-7124"};
  auto simulator = std::make_unique<qmx::sim::SimulatorProcess>(std::vector<std::string>{
      "--model", "QMX-4101", "--modules", "QMX-1808,QMX-2808,QMX-3404,QMX-4402,QMX-7124", "--freeze", "--tcp",
      ip + ":502"});
  ASSERT_TRUE(simulator->Start()) << simulator->error();
  CNAUsr* na = TcpStation(ip, station);
  ASSERT_TRUE(na->HasDriver());

  // Parameters of the adapter and its modules down, then back into a
  // cleared project: the same bytes.
  CIOUsr* analogIn = Module(na, 3);
  ASSERT_GT(analogIn->ParaLength(), 0);
  for (uint8_t& b : analogIn->paraImage()) b = static_cast<uint8_t>(b ^ 0x01);
  const std::vector<uint8_t> downloaded = analogIn->paraImage();
  tab = 3;
  ops.OnOnlineDn();
  const std::string label = na->GetLabel(0);
  EXPECT_TRUE(log.Has("Download is completed. Source: Parameter. Target. " + label + " and IO modules")) << Dump();
  EXPECT_EQ(progress.back(), "Downloading Parameter. Target: " + label + " and IO modules.");
  std::fill(analogIn->paraImage().begin(), analogIn->paraImage().end(), 0);
  project->modified = 0;
  ops.OnOnlineCopyToOffline();
  EXPECT_EQ(analogIn->paraImage(), downloaded);
  EXPECT_EQ(project->modified, 1);

  // A parameter changed in the project only: one row under the module's header.
  analogIn->paraImage()[0] = static_cast<uint8_t>(analogIn->paraImage()[0] ^ 0x01);
  CompareResultList paraRows;
  EXPECT_EQ(engine.CompareOffline(paraRows, "NA", na, ws.tree().FindItem(na), 1, 1), kCompareDifferent);
  EXPECT_EQ(paraRows, (CompareResultList{{1, 1, analogIn->GetLabel(0), "", "", ""},
                                          {1, 0, "Channel Enable", "15", "14", "Mismatch value"}}));
  analogIn->paraImage() = downloaded;

  // An output of the selected module, then its read-back.
  tab = 2;
  CIOUsr* digitalOut = Module(na, 2);
  digitalOut->outputImage()[0] = 0x5A;
  Select(digitalOut);
  // A user's name that reads like a model the process image refuses.
  ws.tree().SetItemText(ws.tree().FindItem(digitalOut), "KX-4410 renamed");
  ops.OnOnlineDn();
  EXPECT_EQ(simulator->Command("get output 2"), "OK 5A");
  EXPECT_EQ(viewUpdates.back(), "ProcessImgView");

  // A module the station lacks, and one it has that the project lacks.
  CompareResultList rows;
  EXPECT_EQ(engine.CompareOffline(rows, "NA", na, ws.tree().FindItem(na), 1, 0), kCompareEqual);
  TreeItem extra = kNoTreeItem;
  Select(Module(na, 5));  // a new module goes after the selected one
  ws.CreateIO("QMX-1816", "QMX-1816", extra, nullptr, ws.tree().FindItem(na));
  ws.ReNumberingIOsDispath(kTypeProject, project->treeItem);
  Select(na);
  ops.OnOnlineDn();
  ASSERT_EQ(compareRows.size(), 1u);
  EXPECT_EQ(compareRows[0], CompareResultItem(0, 0, "06: Non-exist online", "QMX-1816", "X", ""));
  ws.RemoveUsrObj(extra, ws.tree().GetItemData(extra), "QMX-1816", 0);
  ws.RemoveUsrObj(ws.tree().FindItem(Module(na, 5)), Module(na, 5), "QMX-7124", 0);
  rows.clear();
  EXPECT_EQ(engine.CompareOffline(rows, "NA", na, ws.tree().FindItem(na), 1, 1), kCompareDifferent);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], CompareResultItem(0, 0, "Non-exist offline", "X", "QMX-7124", ""));
  TreeItem power = kNoTreeItem;
  Select(Module(na, 4));
  ws.CreateIO("QMX-7124", "QMX-7124", power, nullptr, ws.tree().FindItem(na));
  ws.ReNumberingIOsDispath(kTypeProject, project->treeItem);

  // Monitoring: both timers, the project's icon, inputs that change.
  ws.tree().SelectItem(project->treeItem);
  ops.OnOnlineMonStartPrj();
  ASSERT_EQ(project->monitoring, 1) << Dump();
  EXPECT_EQ(timers, (std::map<int, int>{{kStatusTimerId, 1000}, {project->timerId, 500}}));
  EXPECT_EQ(Image(project), kImageProjectMonitoring);
  EXPECT_TRUE(log.Has("Project monitoring is started. Project: Plant."));
  ASSERT_TRUE(simulator->Ok("input 1 A5"));
  CIOUsr* digitalIn = Module(na, 1);
  auto inputSeen = [&](uint8_t value) {
    return Eventually([&] {
      ops.OnTimer(project->timerId);
      const OnlineBytes bytes = na->ReadOnlineData(digitalIn, 0, kOnlineInput, 1, "test", 0, 0);
      return bytes && bytes.data()[0] == value;
    }, 15s);
  };
  EXPECT_TRUE(inputSeen(0xA5));
  EXPECT_EQ(viewUpdates.back(), "");
  EXPECT_TRUE(Eventually([&] {
    ops.OnTimer(kStatusTimerId);
    return Image(na) == 25;
  }));

  // The bus-status register, through the status block (image kind 5 of the
  // adapter's own instance: state 1, then the register low byte first), to
  // the station's picture. Low byte: bus state in bits 0-6 (2 and 3 are bus
  // errors), bit 7 field power off; high byte: the watchdog, no picture's.
  void* library = ::dlopen((qmx::test::DistDir() / "Tessivar.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  const auto read = reinterpret_cast<PFN_drvRead>(::dlsym(library, "drvRead"));
  ASSERT_NE(read, nullptr);
  auto statusBlock = [&] {
    uint8_t b[4] = {};
    if (read(na->GetDriverHandle(), na->Key(), 0, DRV_IMAGE_STATUS, b) != 1) return std::string("none");
    return StrFormat("%02X%02X%02X%02X", b[0], b[1], b[2], b[3]);
  };
  for (const auto& [word, block, picture] : std::vector<std::tuple<std::string, std::string, int>>{
           {"0081", "01008100", kImageAdapterFieldPowerFault}, {"0002", "01000200", kImageAdapterBusError},
           {"0083", "01008300", kImageAdapterBusErrorAndFieldPower}, {"0001", "01000100", 25},
           {"0004", "01000400", 25}, {"8080", "01008080", kImageAdapterFieldPowerFault}, {"0000", "01000000", 25}}) {
    ASSERT_TRUE(simulator->Ok("object 0x1119 " + word));
    EXPECT_TRUE(Eventually([&] {
      ops.OnTimer(kStatusTimerId);
      return statusBlock() == block && Image(na) == picture;
    })) << word << ": " << statusBlock() << ", picture " << Image(na);
  }

  // Forcing an output while monitoring: queued, no progress window.
  tab = 2;
  Select(digitalOut);
  digitalOut->outputImage()[0] = 0x3C;
  const size_t progressBefore = progress.size();
  ops.OnOnlineDn();
  EXPECT_EQ(progress.size(), progressBefore);
  EXPECT_TRUE(Eventually([&] { return simulator->Command("get output 2") == "OK 3C"; }));

  // The station dies: fault icons; it comes back: running again.
  simulator->Stop();
  EXPECT_TRUE(Eventually([&] {
    ops.OnTimer(kStatusTimerId);
    return Image(na) == kImageAdapterFault && Image(project) == kImageProjectAllFailed;
  }, 20s));
  simulator = std::make_unique<qmx::sim::SimulatorProcess>(std::vector<std::string>{
      "--model", "QMX-4101", "--modules", "QMX-1808,QMX-2808,QMX-3404,QMX-4402,QMX-7124", "--freeze", "--tcp",
      ip + ":502"});
  ASSERT_TRUE(simulator->Start()) << simulator->error();
  EXPECT_TRUE(Eventually([&] {
    ops.OnTimer(kStatusTimerId);
    return Image(na) == 25 && Image(project) == kImageProjectMonitoring;
  }, 30s));

  // Stop: the timers go, the icons return.
  ws.tree().SelectItem(project->treeItem);
  ops.OnOnlineMonStopPrj();
  EXPECT_EQ(boxes.back(), "Do you stop 'Plant' project monitoring?");
  EXPECT_EQ(project->monitoring, 0);
  EXPECT_EQ(na->monitoring, 0);
  EXPECT_TRUE(timers.empty());
  // The station's own picture again, its group's (a TCP adapter's, not the
  // RTU adapter's that the generic adapter image shows).
  EXPECT_EQ(Image(na), na->GetNADef()->iconIdx);
  EXPECT_NE(Image(na), kImageAdapter);
  EXPECT_EQ(Image(project), kProjectTreeImage);
  EXPECT_TRUE(log.Has("Project monitoring is stopped. Project: Plant."));
}

// Two stations on one RS485 line share the project's driver instance:
// compare, monitor with inputs that change, stop.
TEST_F(OpsTest, Rs485LineMonitorsOnTheSharedInstance) {
  ::setenv("QMX_COM_DIR", dir.path().c_str(), 1);
  qmx::sim::PtyPair line(dir.path());
  ASSERT_TRUE(line.Start()) << line.error();
  qmx::sim::SimulatorProcess simulator({"--model", "QMX-4105", "--modules", "QMX-1816,QMX-2816", "--freeze", "--rtu",
                                        line.peer().string(), "--serial", "9600,8,N,1", "--nodes", "1,2"});
  ASSERT_TRUE(simulator.Start()) << simulator.error();
  project = ws.CreateProject("Line", dir.path().string());
  project->SetCommType("RS485");
  ASSERT_TRUE(project->HasSharedDriver()) << Dump();
  std::vector<CNAUsr*> stations;
  for (const char* node : {"1", "2"}) {
    ws.tree().SelectItem(project->treeItem);
    TreeItem naItem = kNoTreeItem;
    CNAUsr* na = ws.CreateNA(std::string("Node ") + node, "QMX-4105", naItem, nullptr);
    na->SetCommSettings("", "7", "9600, 8, NOPARITY, 1", node);
    for (const char* id : {"QMX-1816", "QMX-2816"}) {
      ws.tree().SelectItem(naItem);
      TreeItem item = kNoTreeItem;
      ws.CreateIO(id, id, item, nullptr, naItem);
    }
    stations.push_back(na);
  }
  ws.ReNumberingIOsDispath(kTypeProject, project->treeItem);
  CompareResultList rows;
  for (CNAUsr* na : stations) {
    EXPECT_EQ(engine.CompareOffline(rows, "NA", na, ws.tree().FindItem(na), 1, 0), kCompareEqual) << Dump();
  }
  // A fresh station holds other parameter values than the project.
  EXPECT_EQ(engine.CompareOffline(rows, "NA", stations[0], ws.tree().FindItem(stations[0]), 1, 1), kCompareDifferent);
  EXPECT_EQ(rows[1], CompareResultItem(1, 0, "Watchdog Time", "500", "0", "Mismatch value"));
  ws.tree().SelectItem(project->treeItem);
  ops.OnOnlineMonStartPrj();
  ASSERT_EQ(project->monitoring, 1) << Dump();
  ASSERT_TRUE(simulator.Ok("input 1 5AA5 node=2"));
  CIOUsr* inputs = Module(stations[1], 1);
  EXPECT_TRUE(Eventually([&] {
    ops.OnTimer(kStatusTimerId);
    const OnlineBytes bytes = stations[1]->ReadOnlineData(inputs, 0, kOnlineInput, 1, "test", 0, 0);
    return bytes && bytes.data()[0] == 0x5A && bytes.data()[1] == 0xA5 && Image(stations[0]) == 25 &&
           Image(stations[1]) == 25;
  })) << Dump();
  ops.OnOnlineMonStopPrj();
  EXPECT_EQ(project->monitoring, 0);
  EXPECT_EQ(stations[0]->monitoring + stations[1]->monitoring, 0);
  EXPECT_TRUE(timers.empty());
}

// Factory defaults of a project reach every adapter and module, and the
// project has to be saved again.
TEST_F(OpsTest, FactoryDefaultsMarkTheProjectModified) {
  CNAUsr* na = TcpStation(LoopbackAddress(), {"QMX-3404"});
  CIOUsr* module = Module(na, 1);
  const std::vector<uint8_t> defaults = module->paraImage();
  module->paraImage()[1] = 7;
  na->paraImage()[0] = static_cast<uint8_t>(na->paraImage()[0] + 1);
  project->modified = 0;
  EXPECT_EQ(ops.SetParaFactoryVal(project->treeItem, project, 1), 1);
  EXPECT_EQ(module->paraImage(), defaults);
  EXPECT_EQ(na->paraImage(), *na->GetDefaultParaImage());
  EXPECT_EQ(project->modified, 1);
}

// A second project whose adapter has the same address may not start.
TEST_F(OpsTest, SameAddressMonitoringIsRefused) {
  const std::string ip = LoopbackAddress();
  qmx::sim::SimulatorProcess simulator(
      {"--model", "QMX-4101", "--modules", "QMX-1808", "--freeze", "--tcp", ip + ":502"});
  ASSERT_TRUE(simulator.Start()) << simulator.error();
  CNAUsr* first = TcpStation(ip, {"QMX-1808"});
  ws.tree().SelectItem(project->treeItem);
  ops.OnOnlineMonStartPrj();
  ASSERT_EQ(project->monitoring, 1) << Dump();
  CProjectUsr* firstProject = project;
  TcpStation(ip, {"QMX-1808"});
  ws.tree().SelectItem(project->treeItem);
  ops.OnOnlineMonStartPrj();
  EXPECT_EQ(project->monitoring, 0);
  EXPECT_EQ(boxes.back(), "Network adapter having same communication properties is monitoring.\nSee below log in detail.");
  EXPECT_TRUE(log.Has("Network adapter during monitring have same communication properties. NA: " + first->GetLabel(0) +
                      "."));
  // Stopping the only monitoring project kills the status timer as well.
  ws.tree().SelectItem(firstProject->treeItem);
  ops.OnOnlineMonStopPrj();
  EXPECT_TRUE(timers.empty());
  EXPECT_EQ(first->monitoring, 0);
}

}  // namespace
