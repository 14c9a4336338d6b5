// The station's register model: named registers by model, object
// addressing, parameter blocks, process-image layouts by model and mode,
// coils on the output registers, the input pattern and FC 8.
#include "tools/simulator/station.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tools/simulator/config.h"

namespace qmx::sim {
namespace {

std::vector<ModuleSpec> Modules(const std::string& list) {
  std::vector<ModuleSpec> m;
  std::string error;
  EXPECT_TRUE(ParseModules(list, &m, &error)) << error;
  return m;
}

StationConfig Config(const std::string& model, const std::string& modules, int inputMode = 2, int outputMode = 0) {
  StationConfig c;
  c.model = model;
  c.modules = Modules(modules);
  c.inputMode = inputMode;
  c.outputMode = outputMode;
  c.frozen = true;
  return c;
}

std::vector<uint16_t> Read(Station& s, uint16_t address, uint16_t count, Exception expect = Exception::None) {
  std::vector<uint16_t> words;
  EXPECT_EQ(s.ReadRegisters(address, count, &words), expect) << std::hex << address << " x " << count;
  return words;
}

std::vector<uint8_t> Bits(Station& s, uint16_t address, uint16_t count) {
  std::vector<uint8_t> bits;
  EXPECT_EQ(s.ReadBits(address, count, &bits), Exception::None) << address;
  return bits;
}

using Words = std::vector<uint16_t>;

TEST(StationModelTest, ModelFamilies) {
  EXPECT_EQ(FamilyOf("QMX-4101"), LayoutFamily::Standard);
  EXPECT_EQ(FamilyOf("dm-t640"), LayoutFamily::FixedIo);
  EXPECT_EQ(FamilyOf("DM2-T640"), LayoutFamily::FixedIo);
  EXPECT_EQ(FamilyOf("KA-4470 Station"), LayoutFamily::Split);
  EXPECT_EQ(FamilyOf("kx-4470"), LayoutFamily::Split);
  EXPECT_EQ(FamilyOf("ka-4470"), LayoutFamily::Standard);  // exact case except KX-4470
  EXPECT_TRUE(IsFourModel("KA-4512"));
  EXPECT_TRUE(IsFourModel("xy-4519"));
  EXPECT_FALSE(IsFourModel("KA-45120"));
  EXPECT_FALSE(IsFourModel("KA-4470"));
}

struct ModelRegisters {
  const char* model;
  std::vector<uint16_t> present;
  std::vector<uint16_t> absent;
};

class StationRegistersByModel : public ::testing::TestWithParam<ModelRegisters> {};

TEST_P(StationRegistersByModel, HasTheModelsRegisterSet) {
  Station s(Config(GetParam().model, ""));
  for (uint16_t a : GetParam().present) {
    std::vector<uint8_t> b;
    EXPECT_TRUE(s.ObjectBytes(a, &b)) << GetParam().model << " lacks 0x" << std::hex << a;
  }
  for (uint16_t a : GetParam().absent) {
    std::vector<uint8_t> b;
    EXPECT_FALSE(s.ObjectBytes(a, &b)) << GetParam().model << " has 0x" << std::hex << a;
  }
}

const std::vector<uint16_t> kCommon = {0x1002, 0x1003, 0x1010, 0x1020, 0x1028, 0x1041, 0x1101, 0x1110,
                                       0x1111, 0x1112, 0x1113, 0x1114, 0x1115, 0x1116, 0x1117, 0x1118,
                                       0x1119, 0x111A};

std::vector<uint16_t> With(std::vector<uint16_t> a, const std::vector<uint16_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    Models, StationRegistersByModel,
    ::testing::Values(
        ModelRegisters{"QMX-4101", With(kCommon, {0x1045, 0x1050, 0x1051, 0x1052, 0x1053, 0x1630, 0x1631}),
                       {0x1600, 0x1610, 0x1614, 0x1620, 0x2811}},
        ModelRegisters{"KA-4512", With(kCommon, {0x1600, 0x1602, 0x1604, 0x1606, 0x1609, 0x160A, 0x160B, 0x1610, 0x1614, 0x1620}),
                       {0x1050, 0x1051, 0x1630}},
        ModelRegisters{"KA-4511", With(kCommon, {0x1600, 0x1610, 0x1620}), {0x1614, 0x1053}}));

TEST(StationRegistersTest, OverlappingObjectsAreAddressedByObject) {
  StationConfig c = Config("QMX-4101", "");
  c.mask = {255, 255, 0, 0};
  c.gateway = {10, 1, 2, 3};
  c.mac = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
  Station s(c);
  // Addresses in memory order, served as little-endian registers.
  EXPECT_EQ(Read(s, 0x1051, 2), (Words{0xFFFF, 0x0000}));
  EXPECT_EQ(Read(s, 0x1052, 2), (Words{0x010A, 0x0302}));
  EXPECT_EQ(Read(s, 0x1053, 3), (Words{0x1102, 0x3322, 0x5544}));
  // Starting inside an object reads its later registers.
  EXPECT_EQ(Read(s, 0x1054, 2), (Words{0x3322, 0x5544}));
  // Past the end of the object: illegal address.
  Read(s, 0x1053, 4, Exception::IllegalAddress);
  Read(s, 0x1051, 3, Exception::IllegalAddress);
  Read(s, 0x1700, 1, Exception::IllegalAddress);
}

TEST(StationRegistersTest, SlotRegistersDescribeTheModules) {
  StationConfig c = Config("QMX-4101", "DI8,PWR,AO4");
  c.productCode = 0x8040;
  c.node = 7;
  Station s(c);
  EXPECT_EQ(Read(s, 0x1110, 1), (Words{3}));
  EXPECT_EQ(Read(s, 0x1113, 4), (Words{0x8040, 0x1108, 0x7101, 0x4104}));
  EXPECT_EQ(Read(s, 0x1117, 2), (Words{0x0007, 0x0000}));
  EXPECT_EQ(Read(s, 0x1002, 1), (Words{0x8040}));
  EXPECT_EQ(Read(s, 0x1101, 1), (Words{7}));
  EXPECT_EQ(Read(s, 0x1119, 1), (Words{0x0000}));  // normal
  // The power module has no communication number: AO4 is number 2.
  EXPECT_EQ(s.commNumber(1), 1);
  EXPECT_EQ(s.commNumber(2), -1);
  EXPECT_EQ(s.commNumber(3), 2);
}

TEST(StationRegistersTest, ParameterBlocksByCommunicationNumber) {
  StationConfig c = Config("QMX-4101", "DI8,PWR,AO4");
  c.adapterPara = 3;
  Station s(c);
  // Module 1 (DI8, 2 bytes) at 32 + 0x1FF1, module 2 (AO4, 4 bytes) at 64 + 0x1FF1.
  EXPECT_EQ(s.WriteRegisters(0x2011, {0xA1B2}), Exception::None);
  EXPECT_EQ(s.WriteRegisters(0x2031, {0x0102, 0x0304}), Exception::None);
  EXPECT_EQ(Read(s, 0x2011, 1), (Words{0xA1B2}));
  EXPECT_EQ(Read(s, 0x2031, 2), (Words{0x0102, 0x0304}));
  EXPECT_EQ(s.Para(1), (std::vector<uint8_t>{0xA1, 0xB2}));
  EXPECT_TRUE(s.Para(2).empty());
  EXPECT_EQ(s.Para(3), (std::vector<uint8_t>{1, 2, 3, 4}));
  // The adapter's 3 bytes take 2 registers. The driver swaps each register
  // into its little-endian image, so image byte 2 is the low byte of the
  // second register and the pad byte, its high byte, is not stored.
  EXPECT_EQ(s.WriteRegisters(0x2811, {0x1122, 0x3344}), Exception::None);
  EXPECT_EQ(s.Para(0), (std::vector<uint8_t>{0x11, 0x22, 0x00, 0x44}));
  EXPECT_EQ(Read(s, 0x2811, 2), (Words{0x1122, 0x0044}));
  Read(s, 0x2031, 3, Exception::IllegalAddress);
  EXPECT_EQ(s.WriteRegisters(0x2051, {0}), Exception::IllegalAddress);  // no module 3
}

TEST(StationRegistersTest, WritesRespectAccessAndValueRanges) {
  Station s(Config("QMX-4101", "DI8"));
  EXPECT_EQ(s.WriteRegisters(0x1002, {0x1234}), Exception::IllegalAddress);  // read-only
  EXPECT_EQ(s.WriteRegisters(0x1110, {5}), Exception::IllegalAddress);
  EXPECT_EQ(s.WriteRegisters(0x1020, {500}), Exception::None);
  EXPECT_EQ(Read(s, 0x1020, 1), (Words{500}));
  EXPECT_EQ(s.WriteRegisters(0x1114, {4}), Exception::IllegalValue);
  EXPECT_EQ(s.WriteRegisters(0x1115, {2}), Exception::IllegalValue);
  EXPECT_EQ(s.inputMode(), 2);
  EXPECT_EQ(s.WriteRegisters(0x1114, {1}), Exception::None);
  EXPECT_EQ(s.inputMode(), 1);
  EXPECT_EQ(Read(s, 0x1114, 1), (Words{1}));
  EXPECT_EQ(s.WriteRegisters(0x0000, {1}), Exception::IllegalAddress);  // input area
}

TEST(StationRegistersTest, CommandRegisterSession) {
  StationConfig c = Config("QMX-4101", "AI4");
  c.requireParaSession = true;
  Station s(c);
  EXPECT_EQ(s.WriteRegisters(0x2011, {1, 2}), Exception::DeviceFailure);
  EXPECT_EQ(s.WriteRegisters(0x111A, {0x0400}), Exception::None);
  EXPECT_TRUE(s.paraSessionOpen());
  EXPECT_EQ(s.WriteRegisters(0x2011, {1, 2}), Exception::None);
  EXPECT_EQ(s.WriteRegisters(0x111A, {0x0100}), Exception::None);
  EXPECT_FALSE(s.paraSessionOpen());
  EXPECT_EQ(s.commandRegister(), 0x0100);
  EXPECT_EQ(s.WriteRegisters(0x2011, {3, 4}), Exception::DeviceFailure);
  EXPECT_EQ(s.Para(1), (std::vector<uint8_t>{0, 1, 0, 2}));
}

// The image example: DI8, AI4 (4 x 16 bits), DO4 on a standard adapter.
TEST(StationImageTest, UncompressedWithStatusWord) {
  Station s(Config("QMX-4101", "DI8,AI4,DO4", 0, 0));
  ASSERT_TRUE(s.SetInput(1, {0x5A}));
  ASSERT_TRUE(s.SetInput(2, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}));
  ASSERT_TRUE(s.SetObjectBytes(0x1119, {0x00, 0x81}));
  EXPECT_EQ(s.InputImageLength(), 11u);
  // Status word, then DI8 in the low byte of word 1, AI4 from its high byte.
  EXPECT_EQ(Read(s, 0, 6), (Words{0x0081, 0x015A, 0x0302, 0x0504, 0x0706, 0x0008}));
  // Discrete inputs: the module's channels at bits 16..23.
  EXPECT_EQ(Bits(s, 16, 8), (std::vector<uint8_t>{0, 1, 0, 1, 1, 0, 1, 0}));
  // Only what the image holds can be read.
  Read(s, 0, 7, Exception::IllegalAddress);
  EXPECT_EQ(s.OutputImageLength(), 1u);
}

TEST(StationImageTest, UncompressedWithoutStatusWord) {
  Station s(Config("QMX-4101", "DI8,AI4,DO4", 2, 0));
  ASSERT_TRUE(s.SetInput(1, {0x5A}));
  ASSERT_TRUE(s.SetInput(2, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}));
  EXPECT_EQ(s.InputImageLength(), 9u);
  EXPECT_EQ(Read(s, 0, 5), (Words{0x015A, 0x0302, 0x0504, 0x0706, 0x0008}));
}

TEST(StationImageTest, CompressedModesPackBits) {
  // DI4, DI4, DI8, DI4: uncompressed 4 bytes, packed 20 bits = 3 bytes.
  for (int mode : {1, 3}) {
    Station s(Config("QMX-4101", "DI4,DI4,DI8,DI4,DO4,DO4", mode, 1));
    ASSERT_TRUE(s.SetInput(1, {0x0A}));
    ASSERT_TRUE(s.SetInput(2, {0x0C}));
    ASSERT_TRUE(s.SetInput(3, {0xF1}));
    ASSERT_TRUE(s.SetInput(4, {0x03}));
    const uint16_t lead = mode == 1 ? 1 : 0;
    EXPECT_EQ(s.InputImageLength(), 3u + 2 * lead) << mode;
    const Words w = Read(s, lead, 2);
    EXPECT_EQ(w, (Words{0xF1CA, 0x0003})) << mode;  // bits: A, C, F1, 3
    EXPECT_EQ(s.OutputImageLength(), 1u);
    // Output mode 1: DO4 then DO4 in one byte.
    EXPECT_EQ(s.WriteRegisters(2048, {0x0095}), Exception::None);
    EXPECT_EQ(s.Output(5), (std::vector<uint8_t>{0x05}));
    EXPECT_EQ(s.Output(6), (std::vector<uint8_t>{0x09}));
  }
  Station u(Config("QMX-4101", "DI4,DI4,DI8,DI4", 2, 0));
  ASSERT_TRUE(u.SetInput(1, {0x0A}));
  ASSERT_TRUE(u.SetInput(2, {0x00}));
  ASSERT_TRUE(u.SetInput(3, {0xF1}));
  ASSERT_TRUE(u.SetInput(4, {0x00}));
  EXPECT_EQ(u.InputImageLength(), 4u);
  EXPECT_EQ(Read(u, 0, 2), (Words{0x000A, 0x00F1}));
}

TEST(StationImageTest, ModeChangeOnlineRelaysTheImage) {
  Station s(Config("QMX-4101", "DI8", 2, 0));
  ASSERT_TRUE(s.SetInput(1, {0x33}));
  EXPECT_EQ(Read(s, 0, 1), (Words{0x0033}));
  ASSERT_TRUE(s.SetObjectBytes(0x1119, {0x00, 0x81}));
  ASSERT_EQ(s.WriteRegisters(0x1114, {0}), Exception::None);
  EXPECT_EQ(Read(s, 0, 2), (Words{0x0081, 0x0033}));
  ASSERT_TRUE(s.SetModes(3, 0));
  EXPECT_EQ(Read(s, 0, 1), (Words{0x0033}));
  EXPECT_EQ(Read(s, 0x1114, 1), (Words{3}));
}

TEST(StationImageTest, CoilsAliasTheOutputRegisters) {
  Station s(Config("QMX-4101", "DO8,DO4,AO2"));
  // Coils from 4096 are the output image's bits: DO8 bits 0-7, DO4 bits 8-11, AO2 from bit 16.
  ASSERT_EQ(s.WriteBits(4096, {1, 0, 1, 0, 0, 0, 0, 1}), Exception::None);
  ASSERT_EQ(s.WriteBits(4104, {1, 1, 1, 1, 1, 1, 1, 1}), Exception::None);  // DO4 keeps 4 bits
  EXPECT_EQ(s.Output(1), (std::vector<uint8_t>{0x85}));
  EXPECT_EQ(s.Output(2), (std::vector<uint8_t>{0x0F}));
  EXPECT_EQ(Read(s, 2048, 1), (Words{0x0F85}));
  ASSERT_EQ(s.WriteRegisters(2049, {0xBEEF, 0x1234}), Exception::None);
  EXPECT_EQ(s.Output(3), (std::vector<uint8_t>{0xEF, 0xBE, 0x34, 0x12}));
  EXPECT_EQ(Bits(s, 4096 + 16, 4), (std::vector<uint8_t>{1, 1, 1, 1}));
  EXPECT_EQ(Bits(s, 4096 + 20, 1), (std::vector<uint8_t>{0}));
  // Outside the output bits, and coils below 4096.
  EXPECT_EQ(s.WriteBits(4096 + 48, {1}), Exception::IllegalAddress);
  EXPECT_EQ(s.WriteBits(0, {1}), Exception::IllegalAddress);
  std::vector<uint8_t> bits;
  EXPECT_EQ(s.ReadBits(4096 + 40, 9, &bits), Exception::IllegalAddress);
}

TEST(StationImageTest, FixedIoAdapterChannelsComeFirst) {
  Station s(Config("DM-T640", "DI8,DO8"));
  EXPECT_EQ(s.Input(0).size(), 18u);
  EXPECT_EQ(s.Output(0).size(), 12u);
  std::vector<uint8_t> own(18, 0);
  own[16] = 0x81;  // the adapter's DI word (word 8)
  ASSERT_TRUE(s.SetInput(0, own));
  ASSERT_TRUE(s.SetInput(1, {0x42}));
  EXPECT_EQ(Read(s, 8, 2), (Words{0x0081, 0x0042}));  // own DI at word 8, module at word 9
  EXPECT_EQ(Bits(s, 144, 2), (std::vector<uint8_t>{0, 1}));
  // Own AO words at 2048..2053, the module at 2054 and coil 4192.
  ASSERT_EQ(s.WriteBits(4192, {1, 1}), Exception::None);
  EXPECT_EQ(s.Output(2), (std::vector<uint8_t>{0x03}));
  ASSERT_EQ(s.WriteRegisters(2048, {0x1234}), Exception::None);
  EXPECT_EQ(s.Output(0)[0], 0x34);
  EXPECT_EQ(s.Output(0)[1], 0x12);
  EXPECT_EQ(Read(s, 2054, 1), (Words{0x0003}));

  // With a status word (input modes 0 and 1) the own channels keep registers
  // 0-8; the status word follows them at register 9, the modules at 10.
  ASSERT_TRUE(s.SetModes(0, 0));
  ASSERT_TRUE(s.SetObjectBytes(0x1119, {0x00, 0x81}));
  EXPECT_EQ(Read(s, 8, 3), (Words{0x0081, 0x0081, 0x0042}));
  EXPECT_EQ(s.InputImageLength(), 18u + 2u + 1u);
}

TEST(StationImageTest, SplitAdapterSeparatesTheClasses) {
  Station s(Config("KA-4470", "DI8,AI2,DO8,AO2,CNT2"));
  ASSERT_EQ(s.areas().size(), 4u);
  ASSERT_TRUE(s.SetInput(1, {0x99}));
  ASSERT_TRUE(s.SetInput(2, {1, 2, 3, 4}));
  ASSERT_TRUE(s.SetInput(5, {9, 9, 9, 9, 9, 9, 9, 9}));
  // Analog inputs (AI2, then the special CNT2) from register 0, digital from 0x8000.
  EXPECT_EQ(Read(s, 0, 6), (Words{0x0201, 0x0403, 0x0909, 0x0909, 0x0909, 0x0909}));
  EXPECT_EQ(Read(s, 0x8000, 1), (Words{0x0099}));
  EXPECT_EQ(Bits(s, 0x8000, 1), (std::vector<uint8_t>{1}));
  ASSERT_EQ(s.WriteBits(0x8800, {0, 1}), Exception::None);
  EXPECT_EQ(s.Output(3), (std::vector<uint8_t>{0x02}));
  ASSERT_EQ(s.WriteRegisters(2048, {0x0A0B}), Exception::None);
  EXPECT_EQ(s.Output(4)[0], 0x0B);
  EXPECT_EQ(Read(s, 0x8800, 1), (Words{0x0002}));
  Read(s, 0x8000, 2, Exception::IllegalAddress);
}

TEST(StationImageTest, LayoutsThatDoNotFitAreRefused) {
  // 17 modules of 2048 input bits need 2176 registers; inputs end at 2048.
  StationConfig fits = Config("QMX-4101", "1:AI:2048:0*16");
  EXPECT_NO_THROW(Station{fits});
  StationConfig big = Config("QMX-4101", "1:AI:2048:0*17");
  EXPECT_THROW(Station{big}, std::invalid_argument);
  StationConfig outputs = Config("QMX-4101", "1:AO:0:2048*31");  // 7936 bytes of coils past 4096
  EXPECT_THROW(Station{outputs}, std::invalid_argument);
  StationConfig bad = Config("QMX-4101", "");
  bad.inputMode = 4;
  EXPECT_THROW(Station{bad}, std::invalid_argument);
  bad.inputMode = 0;
  bad.adapterInput = 5000;
  EXPECT_THROW(Station{bad}, std::invalid_argument);
  bad.adapterInput = 0;
  bad.modules = Modules("DI8*32");
  bad.modules.push_back(bad.modules.front());
  EXPECT_THROW(Station{bad}, std::invalid_argument);
}

TEST(StationInputsTest, PatternFollowsTimeUnlessFrozenOrFixed) {
  StationConfig c = Config("QMX-4101", "DI4,AI4");
  c.frozen = false;
  c.inputPeriodMs = 100;
  Station a(c), b(c);
  a.SetTime(250);
  b.SetTime(299);
  EXPECT_EQ(a.Input(2), b.Input(2));  // same step, same seed
  const auto atStep2 = a.Input(2);
  a.SetTime(1000);
  EXPECT_NE(a.Input(2), atStep2);
  EXPECT_EQ(a.Input(1)[0] & 0xF0, 0);  // only the module's 4 bits
  for (uint64_t t = 0; t < 5000; t += 100) {
    a.SetTime(t);
    EXPECT_EQ(a.Input(1)[0] & 0xF0, 0);
  }
  a.SetFrozen(true);
  const auto frozen = a.Input(2);
  a.SetTime(90000);
  EXPECT_EQ(a.Input(2), frozen);
  a.SetFrozen(false);
  ASSERT_TRUE(a.SetInput(2, {1, 2, 3, 4, 5, 6, 7, 8}));
  a.SetTime(123456);
  EXPECT_EQ(a.Input(2), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_FALSE(a.SetInput(2, {1, 2}));
  a.ReleaseInputs();
  EXPECT_NE(a.Input(2), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));

  StationConfig other = c;
  other.seed = 2;
  Station d(other);
  Station e(c);
  EXPECT_NE(d.Input(2), e.Input(2));
}

TEST(StationDiagnosticTest, SubFunctions) {
  Station s(Config("QMX-4101", "DO8"));
  std::vector<uint8_t> reply;
  EXPECT_EQ(s.Diagnostic(0x0000, {0xAB, 0xCD}, &reply), Exception::None);
  EXPECT_EQ(reply, (std::vector<uint8_t>{0xAB, 0xCD}));
  EXPECT_EQ(s.Diagnostic(0x0000, {1, 2, 3, 4, 5}, &reply), Exception::None);
  EXPECT_EQ(reply.size(), 5u);
  s.counters().busMessages = 7;
  s.counters().exceptions = 3;
  EXPECT_EQ(s.Diagnostic(0x000B, {0, 0}, &reply), Exception::None);
  EXPECT_EQ(reply, (std::vector<uint8_t>{0, 7}));
  EXPECT_EQ(s.Diagnostic(0x000D, {0, 0}, &reply), Exception::None);
  EXPECT_EQ(reply, (std::vector<uint8_t>{0, 3}));
  EXPECT_EQ(s.Diagnostic(0x000A, {0, 0}, &reply), Exception::None);
  EXPECT_EQ(s.counters().busMessages, 0);
  ASSERT_TRUE(s.SetOutput(1, {0xFF}));
  ASSERT_EQ(s.WriteRegisters(0x111A, {0x0400}), Exception::None);
  EXPECT_EQ(s.Diagnostic(0x0001, {0x12, 0x34}, &reply), Exception::IllegalValue);
  EXPECT_EQ(s.Output(1), (std::vector<uint8_t>{0xFF}));
  EXPECT_EQ(s.Diagnostic(0x0001, {0x00, 0x00}, &reply), Exception::None);
  EXPECT_EQ(reply, (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(s.Output(1), (std::vector<uint8_t>{0x00}));
  EXPECT_EQ(s.commandRegister(), 0);
  EXPECT_FALSE(s.paraSessionOpen());
  EXPECT_EQ(s.Diagnostic(0x0015, {0, 0}, &reply), Exception::IllegalFunction);
  EXPECT_EQ(s.Diagnostic(0x000B, {0}, &reply), Exception::IllegalValue);
}

}  // namespace
}  // namespace qmx::sim
