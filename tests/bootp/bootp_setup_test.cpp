// The setup dialogs' device requests against the simulator: Modbus TCP
// against qmx-sim with its fault rules, EtherNet/IP against the simulator's
// EtherNet/IP responder, including the faults of both that the requests
// must survive (exception, late, wrong id, short, segmented, busy status).
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "bootp/core/eip_setup.h"
#include "bootp/core/modbus_setup.h"
#include "tools/simulator/eip_responder.h"
#include "tools/simulator/testing/simulator_process.h"

using namespace qmx::plenvar;

namespace {

// Generous time-outs: the simulator runs under the sanitizers on a shared
// machine; the late-reply fault waits longer than these.
constexpr ModbusTimeouts kTimeouts{200, 400};

class ModbusSetup : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start()) << sim_.error();
    client_.SetPort(static_cast<uint16_t>(sim_.port()));
    client_.SetTimeouts(kTimeouts);
  }
  qmx::sim::SimulatorProcess sim_{{"--model", "QMX-4101", "--tcp", "127.0.0.1:0"}};
  ModbusSetupClient client_;
};

}  // namespace

TEST(ModbusSetupFrames, RequestBytesAndReplyChecks) {
  EXPECT_EQ(BuildReadInputRegisters(0x0102, 0x1005, 17),
            (std::vector<uint8_t>{1, 2, 0, 0, 0, 6, 1, 4, 0x10, 0x05, 0, 17}));
  EXPECT_EQ(BuildWriteMultipleRegisters(7, 0x1045, {1}),
            (std::vector<uint8_t>{0, 7, 0, 0, 0, 9, 1, 16, 0x10, 0x45, 0, 1, 2, 0, 1}));
  EXPECT_EQ(BuildDiagnostics(9, 1, 0), (std::vector<uint8_t>{0, 9, 0, 0, 0, 6, 1, 8, 0, 1, 0, 0}));

  const auto read = BuildReadInputRegisters(5, 0x1003, 1);
  const auto write = BuildWriteMultipleRegisters(6, 0x1045, {1});
  const auto reboot = BuildDiagnostics(7, 1, 0);
  struct Case {
    const char* name;
    const std::vector<uint8_t>& request;
    std::vector<uint8_t> reply;
    ReplyCheck check;
  };
  for (const Case& c : std::vector<Case>{
           {"good", read, {0, 5, 0, 0, 0, 5, 1, 4, 2, 0x01, 0x65}, ReplyCheck::Ok},
           {"other id", read, {0, 4, 0, 0, 0, 5, 1, 4, 2, 0x01, 0x65}, ReplyCheck::OtherTransaction},
           {"other unit", read, {0, 5, 0, 0, 0, 5, 2, 4, 2, 0x01, 0x65}, ReplyCheck::WrongUnit},
           {"exception", read, {0, 5, 0, 0, 0, 3, 1, 0x84, 2}, ReplyCheck::Exception},
           {"other function", read, {0, 5, 0, 0, 0, 5, 1, 3, 2, 0x01, 0x65}, ReplyCheck::WrongFunction},
           {"count short", read, {0, 5, 0, 0, 0, 4, 1, 4, 2, 0x01}, ReplyCheck::BadLength},
           {"count lies", read, {0, 5, 0, 0, 0, 5, 1, 4, 4, 0x01, 0x65}, ReplyCheck::BadLength},
           {"write answered", write, {0, 6, 0, 0, 0, 6, 1, 16, 0x10, 0x45, 0, 1}, ReplyCheck::Ok},
           {"write, other unit", write, {0, 6, 0, 0, 0, 6, 0, 16, 0x10, 0x45, 0, 1}, ReplyCheck::WrongUnit},
           {"write, other address", write, {0, 6, 0, 0, 0, 6, 1, 16, 0x10, 0x46, 0, 1}, ReplyCheck::BadLength},
           {"write, one byte more", write, {0, 6, 0, 0, 0, 7, 1, 16, 0x10, 0x45, 0, 1, 0}, ReplyCheck::BadLength},
           {"reboot answered", reboot, {0, 7, 0, 0, 0, 6, 1, 8, 0, 1, 0, 0}, ReplyCheck::Ok},
           {"reboot refused", reboot, {0, 7, 0, 0, 0, 3, 1, 0x88, 1}, ReplyCheck::Exception},
       }) {
    std::vector<uint16_t> regs;
    EXPECT_EQ(CheckModbusReply(c.request, c.reply.data(), c.reply.size(), &regs), c.check) << c.name;
    if (c.check == ReplyCheck::Ok && &c.request == &read) {
      EXPECT_EQ(regs, (std::vector<uint16_t>{0x0165})) << c.name;
    }
  }
  const std::vector<uint8_t> two{0, 1, 0, 0, 0, 3, 1, 4, 0, 0, 2};
  EXPECT_EQ(MbapFrameLength(two.data(), 5), 0);    // header incomplete
  EXPECT_EQ(MbapFrameLength(two.data(), 8), 0);    // body incomplete
  EXPECT_EQ(MbapFrameLength(two.data(), 11), 9);   // one whole frame, the rest waits
  const std::vector<uint8_t> badProtocol{0, 1, 0, 1, 0, 3, 1, 4, 0};
  EXPECT_EQ(MbapFrameLength(badProtocol.data(), badProtocol.size()), -1);
  // The largest Modbus TCP frame waits for its bytes; a longer one, or one
  // without a function byte, cannot be framed.
  for (const auto& [length, framed] : std::vector<std::pair<uint8_t, long>>{{254, 0}, {255, -1}, {1, -1}}) {
    const std::vector<uint8_t> prefix{0, 1, 0, 0, 0, length};
    EXPECT_EQ(MbapFrameLength(prefix.data(), prefix.size()), framed) << int(length);
  }

  EXPECT_EQ(FormatFirmware(0x0165), "1.101");
  EXPECT_EQ(FormatReleaseDate(0x1225, 0x2008), "(12/25/2008)");
  auto name = [](uint16_t length, const std::string& text) {
    std::vector<uint16_t> r{length};
    std::string t = text;
    t.resize(32, '\0');
    for (size_t i = 0; i < 32; i += 2) r.push_back(static_cast<uint16_t>(uint8_t(t[i]) << 8 | uint8_t(t[i + 1])));
    return DecodeDeviceName(r);
  };
  EXPECT_EQ(name(5, "ABCDEFGH"), "ABCDE");
  EXPECT_EQ(name(9, std::string("AB\0CD", 5)), "AB");
  EXPECT_EQ(name(200, std::string(32, 'x')), std::string(32, 'x'));
}

TEST_F(ModbusSetup, ReadsTheDeviceAndWritesItsSettings) {
  ASSERT_TRUE(client_.ConnectDevice("127.0.0.1"));
  ModbusDeviceInfo info;
  ASSERT_TRUE(ReadModbusDeviceInfo(client_, &info));
  client_.Disconnect();
  EXPECT_EQ(info.firmware, "1.005");
  EXPECT_EQ(info.releaseDate, "(03/15/2024)");
  EXPECT_EQ(info.name, "QMX-4101");
  EXPECT_EQ(info.bootp, 0);
  EXPECT_EQ(info.arp, 1);

  EXPECT_EQ(WriteModbusSetting(client_, "127.0.0.1", setupreg::kArp, false), SettingWrite::Written);
  EXPECT_EQ(sim_.Command("object 0x1046"), "OK 0000");
  EXPECT_EQ(WriteModbusSetting(client_, "127.0.0.1", setupreg::kBootp, true), SettingWrite::Written);
  EXPECT_EQ(sim_.Command("object 0x1045"), "OK 0001");
  EXPECT_TRUE(RebootModbusDevice(client_, "127.0.0.1"));
  EXPECT_TRUE(ProbeModbus(client_, "127.0.0.1"));
  EXPECT_FALSE(client_.connected());
}

TEST_F(ModbusSetup, Faults) {
  struct Case {
    const char* fault;
    bool probeAnswers;
  };
  for (const Case& c : std::vector<Case>{{"exception=2,once", false},
                                         {"wrong-tid,once", false},
                                         {"short,once", false},
                                         {"wrong-function,once", false},
                                         {"wrong-unit,once", false},
                                         {"silence,once", false},
                                         {"drop,once", false},
                                         {"segment=20,once", true}}) {
    ASSERT_TRUE(sim_.Ok("fault " + std::string(c.fault))) << c.fault;
    EXPECT_EQ(ProbeModbus(client_, "127.0.0.1"), c.probeAnswers) << c.fault;
    ASSERT_TRUE(sim_.Ok("fault clear"));
    EXPECT_TRUE(ProbeModbus(client_, "127.0.0.1")) << "after " << c.fault;
  }

  // A late reply fails its request and must not satisfy the next one, which
  // gets its own answer on the same connection.
  ASSERT_TRUE(client_.ConnectDevice("127.0.0.1"));
  ASSERT_TRUE(sim_.Ok("fault delay=600,once"));
  std::vector<uint16_t> r;
  EXPECT_FALSE(client_.ReadInputRegisters(setupreg::kBootp, 1, &r));
  ASSERT_TRUE(sim_.Ok("object 0x1046 0001"));
  ::usleep(400 * 1000);  // the late reply is on its way now
  ASSERT_TRUE(client_.ReadInputRegisters(setupreg::kArp, 1, &r));
  EXPECT_EQ(r, (std::vector<uint16_t>{1}));
  client_.Disconnect();

  // A refused write turns the box back; an unreachable device does not.
  ASSERT_TRUE(sim_.Ok("fault exception=4,fc=16,once"));
  EXPECT_EQ(WriteModbusSetting(client_, "127.0.0.1", setupreg::kArp, false), SettingWrite::Refused);
  ModbusSetupClient nowhere;
  nowhere.SetPort(1);  // nothing listens there
  EXPECT_EQ(WriteModbusSetting(nowhere, "127.0.0.1", setupreg::kArp, false), SettingWrite::NoConnection);
}

// --- EtherNet/IP ---------------------------------------------------------------------

namespace {

class EipSetup : public ::testing::Test {
protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server_.Start("127.0.0.1", 0, &error)) << error;
    client_ = std::make_unique<qmx::cip::Client>(
        qmx::cip::Client::Options{static_cast<uint16_t>(server_.port()), 1000, 300});
    eip_ = std::make_unique<EipRequester>(*client_, "127.0.0.1", 0);
  }
  void Fault(const std::string& text) {
    qmx::sim::EipFault f;
    std::string error;
    ASSERT_TRUE(qmx::sim::ParseEipFault(text, &f, &error)) << error;
    device_.AddFault(f);
  }
  qmx::sim::EipDevice device_;
  qmx::sim::EipServer server_{device_};
  std::unique_ptr<qmx::cip::Client> client_;
  std::unique_ptr<EipRequester> eip_;
};

}  // namespace

TEST_F(EipSetup, ReadsTheDeviceAndWritesItsSettings) {
  EXPECT_TRUE(ProbeEip(*eip_, "127.0.0.1"));
  EipDeviceInfo info;
  ASSERT_TRUE(ReadEipDeviceInfo(*eip_, "127.0.0.1", &info));
  EXPECT_EQ(info.revision, "1.101");
  EXPECT_EQ(info.releaseDate, " (12/25/2008)");
  EXPECT_EQ(info.productName, "QMX-4101 EtherNet/IP");
  EXPECT_TRUE(info.bootp);
  EXPECT_TRUE(info.runIdleInput);
  EXPECT_FALSE(info.runIdleOutput);

  EXPECT_TRUE(WriteEipSetting(*eip_, "127.0.0.1", EipSetting::Bootp, false));
  EXPECT_EQ(device_.identity().bootp, 0x10);
  EXPECT_TRUE(WriteEipSetting(*eip_, "127.0.0.1", EipSetting::RunIdleOutput, true));
  EXPECT_EQ(device_.identity().runIdleOutput, 1);
  EXPECT_TRUE(RebootEipDevice(*eip_, "127.0.0.1"));
  EXPECT_EQ(device_.resets(), 1);
  const auto h = device_.history();
  ASSERT_GE(h.size(), 8u);
  EXPECT_EQ(h[0], "0E/0070/0001/00A0");
  EXPECT_EQ(h[1], "0E/0070/0001/00A0");  // the dialog's read starts with the device check again
  EXPECT_EQ(h.back(), "05/0001/0001/0000");
}

TEST_F(EipSetup, BusyStatusIsAskedThreeTimesAtMost) {
  Fault("status=6A,count=2");
  std::vector<uint8_t> d;
  EXPECT_TRUE(eip_->Request("127.0.0.1", eipreq::kDeviceCheck, {}, &d));
  EXPECT_EQ(eip_->tries(), 3);
  Fault("status=6A,count=3");
  EXPECT_FALSE(eip_->Request("127.0.0.1", eipreq::kDeviceCheck, {}, &d));
  EXPECT_EQ(eip_->tries(), 3);
  EXPECT_TRUE(eip_->Request("127.0.0.1", eipreq::kDeviceCheck, {}, &d));
  EXPECT_EQ(eip_->tries(), 1);
}

TEST_F(EipSetup, Faults) {
  for (const char* fault : {"status=08,once", "short,once", "oversize,once", "silence,once", "drop,once"}) {
    Fault(fault);
    std::vector<uint8_t> d;
    EXPECT_FALSE(eip_->Request("127.0.0.1", eipreq::kRevision, {}, &d)) << fault;
    EXPECT_TRUE(eip_->Request("127.0.0.1", eipreq::kRevision, {}, &d)) << "after " << fault;
    EXPECT_EQ(d, (std::vector<uint8_t>{1, 101})) << "after " << fault;
  }

  qmx::sim::EipIdentity id = device_.identity();
  id.deviceCheck = 829;
  id.productName = std::string(32, 'N');
  device_.SetIdentity(id);
  EXPECT_FALSE(ProbeEip(*eip_, "127.0.0.1"));
  std::string name;
  EXPECT_TRUE(eip_->ReadShortString("127.0.0.1", eipreq::kProductName, &name));
  EXPECT_EQ(name, std::string(32, 'N'));
  id.productName = std::string(33, 'N');
  device_.SetIdentity(id);
  EXPECT_FALSE(eip_->ReadShortString("127.0.0.1", eipreq::kProductName, &name));

  server_.Stop();  // nobody answers: the client reports, never hangs
  qmx::cip::Response response;
  qmx::cip::Request request{0x0E, 0x01, 1, 4, {}, 0};
  EXPECT_NE(eip_->Transact("127.0.0.1", request, &response), 0);
  EXPECT_EQ(response.status, 1);
  EXPECT_EQ(response.text, kEipNotResponding);
}

TEST(EipSimulatorProgram, ServesEtherNetIpBesideModbus) {
  qmx::sim::SimulatorProcess sim({"--model", "QMX-4101", "--tcp", "127.0.0.1:0", "--eip", "127.0.0.1:0",
                                  "--eip-check", "829", "--eip-fault", "status=6A,once"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  const std::string eip = sim.Value("eip");
  ASSERT_EQ(eip.rfind("127.0.0.1:", 0), 0u) << sim.readyLine();
  qmx::cip::Client client({static_cast<uint16_t>(std::stoi(eip.substr(10))), 1000, 500});
  EipRequester requester(client, "127.0.0.1", 0);
  EXPECT_FALSE(ProbeEip(requester, "127.0.0.1")) << "829 is another product";
  EXPECT_EQ(requester.tries(), 2);
  ModbusSetupClient modbus;
  modbus.SetPort(static_cast<uint16_t>(sim.port()));
  modbus.SetTimeouts(kTimeouts);
  EXPECT_TRUE(ProbeModbus(modbus, "127.0.0.1"));
}
