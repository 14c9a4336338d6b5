// The requests of the driver's stopped road, sent by libmodbus to a station
// taken from the shipped catalogue, over TCP and over RTU (node 2 of a line
// on a socat pty pair): the communication-init block read and written
// register by register, the parameter blocks by communication number, the
// image-mode reads, each module's inputs read at its position in every input
// mode, each module's outputs written as coils in both output modes, the
// diagnostic commands and the I/O configuration read. What the station
// answers is checked against the catalogue (whose reading agrees with the
// main program's, catalogue_test.cpp), what it received against its
// history.
#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <functional>
#include <memory>

#include "tests/support/test_support.h"
#include "tests/tools_sim/driver_registers.h"
#include "tests/tools_sim/sim_client.h"
#include "tools/simulator/catalogue.h"
#include "tools/simulator/frames.h"
#include "tools/simulator/simulator.h"
#include "tools/simulator/testing/simulator_process.h"

namespace qmx::sim {
namespace {

using Words = std::vector<uint16_t>;
using testing::DriverRegister;
using testing::DriverRegisters;

// QMX-7124 (2 input bits) last, so that every compressed position but its
// own starts on a byte; QMX-7016 takes no communication number.
const std::vector<std::string> kModules = {"QMX-1808", "QMX-3404", "QMX-7016", "QMX-2808",
                                           "QMX-4402", "QMX-1816", "QMX-7124"};

std::string Joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ",") + n;
  return s;
}

// The image bytes of registers as the driver stores them (low byte first).
std::vector<uint8_t> Image(const Words& words) {
  std::vector<uint8_t> out;
  for (uint16_t w : words) {
    out.push_back(static_cast<uint8_t>(w & 0xFF));
    out.push_back(static_cast<uint8_t>(w >> 8));
  }
  return out;
}

bool Bit(const std::vector<uint8_t>& bytes, size_t bit) { return (bytes.at(bit / 8) >> (bit % 8)) & 1; }

class Road {
public:
  Road(modbus_t* mb, SimulatorProcess& sim, const std::string& model, char transport, int unit)
      : mb_(mb), sim_(sim), transport_(transport), unit_(unit) {
    std::string error;
    EXPECT_TRUE(Catalogue::Load(DefaultCatalogueFolder(), &catalogue_, &error)) << error;
    adapter_ = catalogue_.FindAdapter(model);
    for (const std::string& name : kModules) modules_.push_back(catalogue_.FindModule(name));
    node_ = unit == 1 ? "" : " node=" + std::to_string(unit);
    modbus_set_slave(mb_, unit);
  }

  Words Read(int fc, int address, int count) {
    Words v(static_cast<size_t>(count));
    const int n = fc == 3 ? modbus_read_registers(mb_, address, count, v.data())
                          : modbus_read_input_registers(mb_, address, count, v.data());
    EXPECT_EQ(n, count) << std::hex << address << ": " << modbus_strerror(errno);
    return v;
  }
  void Write(int address, const Words& values) {
    EXPECT_EQ(modbus_write_registers(mb_, address, static_cast<int>(values.size()), values.data()),
              static_cast<int>(values.size()))
        << std::hex << address << ": " << modbus_strerror(errno);
  }
  std::string History(const std::vector<std::string>& entries) const {
    std::string s = "OK " + std::to_string(entries.size());
    for (const std::string& e : entries) s += " " + e;
    return s;
  }
  std::string Entry(int fc, int address, int quantity) const {
    char b[32];
    std::snprintf(b, sizeof b, "%c/%02X/%02X/%04X/%04X", transport_, unit_, fc, address, quantity);
    return b;
  }

  void CommInit() {
    ASSERT_NE(adapter_, nullptr);
    ASSERT_TRUE(sim_.Ok("history clear"));
    std::vector<std::string> expected;
    std::vector<std::pair<int, Words>> writes;
    for (const std::string& name : adapter_->initBlock) {
      const DriverRegister& r = DriverRegisters().at(name);
      const int count = static_cast<int>((r.bytes + 1) / 2);
      const Words value = Read(4, r.address, count);
      expected.push_back(Entry(4, r.address, count));
      if (r.writable) writes.emplace_back(r.address, value);
    }
    EXPECT_EQ(sim_.Command("history"), History(expected));
    // The block written back: every writable register in block order.
    ASSERT_TRUE(sim_.Ok("history clear"));
    expected.clear();
    for (const auto& [address, value] : writes) {
      Write(address, value);
      expected.push_back(Entry(16, address, static_cast<int>(value.size())));
    }
    EXPECT_EQ(sim_.Command("history"), History(expected));
    EXPECT_EQ(Read(4, 0x1002, 1), (Words{adapter_->productCode}));
    EXPECT_EQ(Read(4, 0x1110, 1), (Words{static_cast<uint16_t>(modules_.size())}));
    Words codes{adapter_->productCode};
    for (const CatalogueModule* m : modules_) codes.push_back(m->productCode);
    EXPECT_EQ(Read(4, 0x1113, static_cast<int>(codes.size())), codes);
  }

  void Parameters() {
    auto image = [&](int address, size_t bytes) {
      std::vector<uint8_t> b = Image(Read(4, address, static_cast<int>((bytes + 1) / 2)));
      b.resize(bytes);
      return b;
    };
    EXPECT_EQ(image(0x2811, adapter_->paraLength), adapter_->defaultPara);
    int comm = 0;
    size_t slot = 0;
    for (const CatalogueModule* m : modules_) {
      ++slot;
      if (!m->canCommunicate) continue;
      const int address = 32 * ++comm + 0x1FF1;
      if (m->paraLength == 0) continue;
      EXPECT_EQ(image(address, m->paraLength), m->defaultPara) << m->id;
      // A new block, swapped into registers as the driver sends it.
      std::vector<uint8_t> block(m->paraLength);
      for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(0x10 * comm + i);
      Words words;
      for (size_t i = 0; i < block.size(); i += 2)
        words.push_back(static_cast<uint16_t>(block[i] | (i + 1 < block.size() ? block[i + 1] << 8 : 0)));
      Write(address, words);
      EXPECT_EQ(image(address, m->paraLength), block) << m->id;
      Bytes wire;
      ASSERT_TRUE(FromHex(sim_.Command("get para " + std::to_string(slot) + node_).substr(3), &wire));
      for (size_t i = 0; i < block.size(); ++i) EXPECT_EQ(wire.at(i ^ 1), block[i]) << m->id << " byte " << i;
    }
  }

  // Each module's inputs at its position: uncompressed each module starts
  // on a byte, compressed the bits follow without gaps; a status word leads
  // in input modes 0 and 1.
  void Inputs() {
    for (size_t slot = 1; slot <= modules_.size(); ++slot) {
      const CatalogueModule* m = modules_[slot - 1];
      if (m->inputLength == 0) continue;
      std::string hex;
      for (int i = 0; i < m->inputLength; ++i) hex += ToHex({static_cast<uint8_t>(0x5A ^ (slot * 0x11 + i))});
      ASSERT_TRUE(sim_.Ok("input " + std::to_string(slot) + " " + hex + node_));
    }
    for (int mode = 0; mode <= 3; ++mode) {
      SCOPED_TRACE("input mode " + std::to_string(mode));
      Write(0x1114, {static_cast<uint16_t>(mode)});
      EXPECT_EQ(Read(4, 0x1114, 1), (Words{static_cast<uint16_t>(mode)}));
      const bool compressed = mode == 1 || mode == 3;
      const int first = mode <= 1 ? 1 : 0;
      size_t position = 0;  // bits
      for (size_t slot = 1; slot <= modules_.size(); ++slot) {
        const CatalogueModule* m = modules_[slot - 1];
        if (m->inputBits == 0) continue;
        const size_t b = position % 16;
        const int reg = static_cast<int>(position / 16) + first;
        const int count = static_cast<int>((b / 8 + m->inputLength + 1) / 2);
        const std::vector<uint8_t> got = Image(Read(4, reg, count));
        Bytes want;
        ASSERT_TRUE(FromHex(sim_.Command("get input " + std::to_string(slot) + node_).substr(3), &want));
        for (size_t i = 0; i < m->inputBits; ++i) EXPECT_EQ(Bit(got, b + i), Bit(want, i)) << m->id << " bit " << i;
        position += compressed ? m->inputBits : 8u * m->inputLength;
      }
      // The image ends where the last module's bits end.
      const int registers = first + static_cast<int>((position + 15) / 16);
      Words beyond(static_cast<size_t>(registers) + 1);
      EXPECT_EQ(modbus_read_input_registers(mb_, 0, registers + 1, beyond.data()), -1);
      EXPECT_EQ(errno, EMBXILADD);
    }
    Write(0x1114, {2});
  }

  // Each module's outputs written as the driver writes them: its bytes as
  // coils from its bit position, then read back as registers.
  void Outputs() {
    for (int mode = 0; mode <= 1; ++mode) {
      SCOPED_TRACE("output mode " + std::to_string(mode));
      Write(0x1115, {static_cast<uint16_t>(mode)});
      EXPECT_EQ(Read(4, 0x1115, 1), (Words{static_cast<uint16_t>(mode)}));
      size_t position = 0;
      for (size_t slot = 1; slot <= modules_.size(); ++slot) {
        const CatalogueModule* m = modules_[slot - 1];
        if (m->outputBits == 0) continue;
        std::vector<uint8_t> data(m->outputLength);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xC3 ^ (mode * 0x21 + slot + i));
        std::vector<uint8_t> coils;
        for (size_t i = 0; i < 8u * data.size(); ++i) coils.push_back(Bit(data, i) ? 1 : 0);
        EXPECT_EQ(modbus_write_bits(mb_, static_cast<int>(4096 + position), static_cast<int>(coils.size()), coils.data()),
                  static_cast<int>(coils.size()))
            << m->id << ": " << modbus_strerror(errno);
        EXPECT_EQ(sim_.Command("get output " + std::to_string(slot) + node_), "OK " + ToHex(data)) << m->id;
        const size_t b = position % 16;
        const std::vector<uint8_t> got =
            Image(Read(3, 2048 + static_cast<int>(position / 16), static_cast<int>((b / 8 + data.size() + 1) / 2)));
        for (size_t i = 0; i < m->outputBits; ++i) EXPECT_EQ(Bit(got, b + i), Bit(data, i)) << m->id << " bit " << i;
        position += mode == 1 ? m->outputBits : 8u * m->outputLength;
      }
    }
    Write(0x1115, {0});
  }

  // Restart (sub-function 1) and clear counters (0x0A), data 0x0000: echoed.
  // libmodbus cannot receive a function 8 reply, so `exchange` sends the
  // PDU in the transport's frame and returns the reply's PDU.
  void Diagnostics(const std::function<Bytes(const Bytes&)>& exchange) {
    for (uint8_t sub : {0x01, 0x0A}) {
      const Bytes pdu{0x08, 0x00, sub, 0x00, 0x00};
      EXPECT_EQ(exchange(pdu), pdu);
    }
    // The restart switched the outputs off.
    EXPECT_EQ(sim_.Command("get output 4" + node_), "OK 00");
  }

  void All() {
    CommInit();
    Parameters();
    Inputs();
    Outputs();
  }

private:
  modbus_t* mb_;
  SimulatorProcess& sim_;
  char transport_;
  int unit_;
  std::string node_;
  Catalogue catalogue_;
  const CatalogueAdapter* adapter_ = nullptr;
  std::vector<const CatalogueModule*> modules_;
};

struct ModbusDeleter {
  void operator()(modbus_t* ctx) const {
    modbus_close(ctx);
    modbus_free(ctx);
  }
};
using Modbus = std::unique_ptr<modbus_t, ModbusDeleter>;

TEST(SimDriverRoadTest, OverTcp) {
  SimulatorProcess sim({"--model", "QMX-4101", "--modules", Joined(kModules), "--tcp", "127.0.0.1:0", "--freeze"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  Modbus mb(modbus_new_tcp("127.0.0.1", sim.port()));
  ASSERT_TRUE(mb);
  ASSERT_EQ(modbus_connect(mb.get()), 0) << modbus_strerror(errno);
  Road road(mb.get(), sim, "QMX-4101", 'T', 1);
  road.All();
  testing::RawTcp raw;
  ASSERT_TRUE(raw.Connect("127.0.0.1", sim.port()));
  road.Diagnostics([&](const Bytes& pdu) {
    raw.Send(TcpFrame(7, 1, pdu));
    const Bytes reply = raw.Receive(7 + pdu.size(), 1000);
    return reply.size() > 7 ? Bytes(reply.begin() + 7, reply.end()) : Bytes{};
  });
}

TEST(SimDriverRoadTest, OverRtuOnTheSecondNodeOfALine) {
  test::TempDir dir("qmx-sim-road");
  PtyPair line(dir.path());
  ASSERT_TRUE(line.Start()) << line.error();
  SimulatorProcess sim({"--model", "QMX-4105", "--modules", Joined(kModules), "--rtu", line.peer().string(),
                        "--serial", "19200,8,E,1", "--nodes", "1,2", "--freeze"});
  ASSERT_TRUE(sim.Start()) << sim.error();
  Modbus mb(modbus_new_rtu(line.end().c_str(), 19200, 'E', 8, 1));
  ASSERT_TRUE(mb);
  modbus_set_response_timeout(mb.get(), 0, 500000);
  ASSERT_EQ(modbus_connect(mb.get()), 0) << modbus_strerror(errno);
  Road road(mb.get(), sim, "QMX-4105", 'R', 2);
  road.All();
  modbus_close(mb.get());  // the raw peer takes the line
  testing::RawSerial raw;
  ASSERT_TRUE(raw.Open(line.end()));
  road.Diagnostics([&](const Bytes& pdu) {
    raw.Send(RtuFrame(2, pdu));
    const Bytes reply = raw.Receive(pdu.size() + 3, 1000);
    return reply.size() > 3 ? Bytes(reply.begin() + 1, reply.end() - 2) : Bytes{};
  });
  // Node 1 saw none of it.
  EXPECT_EQ(sim.Command("get para 1"), "OK 0102");
}

}  // namespace
}  // namespace qmx::sim
