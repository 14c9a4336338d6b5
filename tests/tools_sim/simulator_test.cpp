// The simulator's shared state: routing requests to stations, faults in
// front of the station, broadcasts, the discovery reply and the control
// commands.
#include "tools/simulator/simulator.h"

#include <gtest/gtest.h>

#include "tools/simulator/discovery.h"

namespace qmx::sim {
namespace {

SimConfig TwoStations() {
  SimConfig c;
  std::string error;
  bool help = false;
  EXPECT_TRUE(ParseArguments({"--rtu", "/dev/null", "--nodes", "1,2", "--modules", "DI8,DO8", "--freeze"}, &c, &error,
                             &help))
      << error;
  return c;
}

Bytes Joined(const ReplyPlan& p) {
  Bytes all;
  for (const ReplyChunk& c : p.chunks) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
  return all;
}

TEST(SimulatorTest, TcpAnswersAnyUnitRtuOnlyItsNodes) {
  Simulator sim(TwoStations());
  TcpRequest q{5, 0, 2, {0x06, 0x08, 0x00, 0x00, 0x11}};
  EXPECT_EQ(Joined(sim.HandleTcp(q)), TcpFrame(5, 2, {0x06, 0x08, 0x00, 0x00, 0x11}));
  EXPECT_EQ(sim.StationForRtu(2)->Output(2), (Bytes{0x11}));
  EXPECT_EQ(sim.StationForRtu(1)->Output(2), (Bytes{0x00}));
  q.unit = 0xFF;  // unknown units reach the first station
  q.pdu = {0x06, 0x08, 0x00, 0x00, 0x22};
  EXPECT_EQ(Joined(sim.HandleTcp(q)), TcpFrame(5, 0xFF, q.pdu));
  EXPECT_EQ(sim.StationForRtu(1)->Output(2), (Bytes{0x22}));

  EXPECT_TRUE(sim.HandleRtu(9, {0x03, 0x08, 0x00, 0x00, 0x01}).chunks.empty());
  EXPECT_EQ(Joined(sim.HandleRtu(2, {0x03, 0x08, 0x00, 0x00, 0x01})), RtuFrame(2, {0x03, 0x02, 0x00, 0x11}));
}

TEST(SimulatorTest, BroadcastWritesReachEveryStationWithoutReply) {
  Simulator sim(TwoStations());
  EXPECT_TRUE(sim.HandleRtu(0, {0x0F, 0x10, 0x00, 0x00, 0x08, 0x01, 0x81}).chunks.empty());
  EXPECT_EQ(sim.StationForRtu(1)->Output(2), (Bytes{0x81}));
  EXPECT_EQ(sim.StationForRtu(2)->Output(2), (Bytes{0x81}));
  EXPECT_TRUE(sim.HandleRtu(0, {0x03, 0x08, 0x00, 0x00, 0x01}).chunks.empty());
}

TEST(SimulatorTest, FaultsThatAnswerInsteadLeaveTheStationAlone) {
  Simulator sim(TwoStations());
  EXPECT_EQ(sim.Execute("fault exception=6,fc=6,once"), "OK exception=6,count=1,fc=6");
  const Bytes write{0x06, 0x08, 0x00, 0x00, 0x44};
  EXPECT_EQ(Joined(sim.HandleRtu(1, write)), RtuFrame(1, {0x86, 0x06}));
  EXPECT_EQ(sim.StationForRtu(1)->Output(2), (Bytes{0x00}));
  EXPECT_EQ(Joined(sim.HandleRtu(1, write)), RtuFrame(1, write));  // used up
  EXPECT_EQ(sim.StationForRtu(1)->Output(2), (Bytes{0x44}));

  EXPECT_EQ(sim.Execute("fault silence,node=2"), "OK silence,node=2");
  EXPECT_TRUE(sim.HandleRtu(2, {0x06, 0x08, 0x00, 0x00, 0x55}).chunks.empty());
  EXPECT_EQ(sim.StationForRtu(2)->Output(2), (Bytes{0x00}));
  EXPECT_EQ(sim.StationForRtu(2)->counters().noResponse, 1);
  EXPECT_FALSE(sim.HandleRtu(1, {0x03, 0x08, 0x00, 0x00, 0x01}).chunks.empty());

  // Faults that damage the reply still carry the request out.
  EXPECT_EQ(sim.Execute("fault wrong-unit"), "OK wrong-unit");
  EXPECT_EQ(Joined(sim.HandleRtu(2, {0x06, 0x08, 0x00, 0x00, 0x66})), RtuFrame(3, {0x06, 0x08, 0x00, 0x00, 0x66}));
  EXPECT_EQ(sim.StationForRtu(2)->Output(2), (Bytes{0x66}));
  EXPECT_EQ(sim.Execute("fault clear"), "OK");
  EXPECT_EQ(sim.Execute("fault"), "OK");
}

TEST(SimulatorTest, DiscoveryReplyRecord) {
  SimConfig c = TwoStations();
  c.stations[0].productCode = 0x8040;
  c.stations[0].ip = {10, 9, 0, 2};
  c.stations[0].mask = {255, 255, 255, 0};
  c.stations[0].gateway = {10, 9, 0, 1};
  c.stations[0].mac = {0x00, 0x1A, 0x4C, 0x12, 0x34, 0x56};
  c.stations[0].model = "QMX-4101";
  Simulator sim(c);
  const Bytes request{0xFF, 0xFF, 0xEE, 0xEE, 0x0E, 0x00, 0x00, 0x06, 0x78, 0x00, 0x01, 0x00, 0x00, 0x00, 0xCC, 0xCC};
  const Bytes r = sim.HandleDiscovery(request.data(), request.size());
  ASSERT_EQ(r.size(), 264u);
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 8), (Bytes{0xEE, 0xEE, 0xFF, 0xFF, 0x0E, 0x80, 0x01, 0x00}));
  const uint8_t* rec = r.data() + 8;
  EXPECT_EQ(Bytes(rec, rec + 18), (Bytes{10, 9, 0, 2, 255, 255, 255, 0, 10, 9, 0, 1, 0x00, 0x1A, 0x4C, 0x12, 0x34, 0x56}));
  EXPECT_EQ(rec[22], 0x40);
  EXPECT_EQ(rec[23], 0x80);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec + 24)), "QMX-4101");
  EXPECT_EQ(rec[56], 2);

  // Only the request's header is answered.
  Bytes other = request;
  other[5] = 0x80;
  EXPECT_TRUE(sim.HandleDiscovery(other.data(), other.size()).empty());
  EXPECT_TRUE(sim.HandleDiscovery(request.data(), 15).empty());

  EXPECT_EQ(sim.Execute("discovery-fault short"), "OK");
  EXPECT_EQ(sim.HandleDiscovery(request.data(), request.size()).size(), 200u);
  EXPECT_EQ(sim.Execute("discovery-fault bad-header"), "OK");
  const Bytes bad = sim.HandleDiscovery(request.data(), request.size());
  EXPECT_EQ(Bytes(bad.begin(), bad.begin() + 4), (Bytes{0xFF, 0xFF, 0xEE, 0xEE}));
  EXPECT_EQ(sim.Execute("discovery-fault silence"), "OK");
  EXPECT_TRUE(sim.HandleDiscovery(request.data(), request.size()).empty());
  EXPECT_EQ(sim.Execute("discovery-fault loud"), "ERR discovery-fault none|silence|short|bad-header");
}

TEST(SimulatorTest, ControlCommands) {
  Simulator sim(TwoStations());
  struct Row {
    const char* command;
    const char* answer;
  };
  const Row rows[] = {
      {"ping", "OK"},
      {"", "ERR empty command"},
      {"node=2", "ERR empty command"},
      {"input 1 A5", "OK"},
      {"get input 1", "OK A5"},
      {"input 1 A5A5", "ERR slot 1 has 1 input bytes"},
      {"input 9 00", "ERR no slot 9"},
      {"input 1 zz", "ERR input SLOT HEX"},
      {"input 1 3C node=2", "OK"},
      {"get input 1 node=2", "OK 3C"},
      {"get input 1 node=4", "ERR no station node=4"},
      {"read 0 1", "OK 00A5"},
      {"read 0 1 node=2", "OK 003C"},
      {"read 0x1113 3", "OK 4101 1108 2108"},
      {"read 0x3000 1", "ERR exception 2"},
      {"set output 2 0F", "OK"},
      {"get output 2", "OK 0F"},
      {"read 2048 1", "OK 000F"},
      {"set output 2 0F0F", "ERR slot 2 takes 1 output bytes"},
      {"get para 1", "OK 0000"},
      {"get para 0", "OK 03000000"},  // QMX-4101: 4 bytes 00 03 00 00 by the catalogue, wire order
      {"object 0x1119", "OK 0000"},
      {"object 0x1119 0081", "OK"},
      {"object 0x1119", "OK 0081"},
      {"object 0x1119 00", "ERR no object of that size at 0x1119"},
      {"object 0x0005", "ERR no object at 0x0005"},
      {"mode 0 0", "OK"},
      {"read 0 2", "OK 0081 00A5"},
      {"object 0x1114 0003", "OK"},
      {"read 0x1114 1", "OK 0003"},
      {"mode 4 0", "ERR mode IN(0-3) OUT(0-1)"},
      {"freeze maybe", "ERR freeze on|off"},
      {"time 1000", "OK"},
      {"release", "OK"},
      {"counters", "OK bus=0 errors=0 exceptions=0 slave=0 noresponse=0"},
      {"disconnect", "OK"},
      {"bogus", "ERR unknown command 'bogus'"},
      {"quit", "OK"},
  };
  for (const Row& r : rows) EXPECT_EQ(sim.Execute(r.command), r.answer) << r.command;
  EXPECT_TRUE(sim.TakeDisconnectRequest());
  EXPECT_FALSE(sim.TakeDisconnectRequest());
  EXPECT_TRUE(sim.quitRequested());
}

TEST(SimulatorTest, HistoryRecordsRequestsInOrder) {
  Simulator sim(TwoStations());
  sim.HandleRtu(1, {0x10, 0x11, 0x1A, 0x00, 0x01, 0x02, 0x04, 0x00});
  sim.HandleTcp(TcpRequest{1, 0, 1, {0x04, 0x11, 0x13, 0x00, 0x03}});
  sim.HandleRtu(2, {0x08, 0x00, 0x00, 0xAB, 0xCD});
  EXPECT_EQ(sim.Execute("history"), "OK 3 R/01/10/111A/0001 T/01/04/1113/0003 R/02/08/0000/0000");
  EXPECT_EQ(sim.Execute("fault silence,once"), "OK silence,count=1");
  sim.HandleRtu(1, {0x03, 0x08, 0x00, 0x00, 0x01});
  EXPECT_EQ(sim.history().back().fault, "silence,count=1");
  EXPECT_NE(sim.Execute("history").find(" R/01/03/0800/0001!silence,count=1"), std::string::npos);
  EXPECT_EQ(sim.Execute("history clear"), "OK");
  EXPECT_EQ(sim.Execute("history"), "OK 0");
  for (size_t i = 0; i < Simulator::kHistoryLimit + 10; ++i) sim.HandleRtu(1, {0x03, 0x08, 0x00, 0x00, 0x01});
  EXPECT_EQ(sim.history().size(), Simulator::kHistoryLimit);
}

TEST(SimulatorTest, HexText) {
  Bytes b;
  EXPECT_TRUE(FromHex("00ff7A", &b));
  EXPECT_EQ(b, (Bytes{0x00, 0xFF, 0x7A}));
  EXPECT_EQ(ToHex(b), "00FF7A");
  EXPECT_TRUE(FromHex("-", &b));
  EXPECT_TRUE(b.empty());
  EXPECT_EQ(ToHex(b), "-");
  for (const char* bad : {"0", "0g", " 1", "+1", "1 "}) EXPECT_FALSE(FromHex(bad, &b)) << bad;
}

}  // namespace
}  // namespace qmx::sim
