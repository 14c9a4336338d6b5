// The shipped example projects opened from their files and read online
// through the real driver from qmx-sim, serving each station as the
// project's comment says (over TCP, and two nodes on an RS485 pty line).
#include "tests/frame_projectfile/projectfile_fixture.h"
#include "tools/simulator/testing/simulator_process.h"

#include "app/model/IOUsr.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace {

using prjtest::ProjectFileTest;
using qmx::sim::SimulatorProcess;
namespace fs = std::filesystem;

// The qmx-sim options of the project file's comment, with the value after
// --tcp or --rtu replaced by the test's own.
std::vector<std::string> SimulatorArgs(const std::string& file, const std::string& endpoint) {
  const std::string text = qmx::test::ReadFile(qmx::test::DistDir() / "Projects" / file);
  const size_t at = text.find("qmx-sim ") + 8;
  std::istringstream words(text.substr(at, text.find_first_of("\r\n<\"", at) - at));
  std::vector<std::string> args;
  for (std::string word; words >> word;) {
    const bool replaced = !args.empty() && (args.back() == "--tcp" || args.back() == "--rtu");
    args.push_back(replaced ? endpoint : word);
  }
  return args;
}

class OnlineProject : public ProjectFileTest {
protected:
  CProjectUsr* Open(const std::string& file) {
    const fs::path path = qmx::test::DistDir() / "Projects" / file;
    EXPECT_EQ(files.OpenProject(path.string()), 1);
    return ws.Projects().empty() ? nullptr : ws.Projects().back().get();
  }
  // Whether the configuration the driver reads online is the project's.
  bool OnlineConfigIsTheProjects(CNAUsr& na) {
    OnlineIOConfig* config = na.GetOnlineConfig("Compare", 1);
    if (!config) return false;
    const std::vector<CIOUsr*> modules = ws.ModulesOf(na);
    bool same = config->productCode == na.GetProductCode() && config->moduleCount == static_cast<int>(modules.size());
    for (int i = 0; same && i < config->moduleCount; ++i) {
      same = config->modules[i].productCode == modules[i]->GetProductCode();
    }
    na.ClearGettedOnlineConfig(config);
    return same;
  }
  // Waits until the adapter's status triple equals the one expected; the last one read.
  std::array<int16_t, 3> StatusWithin(CNAUsr& na, std::array<int16_t, 3> expected) {
    std::array<int16_t, 3> seen{};
    for (int i = 0; i < 100; ++i) {
      na.UpdateCommStatus(seen[0], seen[1], seen[2]);
      if (seen == expected) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return seen;
  }
};

TEST_F(OnlineProject, TcpStationReadsItsConfigurationImagesAndStatus) {
  const std::string file = "ModbusTCP_Station.KPX";
  SimulatorProcess sim(SimulatorArgs(file, "127.0.0.1:0"));
  ASSERT_TRUE(sim.Start()) << sim.error();
  for (auto& def : adapters.definitions) {
    if (def->ID == "QMX-4101") def->commTypeMap["TCP"].commParas = std::to_string(sim.port()) + ",250,4322,5,10,0";
  }
  CProjectUsr* project = Open(file);
  ASSERT_NE(project, nullptr);
  CNAUsr& na = *project->Adapters().at(0);
  ASSERT_TRUE(na.HasDriver());
  EXPECT_TRUE(log.Has("Device driver for Station 1 (127.0.0.1) is loaded successfully."));

  // The image of one module and the whole input image, after the simulator
  // fixed the module's inputs.
  const std::vector<CIOUsr*> modules = ws.ModulesOf(na);
  ASSERT_FALSE(modules.empty());
  CIOUsr& digitalIn = *modules[0];
  ASSERT_TRUE(sim.Ok("input 1 A5"));
  const OnlineBytes one = na.ReadOnlineData(&digitalIn, 0, kOnlineInput, 2, "Upload", 1, 1);
  ASSERT_TRUE(one) << (boxes.empty() ? "" : boxes.back());
  EXPECT_EQ(one.data()[0], 0xA5);
  const OnlineBytes whole = na.ReadOnlineData(&na, 1, kOnlineInput, 2, "Upload", 1, 1);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole.data()[digitalIn.onlineOffsets[kOnlineInput]], 0xA5);

  // A station that stops answering: the read fails and says so; once it
  // answers again, so does the read.
  ASSERT_TRUE(sim.Ok("fault silence"));
  boxes.clear();
  EXPECT_FALSE(na.ReadOnlineData(&na, 1, kOnlineInput, 2, "Upload", 1, 1));
  EXPECT_EQ(boxes, std::vector<std::string>{"drvRead is failed. See below log in detail."});
  ASSERT_TRUE(sim.Ok("fault clear"));
  EXPECT_TRUE(na.ReadOnlineData(&na, 1, kOnlineInput, 2, "Upload", 1, 1));

  // The status triple from the status block while monitoring: the device
  // runs (1), and the bus-status word's bits give bus error and field power.
  ASSERT_TRUE(sim.Ok("object 0x1119 8282"));
  ASSERT_EQ(na.StartMonitoring(0), 1);
  EXPECT_EQ(StatusWithin(na, {1, 2, 2}), (std::array<int16_t, 3>{1, 2, 2}));
  ASSERT_TRUE(sim.Ok("object 0x1119 0404"));
  EXPECT_EQ(StatusWithin(na, {1, 1, 1}), (std::array<int16_t, 3>{1, 1, 1}));
  EXPECT_EQ(na.StopMonitoring(0), 1);
  int16_t s = 0, b = 0, f = 0;
  na.UpdateCommStatus(s, b, f);
  EXPECT_EQ((std::array<int16_t, 3>{s, b, f}), (std::array<int16_t, 3>{2, 2, 2}));

  EXPECT_TRUE(OnlineConfigIsTheProjects(na));
}

TEST_F(OnlineProject, TwoStationsOnAnRs485LineShareOneInstance) {
  const std::string file = "RS485_Line.KPX";
  qmx::sim::PtyPair line(dir.path(), "COM7", "peer");
  ASSERT_TRUE(line.Start()) << line.error();
  ::setenv("QMX_COM_DIR", dir.path().c_str(), 1);
  SimulatorProcess sim(SimulatorArgs(file, line.peer().string()));
  ASSERT_TRUE(sim.Start()) << sim.error();
  CProjectUsr* project = Open(file);
  ASSERT_NE(project, nullptr);
  ASSERT_EQ(project->Adapters().size(), 2u);
  for (int node = 1; node <= 2; ++node) {
    SCOPED_TRACE(node);
    CNAUsr& na = *project->Adapters()[static_cast<size_t>(node - 1)];
    ASSERT_EQ(na.GetBinding(), CNAUsr::Binding::kShared);
    EXPECT_EQ(na.GetDriverHandle(), project->SharedHandle());
    const std::string hex = node == 1 ? "3C00" : "00C3";
    ASSERT_TRUE(sim.Ok("input 1 " + hex + " node=" + std::to_string(node)));
    CIOUsr& inputs = *ws.ModulesOf(na).at(0);
    const OnlineBytes bytes = na.ReadOnlineData(&inputs, 0, kOnlineInput, 2, "Upload", 1, 1);
    ASSERT_TRUE(bytes) << (boxes.empty() ? "" : boxes.back());
    EXPECT_EQ(bytes.data()[0], node == 1 ? 0x3C : 0x00);
    EXPECT_EQ(bytes.data()[1], node == 1 ? 0x00 : 0xC3);
    EXPECT_TRUE(OnlineConfigIsTheProjects(na));
  }
  ::unsetenv("QMX_COM_DIR");
}

}  // namespace
