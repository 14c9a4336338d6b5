// The command line and the configuration file.
#include "tools/simulator/config.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace qmx::sim {
namespace {

bool Parse(const std::vector<std::string>& args, SimConfig* cfg, std::string* error = nullptr) {
  std::string e;
  bool help = false;
  const bool ok = ParseArguments(args, cfg, &e, &help);
  if (error) *error = e;
  return ok;
}

TEST(ConfigTest, DefaultsAndStationOptions) {
  SimConfig c;
  ASSERT_TRUE(Parse({"--tcp", "127.0.0.1:0"}, &c));
  EXPECT_EQ(c.tcp.address, "127.0.0.1");
  EXPECT_EQ(c.tcp.port, 0);
  EXPECT_FALSE(c.discovery.enabled());
  EXPECT_FALSE(c.udp.enabled());
  ASSERT_EQ(c.stations.size(), 1u);
  EXPECT_EQ(c.stations[0].model, "QMX-4101");
  EXPECT_EQ(c.stations[0].node, 1);
  EXPECT_EQ(c.stations[0].productCode, 0x4101);  // the catalogue's code of the default model
  EXPECT_TRUE(c.stations[0].modules.empty());

  ASSERT_TRUE(Parse({"--tcp=127.0.0.2:1502", "--model", "KA-4512", "--product", "0x8041", "--node", "9",
                     "--modules", "DI8, DO8*2, 0x1234:AI:16:0:4:Temp", "--ip", "10.0.0.5", "--mac",
                     "02:00:00:aa:bb:cc", "--input-mode", "1", "--output-mode=1", "--freeze", "--seed", "42",
                     "--input-period", "100", "--adapter-para", "6", "--para-session", "--discovery",
                     "127.0.0.1:8000", "--fault", "delay=10", "--fault", "exception=2,once", "--verbose"},
                    &c));
  const StationConfig& s = c.stations.at(0);
  EXPECT_EQ(c.tcp.port, 1502);
  EXPECT_EQ(s.model, "KA-4512");
  EXPECT_EQ(s.productCode, 0x8041);
  EXPECT_EQ(s.node, 9);
  ASSERT_EQ(s.modules.size(), 4u);
  EXPECT_EQ(s.modules[1].label, "DO8");
  EXPECT_EQ(s.modules[2].productCode, 0x2108);
  EXPECT_EQ(s.modules[3].label, "Temp");
  EXPECT_EQ(s.modules[3].kind, "AI");
  EXPECT_EQ(s.modules[3].inputBits, 16);
  EXPECT_EQ(s.modules[3].paraLength, 4);
  EXPECT_EQ(s.ip, (std::array<uint8_t, 4>{10, 0, 0, 5}));
  EXPECT_EQ(s.mac[3], 0xAA);
  EXPECT_EQ(s.inputMode, 1);
  EXPECT_EQ(s.outputMode, 1);
  EXPECT_TRUE(s.frozen);
  EXPECT_TRUE(s.requireParaSession);
  EXPECT_EQ(s.seed, 42u);
  EXPECT_EQ(s.inputPeriodMs, 100u);
  EXPECT_EQ(s.adapterPara, 6);
  EXPECT_EQ(c.discovery.port, 8000);
  EXPECT_EQ(c.faults.size(), 2u);
  EXPECT_TRUE(c.verbose);
}

TEST(ConfigTest, NodesMakeOneStationEach) {
  SimConfig c;
  ASSERT_TRUE(Parse({"--rtu", "/dev/null", "--nodes", "3,1,7", "--modules", "DI8", "--serial", "19200,8,E,1"}, &c));
  ASSERT_EQ(c.stations.size(), 3u);
  EXPECT_EQ(c.stations[0].node, 3);
  EXPECT_EQ(c.stations[2].node, 7);
  EXPECT_EQ(c.stations[2].modules.size(), 1u);
  EXPECT_EQ(c.serial.baud, 19200);
  EXPECT_EQ(c.serial.parity, 'E');
  ASSERT_TRUE(Parse({"--rtu", "/dev/null", "--serial", "9600,7,ODDPARITY,2"}, &c));
  EXPECT_EQ(c.serial.parity, 'O');
  EXPECT_EQ(c.serial.dataBits, 7);
  EXPECT_EQ(c.serial.stopBits, 2);
}

TEST(ConfigTest, FileWithSectionsAndCommandLineOverride) {
  test::TempDir dir("qmx-sim-cfg");
  const auto path = dir / "sim.ini";
  test::WriteFile(path,
                  "# two stations on one line\n"
                  "rtu = /tmp/line   # the simulator's end\n"
                  "model = QMX-4101\n"
                  "modules = DI8, DO8\n"
                  "fault = delay=50,fc=3\n"
                  "\n"
                  "[node 2]\n"
                  "model = KA-4512\n"
                  "modules = AI4\n"
                  "[ node 5 ]\n"
                  "input-mode = 0\n");
  SimConfig c;
  std::string error;
  ASSERT_TRUE(Parse({"--config", path.string(), "--tcp", "127.0.0.1:0"}, &c, &error)) << error;
  EXPECT_EQ(c.rtuDevice, "/tmp/line");
  ASSERT_EQ(c.stations.size(), 3u);
  EXPECT_EQ(c.stations[0].node, 1);
  EXPECT_EQ(c.stations[1].node, 2);
  EXPECT_EQ(c.stations[1].model, "KA-4512");
  EXPECT_EQ(c.stations[1].modules.size(), 1u);
  EXPECT_EQ(c.stations[2].node, 5);
  EXPECT_EQ(c.stations[2].model, "QMX-4101");  // a copy of the top-level station
  EXPECT_EQ(c.stations[2].modules.size(), 2u);
  EXPECT_EQ(c.stations[2].inputMode, 0);
  EXPECT_EQ(c.faults.size(), 1u);
  EXPECT_TRUE(c.tcp.enabled());

  // The command line wins over the file wherever --config stands.
  ASSERT_TRUE(Parse({"--model", "DM-T640", "--config", path.string()}, &c, &error)) << error;
  EXPECT_EQ(c.stations[0].model, "DM-T640");
  // A section for the top-level node replaces that station.
  test::WriteFile(path, "rtu = /tmp/line\nnodes = 1,2\n[node 1]\nmodules = AO2\n");
  ASSERT_TRUE(Parse({"--config", path.string()}, &c, &error)) << error;
  ASSERT_EQ(c.stations.size(), 2u);
  EXPECT_EQ(c.stations[0].modules.at(0).label, "AO2");
  EXPECT_TRUE(c.stations[1].modules.empty());
}

TEST(ConfigTest, ErrorsNameTheProblem) {
  test::TempDir dir("qmx-sim-cfg");
  test::WriteFile(dir / "bad1.ini", "rtu = /x\nmodel\n");
  test::WriteFile(dir / "bad2.ini", "rtu = /x\n[node 2]\ntcp = 127.0.0.1:0\n");
  test::WriteFile(dir / "bad3.ini", "rtu = /x\n[station]\n");
  struct Row {
    std::vector<std::string> args;
    const char* message;
  };
  const Row rows[] = {
      {{}, "nothing to serve"},
      {{"--tcp", "localhost:502"}, "tcp needs ADDR:PORT"},
      {{"--tcp", "127.0.0.1:70000"}, "tcp needs ADDR:PORT"},
      {{"--tcp", "127.0.0.1"}, "tcp needs ADDR:PORT"},
      {{"--tcp", "127.0.0.1:0", "--node", "0"}, "node must be 1 to 247"},
      {{"--tcp", "127.0.0.1:0", "--nodes", "1,x"}, "nodes are 1 to 247"},
      {{"--tcp", "127.0.0.1:0", "--modules", "DI8,XY"}, "unknown module 'XY'"},
      {{"--tcp", "127.0.0.1:0", "--modules", "1:DI:8"}, "is not CODE:KIND"},
      {{"--tcp", "127.0.0.1:0", "--modules", "DI8*33"}, "bad module repeat"},
      {{"--tcp", "127.0.0.1:0", "--modules", "DI8*20,DO8*20"}, "at most 32 modules"},
      {{"--tcp", "127.0.0.1:0", "--input-mode", "4"}, "input mode must be 0 to 3"},
      {{"--tcp", "127.0.0.1:0", "--ip", "1.2.3"}, "bad IP address"},
      {{"--tcp", "127.0.0.1:0", "--mac", "1:2:3"}, "bad MAC address"},
      {{"--tcp", "127.0.0.1:0", "--fault", "boom"}, "unknown fault 'boom'"},
      {{"--tcp", "127.0.0.1:0", "--serial", "9600,8,X"}, "serial needs"},
      {{"--tcp", "127.0.0.1:0", "--frobnicate", "1"}, "unknown option 'frobnicate'"},
      {{"--tcp"}, "--tcp needs a value"},
      {{"tcp"}, "unexpected argument 'tcp'"},
      {{"--config", (dir / "missing.ini").string()}, "cannot read configuration file"},
      {{"--config", (dir / "bad1.ini").string()}, "bad1.ini:2: expected key = value"},
      {{"--config", (dir / "bad2.ini").string()}, "bad2.ini:3: 'tcp' belongs before the first section"},
      {{"--config", (dir / "bad3.ini").string()}, "bad3.ini:2: sections are [node N]"},
  };
  for (const Row& r : rows) {
    SimConfig c;
    std::string error;
    EXPECT_FALSE(Parse(r.args, &c, &error)) << r.message;
    EXPECT_NE(error.find(r.message), std::string::npos) << "got: " << error;
  }
}

TEST(ConfigTest, HelpAndPresets) {
  SimConfig c;
  std::string error;
  bool help = false;
  ASSERT_TRUE(ParseArguments({"--help"}, &c, &error, &help));
  EXPECT_TRUE(help);
  for (const char* option : {"--fault SPEC", "--eip ADDR:PORT", "--eip-fault SPEC"})
    EXPECT_NE(UsageText().find(option), std::string::npos) << option;
  for (const ModuleSpec& m : ModulePresets()) {
    EXPECT_FALSE(m.label.empty());
    EXPECT_NE(m.productCode, 0);
  }
  std::vector<ModuleSpec> none;
  EXPECT_TRUE(ParseModules("none", &none, &error));
  EXPECT_TRUE(none.empty());
}

}  // namespace
}  // namespace qmx::sim
