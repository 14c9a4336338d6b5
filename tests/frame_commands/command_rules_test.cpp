// The enabling rules of the main menu as one table over frame states, the
// Start Monitoring rule by the adapters' definitions, the adapter proposals
// of Add Network Adapter. No display.
#include "app/frame/rules/CommandRules.h"
#include "app/model/IOUsr.h"
#include "app/model/NAUsr.h"
#include "app/model/ProjectUsr.h"
#include "app/model/ProjectWorkspace.h"
#include "tests/support/program_services.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

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

TEST_F(CommandRules, EnablingMatrixOverFrameStates) {
  // Columns, in this order.
  const int ids[] = {kIdFileNew,     kIdFileClose,      kIdFileSave,     kIdFileDocuPrj,  kIdFileDocuNa,
                     kIdEditAddNa,   kIdEditAddModule,  kIdEditDelete,   kIdEditUp,       kIdEditRename,
                     kIdEditProperties, kIdOnlineScan,  kIdOnlineCompare, kIdOnlineDownload, kIdOnlineUpload,
                     kIdStartMonitoring, kIdStopMonitoring, kIdViewAddrMap, kIdToolsBootp,  kIdHelpTopics};
  struct Row {
    const char* state;
    std::function<void()> arrange;
    bool focus;
    int viewHandles;  // -1: no tab host; else the command it handles (0 none)
    const char* expected;
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
  const std::vector<Row> rows = {
      //                                                 New Clo Sav DcP DcN AdN AdM Del Up  Ren Prp Scn Cmp Dn  Up  StM SpM Map Btp Hlp
      {"nothing open", [] {}, false, -1,                 "1   0   0   0   0   0   0   0   0   0   0   0   0   0   0   0   0   0   1   1"},
      {"empty project", [&] { Project("TCP", kCommTcp); }, false, 0,
                                                         "1   1   1   0   0   1   0   0   0   0   1   1   0   0   0   0   0   0   1   1"},
      {"project", [&] { station(); ws.tree().SelectItem(project->treeItem); }, true, 0,
                                                         "1   1   1   1   0   1   0   1   0   0   1   1   0   0   0   1   0   0   1   1"},
      {"adapter", [&] { station(); ws.tree().SelectItem(adapter->treeItem); }, true, 0,
                                                         "1   1   1   1   1   1   1   1   0   1   1   1   1   0   0   1   0   1   1   1"},
      {"module, tree focused", [&] { station(); ws.tree().SelectItem(moduleItem); }, true, 0,
                                                         "1   1   1   1   1   1   1   1   1   1   1   1   1   0   0   1   0   1   1   1"},
      {"module, view focused", [&] { station(); ws.tree().SelectItem(moduleItem); }, false, 0,
                                                         "1   1   1   1   1   1   1   0   0   1   1   1   1   0   0   1   0   1   1   1"},
      {"module, image view with a module button", [&] { station(); ws.tree().SelectItem(moduleItem); }, false,
       kIdEditDelete,                                    "1   1   1   1   1   1   1   1   0   1   1   1   1   0   0   1   0   1   1   1"},
      {"adapter, process image tab", [&] { station(); ws.tree().SelectItem(adapter->treeItem); }, false, 1,
                                                         "1   1   1   1   1   1   1   0   0   1   1   1   1   1   1   1   0   1   1   1"},
      {"adapter, Product View", [&] { station(); ws.namingMode = 1; ws.tree().SelectItem(adapter->treeItem); }, true,
       0,                                                "1   1   1   1   1   1   1   1   0   0   1   1   1   0   0   1   0   1   1   1"},
      {"monitoring, process image tab",
       [&] { station(); project->monitoring = 1; ws.tree().SelectItem(adapter->treeItem); }, true, 1,
                                                         "1   0   1   1   1   0   0   0   0   1   1   0   0   1   0   0   1   1   1   1"},
      {"offline project", [&] {
         project = Project("Offline", kCommNone);
         adapter = Adapter(tcp, "Line B");
         ws.tree().SelectItem(adapter->treeItem);
       }, true, 1,                                       "1   1   1   1   1   1   1   1   0   1   1   0   0   0   0   0   0   1   1   1"},
  };
  for (const Row& row : rows) {
    while (!ws.Projects().empty()) ws.CloseProject(ws.Projects().front().get());
    ws.namingMode = 0;
    row.arrange();
    CommandContext context;
    context.workspace = &ws;
    context.treeHasFocus = row.focus;
    if (row.viewHandles >= 0) {
      // The process image tab takes the transfers; a module button Delete.
      const int handled = row.viewHandles;
      context.viewHandles = [handled](int id) {
        if (handled == 1) return id == kIdOnlineDownload || id == kIdOnlineUpload ? 1 : 0;
        return id == handled ? 1 : 0;
      };
    }
    std::string got;
    for (int id : ids) got += std::string(got.empty() ? "" : "   ") + (IsCommandEnabled(id, context) ? "1" : "0");
    EXPECT_EQ(got, row.expected) << row.state;
  }
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
