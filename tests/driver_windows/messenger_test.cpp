// The messenger's decisions without a window: the checks and the request
// built from the fields, the reply formats, the built-in message files
// shipped in the program folder, the serial settings text, the Address Map
// window's lines; and one Send of every function code against the simulator
// over TCP and over an RS485 pty line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "driver/records.h"
#include "driver/messenger.h"
#include "tests/support/test_support.h"
#include "tools/simulator/testing/simulator_process.h"

namespace {

using namespace tessivar::windows;
using tessivar::SerialCommSetting;
using tessivar::TcpCommSetting;
using Bytes = std::vector<uint8_t>;

MessengerCheck Build(MessengerFields f, MessengerRequest& r) {
  TcpCommSetting tcp = MessengerTcpDefaults();
  SerialCommSetting serial = MessengerSerialDefaults();
  return BuildMessengerRequest(f, r, tcp, serial);
}

MessengerFields Fields(int index, const std::string& quantity, const std::string& data) {
  MessengerFields f;
  f.functionIndex = index;
  f.quantity = quantity;
  f.sendData = data;
  return f;
}

TEST(MessengerRequest, SendDataAreFittedToTheFunctionsByteCount) {
  struct Case {
    int index;
    std::string quantity, data;
    Bytes wire;
    uint16_t quantitySent;
    int expectedReply;
  } cases[] = {
      {4, "", "FF", {0xFF, 0x00}, 0, 2},
      {4, "", "0000", {0x00, 0x00}, 0, 2},
      {5, "", "12", {0x12, 0x00}, 0, 2},
      {6, "2", "ABCD", {0xAB, 0xCD, 0x00, 0x00}, 2, 4},
      {8, "2", "1234", {0x12, 0x34, 0x00, 0x00}, 2, 2},
      {8, "2", "11 22 33 44 55", {0x11, 0x22, 0x33, 0x44}, 2, 2},
      {7, "32", "11223344", {0x22, 0x11, 0x44, 0x33}, 32, 2},
      {7, "24", "AABBCC", {0xAA, 0xCC, 0xBB}, 24, 2},
      {2, "3", "ZZ", {}, 3, 6},  // a read ignores the send data
      {0, "9", "", {}, 9, 2},
  };
  for (const Case& c : cases) {
    MessengerRequest r;
    ASSERT_TRUE(Build(Fields(c.index, c.quantity, c.data), r).ok()) << c.index << " " << c.data;
    EXPECT_EQ(r.data, c.wire) << c.index << " " << c.data;
    EXPECT_EQ(r.quantity, c.quantitySent) << c.index;
    EXPECT_EQ(r.expectedReply, c.expectedReply) << c.index;
  }
}

TEST(MessengerRequest, EachRefusalNamesItsField) {
  auto with = [](auto change) {
    MessengerFields f;
    change(f);
    return f;
  };
  struct Case {
    MessengerFields fields;
    std::string message;
    int field;
  } cases[] = {
      {with([](MessengerFields& f) { f.comPort = " "; }), "Fill in a COM Port.", kFieldComPort},
      {with([](MessengerFields& f) { f.protocol = 1; f.ipAddress = "192.168.0"; }),
       "Input a IP Address or Check IP Address format.", kFieldIp},
      {with([](MessengerFields& f) { f.slaveId = "-1"; }), "Slave ID must be greater than 0.", kFieldSlave},
      // 248..255 are reserved on a serial line; over TCP the unit byte ends
      // at 255.
      {with([](MessengerFields& f) { f.slaveId = "248"; }), "Slave ID must be 247 or less.", kFieldSlave},
      {with([](MessengerFields& f) { f.protocol = 1; f.ipAddress = "192.168.0.1"; f.slaveId = "256"; }),
       "Slave ID must be 255 or less.", kFieldSlave},
      {with([](MessengerFields& f) { f.address = "12  34"; }), "Check if address is valid hex format.",
       kFieldAddress},
      {with([](MessengerFields& f) { f.address = "10000"; }), "Check if address is valid hex format.",
       kFieldAddress},
      {with([](MessengerFields& f) { f.quantity = "0"; }), "Quantity must be greater than 1.", kFieldQuantity},
      {Fields(8, "65", "00"), "Quantity is too large for one request.", kFieldQuantity},
      {Fields(8, "1", "GG"), "Check if send data is valid hex format.", kFieldSendData},
      {Fields(4, "", "0001"), "The send data of 5 function must have 'FF00' or '0000'", kFieldSendData},
  };
  for (const Case& c : cases) {
    MessengerRequest r;
    const MessengerCheck check = Build(c.fields, r);
    EXPECT_EQ(check.message, c.message);
    EXPECT_EQ(check.field, c.field) << c.message;
  }
}

TEST(MessengerReply, TheSevenFormatsSwapAndTrim) {
  const Bytes reply = {0x00, 0x01, 0x00, 0x02, 0xFF, 0xFF};
  const Bytes text = {'A', 'B', 'C', 0, 'D', 0x80};
  struct Case {
    const Bytes* bytes;
    int format;
    bool swap;
    std::string trim, shown;
  } cases[] = {
      {&reply, kWordUnsigned, false, "", " 1 2 65535"},
      {&reply, kWordSigned, false, "", " 1 2 -1"},
      {&reply, kWordUnsigned, true, "", " 256 512 65535"},
      {&reply, kWordHex, false, "", " 0001 0002 FFFF "},
      {&reply, kByteHex, false, "2", " 00 02 FF FF "},
      {&reply, kByteDec, false, "4", " 255 255"},
      {&reply, kByteBit, true, "", " 00000001 00000000 00000010 00000000 11111111 11111111"},
      {&text, kAscii, false, "", " ABC"},
      {&reply, kWordHex, false, "6", ""},
      {&reply, kWordHex, false, "600", ""},  // beyond the reply: nothing to show
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatReply(c.bytes->data(), static_cast<int>(c.bytes->size()), c.format, c.swap, c.trim), c.shown)
        << c.format << " trim " << c.trim;
}

TEST(BuiltInMessages, LinesAreKeptByNameAndBadOnesSkipped) {
  const auto m = ParseBuiltInMessages(
      "Echo, 6, 0000, 1, ABCD, 0, 0, \r\n"
      "\n"
      "No index,,1000,1\n"
      "Too far,9,1000,1\n"
      "Negative,-1,1000,1\n"
      ",3,1000,1\n"
      "No address,3,,1\n"
      "Echo,3,1002,1\n");
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m.at("Echo").functionIndex, 3) << "the later line of a name wins";
  EXPECT_EQ(m.at("Echo").address, "1002");
  EXPECT_EQ(m.at("No index").functionIndex, 0);
  EXPECT_EQ(m.at("No index").swap, "");
}

TEST(BuiltInMessages, AFileFarLargerThanAMessageFileIsRefusedUnread) {
  qmx::test::TempDir dir("qmx-messages");
  const auto file = dir / "huge.csv";
  qmx::test::WriteFile(file, "");
  std::filesystem::resize_file(file, 5u * 1024 * 1024);  // sparse
  std::map<std::string, BuiltInMessage> messages;
  std::string refusal;
  EXPECT_FALSE(LoadBuiltInMessages(file.string(), messages, &refusal));
  EXPECT_EQ(refusal, "The file " + file.string() +
                         " is too large to be read: 5242880 bytes, more than the 4194304 bytes a file of its kind "
                         "may have");
  refusal.clear();
  EXPECT_FALSE(LoadBuiltInMessages((dir / "missing.csv").string(), messages, &refusal));
  EXPECT_TRUE(refusal.empty()) << "a missing file is no refusal";
}

TEST(BuiltInMessages, EveryShippedFileGivesRequestsThatPassTheChecks) {
  const std::filesystem::path folder = BuiltInMessageFolder(qmx::test::DistDir().string());
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    ASSERT_EQ(entry.path().extension(), ".csv");
    std::map<std::string, BuiltInMessage> messages;
    ASSERT_TRUE(LoadBuiltInMessages(entry.path().string(), messages));
    EXPECT_GE(messages.size(), 6u) << entry.path();
    for (const auto& [name, m] : messages) {
      MessengerFields f = Fields(m.functionIndex, QuantityEnabled(m.functionIndex) ? m.quantity : "", m.sendData);
      f.address = m.address;
      MessengerRequest r;
      EXPECT_TRUE(Build(f, r).ok()) << entry.path().filename() << ": " << name << ": " << Build(f, r).message;
    }
    ++files;
  }
  EXPECT_EQ(files, 6);
}

TEST(MessengerRequest, UnitZeroAndOverTcpEveryUnitByteAreAccepted) {
  struct Case {
    int protocol;
    const char* slave;
  } cases[] = {{0, "0"}, {0, "247"}, {1, "0"}, {1, "248"}, {1, "255"}};
  for (const Case& c : cases) {
    MessengerFields f;
    f.protocol = c.protocol;
    f.ipAddress = "192.168.0.1";
    f.slaveId = c.slave;
    MessengerRequest r;
    EXPECT_TRUE(Build(f, r).ok()) << c.protocol << " " << c.slave << ": " << Build(f, r).message;
    EXPECT_EQ(r.slave, std::atoi(c.slave));
  }
}

TEST(SerialSettingText, FourFieldsOrNothing) {
  SerialSettingValues v;
  // Fewer than four fields change nothing.
  for (const char* text : {"", "9600", "9600, 8", "19200, 7, ODDPARITY"}) {
    EXPECT_FALSE(v.SetText(text)) << text;
    EXPECT_EQ(v.GetText(), "115200, 8, None, 1") << text;
  }
  EXPECT_EQ(FirstEntryBeginningWith(kParities, v.parity), -1) << "the default parity selects nothing";
  EXPECT_TRUE(v.SetText(" 19200 ,8, EVENPARITY , 1.5, extra"));
  EXPECT_EQ(v.GetText(), "19200, 8, EVENPARITY, 1.5");
  EXPECT_EQ(FirstEntryBeginningWith(kStopBits, "1.5"), 1);
}

TEST(AddressMapLines, RowsChannelsAndTheirChildLines) {
  std::vector<AddressMapChannel> in(8), out(2);
  for (int i = 0; i < 8; ++i) in[i] = {1, 1, i, 0x10 + i, "DI"};
  out[0] = {1, 0x8000, 3, 0x8003, "DO"};
  out[1] = {1, 0x8000, 4, 0x8004, "DO"};
  std::vector<AddressMapChannel*> inPtr, outPtr;
  for (auto& c : in) inPtr.push_back(&c);
  for (auto& c : out) outPtr.push_back(&c);
  AddressMapRow adapter{0, 3, "Boiler", "NA", 0, nullptr, 0, nullptr};
  AddressMapRow inputs{1, 4, "Inputs", "DI", 8, inPtr.data(), 0, nullptr};
  AddressMapRow both{2, 5, "Mixed", "DIO", 1, inPtr.data(), 2, outPtr.data()};
  // The main program's module labels carry their slot already.
  AddressMapRow outputs{3, 6, "03: Outputs", "DO", 0, nullptr, 2, outPtr.data()};
  AddressMapRow* rows[] = {&adapter, &inputs, &both, &outputs};
  AddressMapInfo map{1, 0, 0, "", "", 4, rows};
  const auto lines = AddressMapLines(&map);
  ASSERT_EQ(lines.size(), 1u + 8u + 3u + 2u);
  EXPECT_EQ(lines[0].cells, (std::vector<std::string>{"00: Boiler", "", "", "", "", ""}));
  EXPECT_EQ(lines[1].cells, (std::vector<std::string>{"01: Inputs", "0", "0x0001/00", "0x0010", "", ""}));
  EXPECT_EQ(lines[1].iconIndex, 4);
  EXPECT_EQ(lines[8].cells, (std::vector<std::string>{"", "7", "0x0001/07", "0x0017", "", ""}));
  EXPECT_TRUE(lines[8].child);
  EXPECT_EQ(lines[8].iconIndex, kAddressMapChildIcon);
  EXPECT_EQ(lines[9].cells,
            (std::vector<std::string>{"02: Mixed", "0", "0x0001/00", "0x0010", "0x8000/03", "0x8003"}));
  EXPECT_EQ(lines[10].cells, (std::vector<std::string>{"", "0", "", "", "0x8000/03", "0x8003"}))
      << "output channel 0 again as the first output child";
  EXPECT_EQ(lines[12].cells, (std::vector<std::string>{"03: Outputs", "0", "", "", "0x8000/03", "0x8003"}));
  EXPECT_EQ(lines[13].cells, (std::vector<std::string>{"", "1", "", "", "0x8000/04", "0x8004"}));
  EXPECT_TRUE(AddressMapLines(nullptr).empty());
}

// ---- Send against the simulator ----

struct Exchange {
  int index;
  std::string address, quantity, data;
  std::string shown;  // WordHex, swap off
};

// Every function code in the order a user would try them: writes first, then
// the reads see what was written.
const Exchange kEveryFunction[] = {
    {4, "1000", "", "FF00", " FF00 "},
    {5, "0800", "", "1234", " 1234 "},
    {8, "0801", "2", "ABCD5678", " 0002 "},
    {7, "1000", "8", "A5", " 0008 "},
    {0, "1000", "8", "", " A5"},
    // The coils alias the output image's first byte, the low half of its
    // first word; the station's 5-byte output image ends in the third.
    {2, "0800", "3", "", " 12A5 ABCD 0078 "},
    {3, "1002", "1", "", " 4101 "},
    {1, "0000", "8", "", ""},  // live inputs: one byte, any value
    {6, "0000", "2", "ABCD1234", " ABCD 1234 "},
};

void RunEveryFunction(MessengerFields base, const TcpCommSetting& tcpBase) {
  for (const Exchange& e : kEveryFunction) {
    MessengerFields f = base;
    f.functionIndex = e.index;
    f.address = e.address;
    f.quantity = e.quantity;
    f.sendData = e.data;
    MessengerRequest r;
    TcpCommSetting tcp = tcpBase;
    SerialCommSetting serial = MessengerSerialDefaults();
    ASSERT_TRUE(BuildMessengerRequest(f, r, tcp, serial).ok()) << e.index;
    const MessengerOutcome out = RunMessengerExchange(f.protocol, tcp, serial, r, 0);
    ASSERT_EQ(out.result, 1) << "function index " << e.index << out.status;
    EXPECT_EQ(out.status, " Success.");
    if (e.shown.empty())
      EXPECT_EQ(out.reply.size(), 1u);
    else
      EXPECT_EQ(FormatReply(out.reply.data(), static_cast<int>(out.reply.size()), kWordHex, false, ""), e.shown)
          << "function index " << e.index;
  }
}

const std::vector<std::string> kStation = {"--model", "QMX-4101", "--modules", "QMX-1808,QMX-2808,QMX-4402",
                                           "--freeze"};

TEST(MessengerOnTheSimulator, EveryFunctionCodeOverTcp) {
  std::vector<std::string> args = kStation;
  args.insert(args.end(), {"--tcp", "127.0.0.1:0"});
  qmx::sim::SimulatorProcess sim(args);
  ASSERT_TRUE(sim.Start()) << sim.error();
  MessengerFields f;
  f.protocol = 1;
  f.ipAddress = "127.0.0.1";
  TcpCommSetting tcp = MessengerTcpDefaults();
  tcp.port = sim.port();
  RunEveryFunction(f, tcp);

  // A TCP adapter without a node address answers unit 0.
  MessengerFields zero = f;
  zero.slaveId = "0";
  zero.functionIndex = 3;
  zero.address = "1002";
  zero.quantity = "1";
  MessengerRequest request;
  SerialCommSetting unused;
  ASSERT_TRUE(BuildMessengerRequest(zero, request, tcp, unused).ok());
  const MessengerOutcome zeroOut = RunMessengerExchange(1, tcp, unused, request, 0);
  EXPECT_EQ(zeroOut.status, " Success.");
  EXPECT_EQ(FormatReply(zeroOut.reply.data(), static_cast<int>(zeroOut.reply.size()), kWordHex, false, ""), " 4101 ");

  // An exception reply and a refused connection land in the status line.
  MessengerFields bad = f;
  bad.address = "7000";
  MessengerRequest r;
  SerialCommSetting serial;
  ASSERT_TRUE(BuildMessengerRequest(bad, r, tcp, serial).ok());
  MessengerOutcome out = RunMessengerExchange(1, tcp, serial, r, 0);
  EXPECT_NE(out.result, 1);
  EXPECT_EQ(out.status.rfind(" Failed. ", 0), 0u) << out.status;
  EXPECT_TRUE(out.reply.empty());
  sim.Stop();
  out = RunMessengerExchange(1, tcp, serial, r, 0);
  EXPECT_FALSE(out.opened);
  EXPECT_EQ(out.status.rfind(" Open connection is failed. Because ", 0), 0u) << out.status;
}

TEST(MessengerOnTheSimulator, EveryFunctionCodeOnAnRs485Line) {
  const qmx::test::TempDir temp("messenger-rtu");
  const std::filesystem::path dir = temp.path();
  ::setenv("QMX_COM_DIR", dir.c_str(), 1);
  qmx::sim::PtyPair line(dir);
  ASSERT_TRUE(line.Start()) << line.error();
  std::vector<std::string> args = kStation;
  args.insert(args.end(), {"--rtu", line.peer().string(), "--serial", "19200,8,N,1", "--nodes", "5"});
  qmx::sim::SimulatorProcess sim(args);
  ASSERT_TRUE(sim.Start()) << sim.error();
  MessengerFields f;
  f.comPort = "7";
  f.slaveId = "5";
  f.serialSettings = "19200, 8, NOPARITY, 0";
  RunEveryFunction(f, MessengerTcpDefaults());
}

}  // namespace
