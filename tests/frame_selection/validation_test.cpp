// Configuration validation on small projects made of the shipped device
// descriptions (numbers adjusted per case): the rules of one adapter, the
// rules of a project, the dialog's property check and the check before a
// module is removed or moved.
#include "tests/frame_selection/workspace_fixture.h"
#include "tests/support/test_support.h"

#include "app/model/ConfigValidation.h"

#include <optional>

namespace {

std::string Products(const std::string& name) {
  return qmx::test::SourcePath("resources/QMX410Tools/Products/" + name).string();
}

// One module of a case: a shipped description with some numbers replaced.
struct ModuleSpec {
  const char* file;
  const char* power = nullptr;   // PowerDissipation
  const char* group = nullptr;   // FieldPower ("" none)
  int cutoff = -1;               // FieldPwrCutoffBefore
  int freeNext = -1;             // FieldPwrFreeNext
};

// A project made of shipped descriptions, in a workspace of its own.
struct Bench {
  Bench(const TextIdMap& texts, const std::string& adapterFile, int typeCode, const std::string& type)
      : texts(texts) {
    ws.SetCatalogues(&adapters, &modules);
    ParseNA(Products("NA/" + adapterFile), 0, texts, adapters.definitions);
    EXPECT_FALSE(adapters.definitions.empty());
    def = adapters.definitions.back().get();
    project = ws.CreateProject("P", "/tmp");
    project->commType = type;  // no driver is loaded for these checks
    project->commTypeCode = typeCode;
  }

  CNAUsr* AddAdapter(const std::string& name) {
    ws.tree().SelectItem(project->treeItem);
    TreeItem item = kNoTreeItem;
    return ws.CreateNA(name, def->ID, item, nullptr);
  }

  std::vector<CIOUsr*> AddModules(CNAUsr* adapter, const std::vector<ModuleSpec>& specs) {
    std::vector<CIOUsr*> made;
    ws.tree().SelectItem(adapter->treeItem);
    for (const ModuleSpec& spec : specs) {
      auto io = std::make_unique<IODef>();
      bool complete = false;
      ParseIO(Products(std::string("IO/") + spec.file), 3, texts, *io, complete);
      EXPECT_TRUE(complete) << spec.file;
      if (spec.power) io->powerDissipation.value = spec.power;
      if (spec.group) io->fieldPower.value = spec.group;
      if (spec.cutoff >= 0) io->fieldPwrCutoffBefore = spec.cutoff;
      if (spec.freeNext >= 0) io->fieldPwrFreeNext = spec.freeNext;
      TreeItem item = kNoTreeItem;
      made.push_back(ws.CreateIO(spec.file, "", item, io.get(), adapter->treeItem));
      owned.push_back(std::move(io));
    }
    ws.ReNumberingIOsDispath("NA", adapter->treeItem);
    return made;
  }

  const TextIdMap& texts;
  NACatalogue adapters;
  IOCatalogue modules;
  std::vector<std::unique_ptr<IODef>> owned;
  ProjectWorkspace ws;  // last: its objects go before the definitions
  NADef* def = nullptr;
  CProjectUsr* project = nullptr;
};

class Validation : public WorkspaceTest {
protected:
  void SetUp() override {
    WorkspaceTest::SetUp();
    ParseTextIdFile(Products("listTextIdEng.xml"), texts);
    ParseErrorFile(Products("listErrorEng.xml"), errors);
  }
  TextIdMap texts;
  ErrorMap errors;
};

// (module index, rule code) of every failed rule, in row order.
using Failures = std::vector<std::pair<int, int>>;

Failures FailuresOf(const ValidationList& rows, const std::vector<CIOUsr*>& modules) {
  Failures out;
  for (const auto& row : rows) {
    if (row->kind != "Error") continue;
    int index = -1;
    for (size_t i = 0; i < modules.size(); ++i)
      if (modules[i]->treeItem == row->treeItem) index = static_cast<int>(i);
    out.emplace_back(index, row->code);
  }
  return out;
}

TEST_F(Validation, AdapterRules) {
  struct Case {
    const char* name;
    std::vector<ModuleSpec> modules;
    Failures expected;
    const char* maxPower = "1000";
    const char* maxExpansion = "32";
    int inputRoom = 256;  // input bytes allowed beyond the adapter's own
  };
  const ModuleSpec kPower{"QMX-7124.xml"};  // adds 1000 mA, cuts off and frees the field power
  const std::vector<Case> cases = {
      {"within budget", {{"QMX-3408.xml", "400"}, {"QMX-3408.xml", "400"}, {"QMX-3408.xml", "200"}}, {}},
      {"budget exceeded at the third module, reported once",
       {{"QMX-3408.xml", "400"}, {"QMX-3408.xml", "400"}, {"QMX-3408.xml", "300"}, {"QMX-3408.xml", "100"}},
       {{2, -101}}},
      {"a power module before the third lifts the budget",
       {{"QMX-3408.xml", "400"}, {"QMX-3408.xml", "400"}, kPower, {"QMX-3408.xml", "300"}}, {}},
      {"groups 1, 1, 2 without cut-off",
       {{"QMX-1808.xml", "0", "1"}, {"QMX-1808.xml", "0", "1"}, {"QMX-1808.xml", "0", "2"}}, {{2, -105}}},
      {"every change of group is reported",
       {{"QMX-1808.xml", "0", "1"}, {"QMX-1808.xml", "0", "2"}, {"QMX-1808.xml", "0", "3"}},
       {{1, -105}, {2, -105}}},
      {"a cut-off module starts group 2",
       {{"QMX-1808.xml", "0", "1"}, {"QMX-1808.xml", "0", "1"}, {"QMX-1808.xml", "0", "2", 1}}, {}},
      {"a free-next module before group 2",
       {{"QMX-1808.xml", "0", "1"}, {"QMX-1808.xml", "0", "1", -1, 1}, {"QMX-1808.xml", "0", "2"}}, {}},
      {"modules without a group take no part",
       {{"QMX-1808.xml", "0", ""}, {"QMX-1808.xml", "0", "2"}, {"QMX-1808.xml", "0", ""}, {"QMX-1808.xml", "0", "2"}},
       {}},
      {"a module without a group keeps the group before it",
       {{"QMX-1808.xml", "0", "1"}, {"QMX-1808.xml", "0", ""}, {"QMX-1808.xml", "0", "2"}}, {{2, -105}}},
      {"more communicating modules than the adapter serves",
       {{"QMX-1808.xml", "0"}, {"QMX-7016.xml", "0"}, {"QMX-1808.xml", "0"}, {"QMX-1808.xml", "0"}},
       {{3, -102}},
       "1000",
       "2"},
      {"input image exceeded", {{"QMX-3408.xml", "0"}, {"QMX-3408.xml", "0"}}, {{1, -103}}, "1000", "32", 16},
      {"output image exceeded, power too: both rows at one module",
       {{"QMX-4404.xml", "1200"}},
       {{0, -101}, {0, -104}},
       "1000",
       "32",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b(texts, "QMX-4101.xml", 0, "TCP");
    NADef* def = b.def;
    def->maxPowerForIOs.value = c.maxPower;
    def->maxExpansion.value = c.maxExpansion;
    def->inputMaxSize.value = std::to_string(def->inputLength + c.inputRoom);
    def->outputMaxSize.value = std::to_string(def->outputLength + (c.inputRoom ? 256 : 0));
    CNAUsr* adapter = b.AddAdapter("Station");
    const std::vector<CIOUsr*> made = b.AddModules(adapter, c.modules);

    ConfigValidator validator(b.ws, errors);
    ValidationList rows;
    EXPECT_EQ(validator.ValidateNA(adapter, adapter->treeItem, rows), c.expected.empty() ? 1 : 0);
    EXPECT_EQ(FailuresOf(rows, made), c.expected);
    if (!c.expected.empty()) {
      EXPECT_EQ(rows.front()->kind, "Loc");
    }
  }
}

TEST_F(Validation, PowerRowCarriesTheErrorListTexts) {
  Bench b(texts, "QMX-4101.xml", 0, "TCP");
  b.def->maxPowerForIOs.value = "100";
  CNAUsr* adapter = b.AddAdapter("Station");
  adapter->ipAddress = "10.0.0.1";
  const std::vector<CIOUsr*> made = b.AddModules(adapter, {{"QMX-3408.xml", "150"}});
  ConfigValidator validator(b.ws, errors);
  ValidationList rows;
  ASSERT_EQ(validator.ValidateNA(adapter, adapter->treeItem, rows), 0);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0]->text, "Station (10.0.0.1)");
  EXPECT_EQ(rows[1]->kind, "IO");
  EXPECT_EQ(rows[1]->icon, 3);
  EXPECT_EQ(rows[1]->text, "01: QMX-3408.xml");
  EXPECT_EQ(rows[1]->code, 0);
  EXPECT_EQ(rows[1]->codeText, "0");
  EXPECT_EQ(rows[2]->text, "Power");
  EXPECT_EQ(rows[2]->codeText, "-101");
  EXPECT_EQ(rows[2]->detail,
            "The modules consume more system power than the network adapter and the power modules before them supply.");
  EXPECT_EQ(rows[2]->treeItem, made[0]->treeItem);
}

TEST_F(Validation, ProjectRules) {
  struct Station {
    const char* ip;
    const char* port;
    const char* node;
    const char* serial;
  };
  struct Case {
    const char* name;
    const char* adapterFile;
    int typeCode;
    const char* type;
    std::vector<Station> stations;
    Failures expected;  // (adapter index, code)
  };
  const char* s1 = "9600, 8, NOPARITY, 1";
  const char* s2 = "19200, 8, NOPARITY, 1";
  const std::vector<Case> cases = {
      {"distinct addresses", "QMX-4101.xml", 0, "TCP", {{"10.0.0.1", "", "", ""}, {"10.0.0.2", "", "", ""}}, {}},
      {"the same address twice", "QMX-4101.xml", 0, "TCP",
       {{"10.0.0.1", "", "", ""}, {"10.0.0.1", "", "", ""}}, {{1, -107}}},
      {"no address", "QMX-4101.xml", 0, "TCP", {{"10.0.0.1", "", "", ""}, {"  ", "", "", ""}}, {{1, -108}}},
      {"one line on two COM ports", "QMX-4105.xml", 4, "RS485",
       {{"", "COM1", "1", s1}, {"", "COM2", "2", s1}}, {{1, -109}}},
      {"COM ports in other letter case are one port", "QMX-4105.xml", 4, "RS485",
       {{"", "COM1", "1", s1}, {"", "com1", "2", s1}}, {}},
      {"one line with two serial settings", "QMX-4105.xml", 4, "RS485",
       {{"", "COM1", "1", s1}, {"", "COM1", "2", s2}}, {{1, -110}}},
      {"a scanned station's text of the same settings", "QMX-4105.xml", 4, "RS485",
       {{"", "COM1", "1", s1}, {"", "COM1", "2", "9600,8,noparity,1.0"}}, {}},
      {"no communication: no project rules", "QMX-4109.xml", 5, "POWERLINK",
       {{"", "", "", ""}, {"", "", "", ""}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b(texts, c.adapterFile, c.typeCode, c.type);
    CProjectUsr* project = b.project;
    std::vector<CNAUsr*> stations;
    for (const Station& s : c.stations) {
      CNAUsr* na = b.AddAdapter("N" + std::to_string(stations.size() + 1));
      na->ipAddress = s.ip;
      na->comPort = s.port;
      na->nodeAddress = s.node;
      na->serialSettings = s.serial;
      stations.push_back(na);
    }
    ConfigValidator validator(b.ws, errors);
    ValidationList results, projectRows;
    EXPECT_EQ(validator.ValidatePrj(project, results, projectRows), c.expected.empty() ? 1 : 0);
    Failures found;
    for (const auto& row : results) {
      if (row->kind != "Error") continue;
      for (size_t i = 0; i < stations.size(); ++i)
        if (stations[i]->treeItem == row->treeItem) found.emplace_back(static_cast<int>(i), row->code);
    }
    EXPECT_EQ(found, c.expected);
    if (!c.expected.empty()) {
      ASSERT_FALSE(results.empty());
      EXPECT_EQ(results[0]->kind, "PROJECT");
      EXPECT_EQ(results[0]->icon, 0);
      EXPECT_EQ(results[0]->text, "Project: P");
      EXPECT_EQ(results[1]->icon, 1);
      EXPECT_EQ(results[1]->text, stations[static_cast<size_t>(c.expected[0].first)]->GetLabel(0));
    }
  }
}

TEST_F(Validation, AdapterPropertiesAgainstTheProject) {
  Bench b(texts, "QMX-4105.xml", 4, "RS485");
  CProjectUsr* project = b.project;
  CNAUsr* first = b.AddAdapter("N1");
  first->comPort = "COM1";
  first->nodeAddress = "5";
  first->serialSettings = "9600, 8, NOPARITY, 1";
  ConfigValidator v(b.ws, errors);
  const std::string s = "9600, 8, NOPARITY, 1";
  struct Case {
    int type;
    const char* ip;
    const char* port;
    const char* node;
    std::string serial;
    int expected;
  };
  for (const Case& c : std::vector<Case>{{4, "", "COM1", "6", s, 1},
                                         {4, "", "COM1", "5", s, -107},
                                         {4, "", "COM1", " ", s, -108},
                                         {4, "", "COM2", "6", s, -109},
                                         {4, "", "com1", "6", "19200, 8, NOPARITY, 1", -110},
                                         {4, "", "COM1", "6", "9600,8,NOPARITY,1", 1},
                                         {4, "", "COM1", "6", "9600, 8, EVENPARITY, 1", -110},
                                         {4, "", "COM1", "6", "9600, 8, NOPARITY", -110},
                                         {3, "", "COM1", "5", s, -107},
                                         {0, "10.0.0.5", "", "", "", 1},
                                         {2, "", "COM1", "", "", -107},
                                         {5, "", "", "", "", 1}}) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(v.IsValidNaPropInPrj(project, nullptr, c.type, 0, c.ip, c.port, c.node, c.serial), c.expected);
  }
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(v.IsValidNaPropInPrj(project, nullptr, 4, 1, "", "COM1", "5", s), -107);
  EXPECT_EQ(Boxes().back().text, "Another network adapter of the project uses the same communication address.");

  // The adapter's own properties, its project from the tree; the adapter
  // itself is not its own rival.
  EXPECT_EQ(v.IsValidNaPropInPrj(nullptr, first, 4, 0, "", "", "", ""), 1);
  CNAUsr loose;
  EXPECT_EQ(v.IsValidNaPropInPrj(nullptr, &loose, 4, 0, "", "", "", ""), 0);
  EXPECT_EQ(Boxes().back().text, "[Bug] Invalid NA's project tree handle.");
  EXPECT_EQ(v.IsValidNaPropInPrj(nullptr, nullptr, 4, 0, "", "", "", ""), 0);
  EXPECT_EQ(Boxes().back().text, "[Bug] dwPrjPointer and dwNAPointer is NULL.");
}

TEST_F(Validation, RemovingOrMovingAModule) {
  Bench b(texts, "QMX-4101.xml", 0, "TCP");
  CProjectUsr* project = b.project;
  b.def->maxPowerForIOs.value = "1000";
  CNAUsr* adapter = b.AddAdapter("N1");
  const std::vector<CIOUsr*> m = b.AddModules(
      adapter, {{"QMX-3408.xml", "400"}, {"QMX-3408.xml", "400"}, {"QMX-7124.xml"}, {"QMX-3408.xml", "300"}});
  ConfigValidator v(b.ws, errors);
  auto select = [&](size_t i) { b.ws.tree().SelectItem(m[i]->treeItem); };

  select(0);
  EXPECT_TRUE(v.CheckFieldPowerValid("UP"));  // the first module has nothing above it
  select(3);
  EXPECT_TRUE(v.CheckFieldPowerValid("DOWN"));
  EXPECT_TRUE(Boxes().empty());

  // Without the power module the last module overdraws the budget.
  select(2);
  EXPECT_FALSE(v.CheckFieldPowerValid("REMOVE"));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text,
            "The modules consume more system power than the network adapter and the power modules before them "
            "supply. \n\nMax power: 1000mA. Power after add: 1100mA. ");
  EXPECT_EQ(Boxes()[0].flags, qmx::kBoxIconStop);

  // An adapter over its budget already: removing or moving a module is let
  // through while it does not draw more power.
  CNAUsr* over = b.AddAdapter("N3");
  const std::vector<CIOUsr*> o =
      b.AddModules(over, {{"QMX-3408.xml", "600"}, {"QMX-3408.xml", "600"}, {"QMX-3408.xml", "600"}});
  Boxes().clear();
  b.ws.tree().SelectItem(o[1]->treeItem);
  EXPECT_TRUE(v.CheckFieldPowerValid("UP"));
  EXPECT_TRUE(v.CheckFieldPowerValid("DOWN"));
  EXPECT_TRUE(v.CheckFieldPowerValid("REMOVE"));
  EXPECT_TRUE(Boxes().empty());

  // Group 2 moved in front of the cut-off module.
  CNAUsr* second = b.AddAdapter("N2");
  const std::vector<CIOUsr*> g =
      b.AddModules(second, {{"QMX-1808.xml", "0", "1"}, {"QMX-7124.xml"}, {"QMX-1808.xml", "0", "2"}});
  b.ws.tree().SelectItem(g[2]->treeItem);
  EXPECT_FALSE(v.CheckFieldPowerValid("UP"));
  EXPECT_EQ(Boxes().back().text,
            "After this change a module would stand in a field-power group other than the one of the modules before "
            "it. ");
  select(1);
  EXPECT_TRUE(v.CheckFieldPowerValid("REMOVE"));

  EXPECT_FALSE(v.CheckFieldPowerValid("LEFT"));
  EXPECT_EQ(ErrorLines().back(),
            "[Error Code: -1050] Exception. Invalid operaion name. Func: MainFrame::CheckFieldPowerValid.");
  // The check never changes the project.
  EXPECT_EQ(b.ws.ModulesOf(*adapter), m);
  EXPECT_EQ(project->modified, 0);
}

TEST_F(Validation, CheckCommandsShowValidConfigurationsAndHandOnFailedOnes) {
  Bench b(texts, "QMX-4101.xml", 0, "TCP");
  CNAUsr* adapter = b.AddAdapter("N1");
  adapter->ipAddress = "10.0.0.1";
  b.AddModules(adapter, {{"QMX-1808.xml"}});
  ConfigValidator v(b.ws, errors);
  std::vector<std::string> shown;
  auto sink = [&shown](const std::string& kind, const std::string& label, TreeItem, const std::string& heading,
                       ValidationList& rows) { shown.push_back(kind + "|" + label + "|" + heading + "|" +
                                                             std::to_string(rows.size())); };
  b.ws.tree().SelectItem(adapter->treeItem);
  v.OnEditChkValidNa(sink);
  v.OnEditChkValidPrj(sink);
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[0].text, "N1 (10.0.0.1) network adapter configuration is VALID.  ");
  EXPECT_EQ(Boxes()[1].text, "P project configuration is VALID.  ");
  EXPECT_TRUE(log.Has("P project configuration is VALID.  ", qmx::kLogGeneral));
  EXPECT_TRUE(shown.empty());

  CNAUsr* twin = b.AddAdapter("N2");
  twin->ipAddress = "10.0.0.1";
  v.OnEditChkValidPrj(sink);
  EXPECT_EQ(shown, std::vector<std::string>{"Project|P| Some errors exist.|2"});
  EXPECT_EQ(Boxes().size(), 2u);
}

}  // namespace
