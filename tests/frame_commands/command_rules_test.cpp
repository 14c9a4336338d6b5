// The main window's table of commands: the shipped menu and toolbar hold
// exactly its commands, and its enabling rules as one table over frame
// states; the Start Monitoring rule by the adapters' definitions, the
// adapter proposals of Add Network Adapter. No display and no window: the
// table and the rules are asked as they are.
#include "app/frame/MainFrame.h"
#include "app/frame/rules/CommandRules.h"
#include "app/model/IOUsr.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <regex>
#include <set>

namespace {

using namespace qmx::commands;

// One adapter definition that serves TCP and the serial buses through a
// driver.
std::unique_ptr<NADef> MakeDefinition(const std::string& model) {
  auto def = std::make_unique<NADef>();
  def->ID = model;
  def->modelName = model;
  for (const char* type : {"TCP", "RS232C", "RS485"}) def->commTypeMap[type] = CommDriverEntry{type, "Tessivar", "dll", ""};
  return def;
}

class CommandRules : public qmx::test::ProgramServicesTest {
protected:
  void SetUp() override {
    ProgramServicesTest::SetUp();
    tcp = Definition("QMX-4101");
    module.ID = "QMX-1808";
    module.modelName = "QMX-1808";
  }

  CProjectUsr* Project(const std::string& commType, int code) {
    CProjectUsr* project = ws.CreateProject("Plant" + std::to_string(ws.Projects().size()), "/tmp");
    project->commType = commType;
    project->commTypeCode = code;
    return project;
  }
  CNAUsr* Adapter(const NADef* def, const std::string& title) {
    auto adapter = std::make_unique<CNAUsr>();
    adapter->SetNADef(def);
    TreeItem item = kNoTreeItem;
    CNAUsr* made = ws.CreateNA(title, def->ID, item, adapter.get());
    if (made) adapter.release();
    return made;
  }
  TreeItem Module(CNAUsr* adapter) {
    TreeItem item = kNoTreeItem;
    ws.CreateIO("DI", module.ID, item, &module, adapter->treeItem);
    return item;
  }

  // Definitions outlive the workspace's adapters.
  NADef* Definition(const std::string& model) { return defs.emplace_back(MakeDefinition(model)).get(); }

  std::vector<std::unique_ptr<NADef>> defs;
  NADef* tcp = nullptr;
  IODef module;
  ProjectWorkspace ws;
};

// Every command of the table, by menu: a row is a frame state, a column a
// command, 1 enabled.
TEST_F(CommandRules, EnablingMatrixOverFrameStates) {
  const std::vector<int> fileEdit = {
      kIdFileNew, kIdFileOpen, kIdFileClose, kIdFileSave, kIdFileSaveAs, kIdFileDocuPrj, kIdFileDocuNa,
      kIdFileInquiryPrj, kIdFileInquiryNa, kIdFilePrintSetup, kIdAppExit,
      kIdEditAddNa, kIdEditAddModule, kIdEditDelete, kIdEditRename, kIdEditUp, kIdEditDown, kIdEditProperties,
      kIdEditFactoryDefault, kIdEditGenerateXdd};
  const std::vector<int> others = {
      kIdViewAddrMap,
      kIdOnlineScan, kIdOnlineCompare, kIdOnlineDownload, kIdOnlineUpload, kIdOnlineResetPara, kIdOnlineCopyToPrj,
      kIdOnlineSpecialCmds, kIdStartMonitoring, kIdStopMonitoring,
      kIdChkValidPrj, kIdChkValidNa, kIdOptionsConfiguration, kIdToolsBootp, kIdToolsModbusMessenger,
      kIdHelpTopics, kIdHelpFinder, kIdHelpTechData, kIdAppAbout};
  ASSERT_EQ(fileEdit.size() + others.size(), CMainFrame::CommandSpecs().size());

  // What the tab host's active view takes (CanHandleCommand(id, 1)).
  const std::vector<int> noView;
  const std::vector<int> processImage = {kIdOnlineDownload, kIdOnlineUpload};
  const std::vector<int> parameters = {kIdOnlineDownload, kIdOnlineUpload, kIdOnlineResetPara, kIdEditFactoryDefault};
  const std::vector<int> moduleButton = {kIdEditDelete};
  struct Row {
    const char* state;
    std::function<void()> arrange;
    bool focus;
    const std::vector<int>* view;  // nullptr: no tab host
    bool xdd;                      // the XDD export takes the selection
    const char* fileEdit;
    const char* others;
  };
  CProjectUsr* project = nullptr;
  CNAUsr* adapter = nullptr;
  TreeItem moduleItem = kNoTreeItem;
  auto station = [&] {
    project = Project("TCP", kCommTcp);
    adapter = Adapter(tcp, "Line A");
    Module(adapter);
    moduleItem = Module(adapter);
  };
  auto select = [&](TreeItem item) { ws.tree().SelectItem(item); };
  const std::vector<Row> rows = {
      // Columns: File and Edit, then View, Online, Tools and Help.
      //  New Opn Clo Sav SvA DcP DcN InP InN Prt Ext AdN AdM Del Ren Up  Dwn Prp Fct Xdd
      //  Map Scn Cmp Dn  Up  Rst Cpy Spc StM SpM VlP VlN Cfg Btp Msg Hlp Fnd Tch Abt
      {"nothing open", [] {}, false, nullptr, false,
         "1   1   0   0   0   0   0   0   0   1   1   0   0   0   0   0   0   0   0   0",
         "0   0   0   0   0   0   0   0   0   0   0   0   1   1   1   1   1   1   1"},
      {"empty project", [&] { Project("TCP", kCommTcp); }, false, &noView, false,
         "1   1   1   1   1   0   0   0   0   1   1   1   0   0   0   0   0   1   0   0",
         "0   1   0   0   0   0   0   0   0   0   0   0   1   1   1   1   1   1   1"},
      {"project", [&] { station(); select(project->treeItem); }, true, &noView, false,
         "1   1   1   1   1   1   0   1   0   1   1   1   0   1   0   0   0   1   0   0",
         "0   1   0   0   0   0   0   0   1   0   1   0   1   1   1   1   1   1   1"},
      {"project the XDD export takes", [&] { station(); select(project->treeItem); }, true, &noView, true,
         "1   1   1   1   1   1   0   1   0   1   1   1   0   1   0   0   0   1   0   1",
         "0   1   0   0   0   0   0   0   1   0   1   0   1   1   1   1   1   1   1"},
      {"adapter", [&] { station(); select(adapter->treeItem); }, true, &noView, false,
         "1   1   1   1   1   1   1   1   1   1   1   1   1   1   1   0   0   1   0   0",
         "1   1   1   0   0   0   0   1   1   0   1   1   1   1   1   1   1   1   1"},
      {"module, tree focused", [&] { station(); select(moduleItem); }, true, &noView, false,
         "1   1   1   1   1   1   1   1   1   1   1   1   1   1   1   1   1   1   0   0",
         "1   1   1   0   0   0   0   1   1   0   1   1   1   1   1   1   1   1   1"},
      {"module, view focused", [&] { station(); select(moduleItem); }, false, &noView, false,
         "1   1   1   1   1   1   1   1   1   1   1   1   1   0   1   0   0   1   0   0",
         "1   1   1   0   0   0   0   1   1   0   1   1   1   1   1   1   1   1   1"},
      {"module, image view with a module button", [&] { station(); select(moduleItem); }, false, &moduleButton,
       false,
         "1   1   1   1   1   1   1   1   1   1   1   1   1   1   1   0   0   1   0   0",
         "1   1   1   0   0   0   0   1   1   0   1   1   1   1   1   1   1   1   1"},
      {"adapter, process image tab", [&] { station(); select(adapter->treeItem); }, false, &processImage, false,
         "1   1   1   1   1   1   1   1   1   1   1   1   1   0   1   0   0   1   0   0",
         "1   1   1   1   1   0   1   1   1   0   1   1   1   1   1   1   1   1   1"},
      {"module, parameter tab", [&] { station(); select(moduleItem); }, false, &parameters, false,
         "1   1   1   1   1   1   1   1   1   1   1   1   1   0   1   0   0   1   1   0",
         "1   1   1   1   1   1   1   1   1   0   1   1   1   1   1   1   1   1   1"},
      {"adapter, Product View", [&] { station(); ws.namingMode = 1; select(adapter->treeItem); }, true, &noView,
       false,
         "1   1   1   1   1   1   1   1   1   1   1   1   1   1   0   0   0   1   0   0",
         "1   1   1   0   0   0   0   1   1   0   1   1   1   1   1   1   1   1   1"},
      {"monitoring, process image tab", [&] { station(); project->monitoring = 1; select(adapter->treeItem); }, true,
       &processImage, false,
         "1   1   0   1   0   1   1   1   1   1   1   0   0   0   1   0   0   1   0   0",
         "1   0   0   1   0   0   1   0   0   1   1   1   1   1   1   1   1   1   1"},
      {"monitoring, parameter tab", [&] { station(); project->monitoring = 1; select(moduleItem); }, false,
       &parameters, false,
         "1   1   0   1   0   1   1   1   1   1   1   0   0   0   1   0   0   1   1   0",
         "1   0   0   1   0   0   1   0   0   1   1   1   1   1   1   1   1   1   1"},
      {"offline project", [&] {
         project = Project("Offline", kCommNone);
         adapter = Adapter(tcp, "Line B");
         select(adapter->treeItem);
       }, true, &processImage, false,
         "1   1   1   1   1   1   1   1   1   1   1   1   1   1   1   0   0   1   0   0",
         "1   0   0   0   0   0   0   0   0   0   1   1   1   1   1   1   1   1   1"},
  };
  for (const Row& row : rows) {
    while (!ws.Projects().empty()) ws.CloseProject(ws.Projects().front().get());
    ws.namingMode = 0;
    row.arrange();
    CommandContext context;
    context.workspace = &ws;
    context.treeHasFocus = row.focus;
    if (const std::vector<int>* view = row.view) {
      context.viewHandles = [view](int id) { return std::count(view->begin(), view->end(), id) ? 1 : 0; };
    }
    if (row.xdd) context.xddExportable = [] { return true; };
    auto line = [&](const std::vector<int>& ids) {
      std::string got;
      for (int id : ids) {
        got += std::string(got.empty() ? "" : "   ") + (CMainFrame::IsCommandEnabled(id, context) ? "1" : "0");
      }
      return got;
    };
    EXPECT_EQ(line(fileEdit), row.fileEdit) << row.state;
    EXPECT_EQ(line(others), row.others) << row.state;
  }
}

// The ids an element of a menu or toolbar file carries, as the window reads
// them.
std::multiset<int> ResourceIds(const std::string& file, const char* element) {
  const std::string text = qmx::test::ReadFile(qmx::test::SourcePath("resources/QMX410Tools/ui/" + file));
  const std::regex entry(std::string("<") + element + R"re(\s+id="(\d+)")re");
  std::multiset<int> ids;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), entry); it != std::sregex_iterator(); ++it) {
    ids.insert(std::stoi((*it)[1]));
  }
  return ids;
}

// A menu entry without a command in the table would never be enabled, and a
// command without an entry would be a stale row: the menu holds exactly the
// commands and the bars, each once; every toolbar button is a command.
TEST(CommandSpecs, TheShippedMenuHoldsExactlyTheCommandsAndTheBars) {
  std::multiset<int> expected(std::begin(kBarIds), std::end(kBarIds));
  for (const CommandSpec& spec : CMainFrame::CommandSpecs()) expected.insert(spec.id);
  EXPECT_EQ(ResourceIds("menu128.xml", "Item"), expected);

  const std::multiset<int> buttons = ResourceIds("toolbar128.xml", "Button");
  EXPECT_GE(buttons.size(), 10u);
  for (int id : buttons) EXPECT_NE(CMainFrame::FindCommandSpec(id), nullptr) << "toolbar button " << id;
}

TEST_F(CommandRules, AnIdWithoutACommandIsNeverEnabled) {
  Project("TCP", kCommTcp);
  ws.tree().SelectItem(Adapter(tcp, "Line A")->treeItem);
  CommandContext context;
  context.workspace = &ws;
  context.treeHasFocus = true;
  context.viewHandles = [](int) { return 1; };
  context.xddExportable = [] { return true; };
  ASSERT_TRUE(CMainFrame::IsCommandEnabled(kIdFileNew, context));
  for (int id : {0, 1, int{kIdViewModeCombo}, int{kIdViewLogBar}, qmx::toolkit::kRecentFileFirstId}) {
    EXPECT_FALSE(CMainFrame::IsCommandEnabled(id, context)) << id;
  }
  // Nor is any command without a workspace to read.
  context.workspace = nullptr;
  EXPECT_FALSE(CMainFrame::IsCommandEnabled(kIdFileNew, context));
}

TEST_F(CommandRules, StartMonitoringByTheAdaptersModelNotTheirNames) {
  NADef* excluded = Definition("KX-4410");
  NADef* offline = Definition("QMX-4109");
  offline->commTypeMap.clear();
  offline->commTypeMap["POWERLINK"] = CommDriverEntry{"POWERLINK", "", "", ""};
  struct Case {
    const char* what;
    std::vector<std::pair<const NADef*, std::string>> adapters;
    bool enabled;
  };
  const std::vector<Case> cases = {
      {"an excluded model, then an online one", {{excluded, "KX-4410"}, {tcp, "QMX-4101"}}, true},
      {"an online one, then an excluded model", {{tcp, "QMX-4101"}, {excluded, "KX-4410"}}, false},
      {"the excluded model renamed", {{tcp, "QMX-4101"}, {excluded, "Line 7"}}, false},
      {"an online adapter named like the model", {{excluded, "KX-4410"}, {tcp, "KX-4410 spare"}}, true},
      {"an offline adapter last", {{tcp, "QMX-4101"}, {offline, "QMX-4109"}}, true},
      {"offline only", {{offline, "QMX-4109"}}, false},
  };
  for (const Case& c : cases) {
    while (!ws.Projects().empty()) ws.CloseProject(ws.Projects().front().get());
    CProjectUsr* project = Project("TCP", kCommTcp);
    for (const auto& [def, name] : c.adapters) ASSERT_NE(Adapter(def, name), nullptr) << c.what;
    ws.tree().SelectItem(project->treeItem);
    EXPECT_EQ(CanStartMonitoring(ws), c.enabled) << c.what;
  }
}

TEST_F(CommandRules, AdapterProposalsByCommType) {
  CProjectUsr* serial = Project("RS232C", kCommRs232c);
  EXPECT_EQ(ProposeAdapterComm(*serial).comPort, "1");
  for (const char* port : {"1", "3"}) {
    ws.tree().SelectItem(serial->treeItem);
    CNAUsr* adapter = Adapter(tcp, std::string("COM") + port);
    adapter->comPort = port;
  }
  EXPECT_EQ(ProposeAdapterComm(*serial).comPort, "2");
  EXPECT_EQ(ProposeAdapterComm(*serial).nodeAddress, "");

  CProjectUsr* line = Project("RS485", kCommRs485);
  EXPECT_EQ(ProposeAdapterComm(*line).nodeAddress, "1");
  NADef* ranged = Definition("QMX-4105");
  ranged->settableNodeAddrRange.value = "5, 9";
  for (const char* node : {"5", "6", "8"}) {
    ws.tree().SelectItem(line->treeItem);
    CNAUsr* adapter = Adapter(ranged, std::string("Node ") + node);
    adapter->nodeAddress = node;
    adapter->comPort = "4";
    adapter->serialSettings = "19200, 8, EVENPARITY, 1";
  }
  const AdapterProposal next = ProposeAdapterComm(*line);
  EXPECT_EQ(next.nodeAddress, "7");
  EXPECT_EQ(next.comPort, "4");
  EXPECT_EQ(next.serialSettings, "19200, 8, EVENPARITY, 1");
}

}  // namespace
