// The example projects of the program folder's Projects/: made by the
// program's own writer from the shipped catalogue (this test is their
// generator: QMX_WRITE_EXAMPLES=1 writes them into the source tree), opened
// without one error line, and each station is one that qmx-sim serves from
// the same catalogue names.
#include "tests/frame_projectfile/projectfile_fixture.h"

#include "tools/simulator/config.h"

#include <cstdlib>
#include <utility>

namespace prjtest {
namespace {

using qmx::test::ReadFile;

struct Example {
  std::string file;
  std::string busType;
  std::string comment;
  struct Station {
    std::string model, name, ip, comPort, node;
    std::vector<ModuleSpec> modules;
  };
  std::vector<Station> stations;
};

const std::vector<Example>& Examples() {
  static const std::vector<Example> examples = {
      {"ModbusTCP_Station.KPX",
       "TCP",
       "One Modbus TCP station. Simulator: qmx-sim --model QMX-4101 --tcp 127.0.0.1:502 --modules "
       "QMX-1808,QMX-2808,QMX-3404,QMX-4402,QMX-7124",
       {{"QMX-4101",
         "Station 1",
         "127.0.0.1",
         "",
         "1",
         {{"QMX-1808", "Digital In"},
          {"QMX-2808", "Digital Out"},
          {"QMX-3404", "Analog In"},
          {"QMX-4402", "Analog Out"},
          {"QMX-7124", "Power"}}}}},
      {"RS485_Line.KPX",
       "RS485",
       "Two stations on one RS485 line at COM7. Simulator: qmx-sim --model QMX-4105 --rtu /tmp/qmx/peer --serial "
       "9600,8,N,1 --nodes 1,2 --modules QMX-1816,QMX-2816",
       {{"QMX-4105", "Line Station 1", "", "7", "1", {{"QMX-1816", "Inputs 1"}, {"QMX-2816", "Outputs 1"}}},
        {"QMX-4105", "Line Station 2", "", "7", "2", {{"QMX-1816", "Inputs 2"}, {"QMX-2816", "Outputs 2"}}}}},
      {"RS232C_Station.KPX",
       "RS232C",
       "One RS232C station at COM7. Simulator: qmx-sim --model QMX-4102 --rtu /tmp/qmx/peer --serial 9600,8,N,1 "
       "--modules QMX-1808,QMX-3402",
       {{"QMX-4102", "Serial Station", "", "7", "1", {{"QMX-1808", "Digital In"}, {"QMX-3402", "Analog In"}}}}},
  };
  return examples;
}

fs::path ShippedFolder() { return fs::path(QMX_SOURCE_DIR) / "resources/QMX410Tools/Projects"; }

// The qmx-sim options that the example's comment gives for its stations.
std::vector<std::string> SimulatorArguments(const std::string& comment) {
  const std::string marker = "Simulator: qmx-sim ";
  const size_t at = comment.find(marker);
  std::vector<std::string> args;
  if (at == std::string::npos) return args;
  std::string word;
  for (char c : comment.substr(at + marker.size()) + " ") {
    if (c != ' ') word += c;
    else if (!word.empty()) args.push_back(std::exchange(word, {}));
  }
  return args;
}

TEST_F(ProjectFileTest, ShippedExamplesAreWhatTheWriterMakes) {
  const bool write = std::getenv("QMX_WRITE_EXAMPLES") != nullptr;
  for (const Example& example : Examples()) {
    SCOPED_TRACE(example.file);
    const std::string title = SplitProjectPath(example.file).title;
    CProjectUsr* project = NewProject(title, example.busType, dir.path());
    project->SetTitle(example.comment);
    for (const Example::Station& s : example.stations) {
      ASSERT_NE(AddStation(s.model, s.name, s.ip, s.comPort, s.node, s.modules), nullptr);
    }
    Number(project);
    const fs::path made = dir.path() / example.file;
    ASSERT_EQ(files.SaveProject({}, made.string(), project), 1);
    if (write) fs::copy_file(made, ShippedFolder() / example.file, fs::copy_options::overwrite_existing);
    EXPECT_EQ(ReadFile(made), ReadFile(ShippedFolder() / example.file));
    files.CloseProject(project, project->treeItem, 1, 0);
  }
  EXPECT_EQ(ErrorLines(), std::vector<std::string>{});
}

TEST_F(ProjectFileTest, ShippedExamplesOpenCleanSaveUnchangedAndMatchTheSimulator) {
  for (const Example& example : Examples()) {
    SCOPED_TRACE(example.file);
    log.Clear();
    const fs::path path = qmx::test::DistDir() / "Projects" / example.file;
    ASSERT_EQ(files.OpenProject(path.string()), 1);
    EXPECT_EQ(ErrorLines(), std::vector<std::string>{});
    CProjectUsr* project = ws.Projects().back().get();
    EXPECT_EQ(project->modified, 0);
    ASSERT_EQ(project->Adapters().size(), example.stations.size());
    // Saved again unchanged, it is the same file.
    const fs::path again = dir.path() / example.file;
    ASSERT_EQ(files.SaveProject({}, again.string(), project), 1);
    EXPECT_EQ(ReadFile(again), ReadFile(path));

    qmx::sim::SimConfig config;
    std::string error;
    bool help = false;
    ASSERT_TRUE(qmx::sim::ParseArguments(SimulatorArguments(project->title), &config, &error, &help)) << error;
    ASSERT_EQ(config.stations.size(), project->Adapters().size());
    for (size_t a = 0; a < project->Adapters().size(); ++a) {
      CNAUsr* na = project->Adapters()[a];
      const qmx::sim::StationConfig& station = config.stations[a];
      std::vector<ModuleListRecord> list;
      MakeModuleList(*na, list);
      ASSERT_EQ(list.size(), station.modules.size() + 1);
      EXPECT_EQ(na->GetProductCode(), station.productCode);
      EXPECT_EQ(list[0].paraLength, station.adapterPara);
      EXPECT_EQ(na->nodeAddress, std::to_string(station.node));
      const std::vector<CIOUsr*> modules = ws.ModulesOf(*na);
      for (size_t m = 0; m < station.modules.size(); ++m) {
        const qmx::sim::ModuleSpec& spec = station.modules[m];
        EXPECT_EQ(list[m + 1].productCode, spec.productCode) << m;
        EXPECT_EQ(list[m + 1].paraLength, spec.paraLength) << m;
        EXPECT_EQ(list[m + 1].inputSize, spec.inputBytes()) << m;
        EXPECT_EQ(list[m + 1].outputSize, spec.outputBytes()) << m;
        EXPECT_EQ(modules[m]->commSeqNo > 0, spec.communicates()) << m;
      }
    }
  }
}

// Every shipped module's category is a group category, so every module the
// program can save, it opens again.
TEST_F(ProjectFileTest, EveryShippedModuleBelongsToAGroupOfItsCategory) {
  ASSERT_FALSE(modules.definitions().empty());
  CProjectUsr* project = NewProject("AllModules", "TCP", dir.path());
  CNAUsr* na = AddStation("QMX-4101", "All", "127.0.0.1", "", "1", {});
  for (const auto& def : modules.definitions()) {
    TreeItem item = kNoTreeItem;
    ASSERT_NE(ws.CreateIO(def->ID, def->ID, item, nullptr, na->treeItem), nullptr);
  }
  const fs::path path = dir.path() / "AllModules.KPX";
  ASSERT_EQ(files.SaveProject({}, path.string(), project), 1);
  files.CloseProject(project, project->treeItem, 1, 0);
  log.Clear();
  ASSERT_EQ(files.OpenProject(path.string()), 1);
  EXPECT_EQ(ErrorLines(), std::vector<std::string>{});
  EXPECT_EQ(ws.ModulesOf(*ws.Projects().back()->Adapters()[0]).size(), modules.definitions().size());
}

}  // namespace
}  // namespace prjtest
