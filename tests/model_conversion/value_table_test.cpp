// Text -> image bytes -> text, over every convertible data type, every
// byte-order mode and the three display forms, and the refusals of the value
// operations.
#include "tests/support/model_log_capture.h"
#include "test_object.h"

#include "app/model/ValueConversion.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

struct ValueCase {
  const char* name;
  int type;
  uint16_t size;
  int bitOffset;
  const char* written;
  const char* normal;  // read back in the normal form
  const char* hex;     // read back with "HEX" (project form)
};

const ValueCase kCases[] = {
    {"BitSet", kDataTypeBit, 1, 3, "1", "1", "0x01"},
    {"BitWordSets", kDataTypeBit, 1, 7, "on", "1", "0x01"},
    {"BitClear", kDataTypeBit, 1, 0, "0", "0", "0x00"},
    {"BitAreaHigh", kDataTypeBitArea, 3, 5, "5", "5", "0xA0"},
    {"BitAreaLow", kDataTypeBitArea, 2, 0, "3", "3", "0x03"},
    {"Integer8Negative", kDataTypeInteger8, 1, 0, "-5", "-5", "0xFB"},
    {"Unsigned8", kDataTypeUnsigned8, 1, 0, "200", "200", "0xC8"},
    {"Integer16", kDataTypeInteger16, 1, 0, "1234", "1234", "0x04D2"},
    {"Integer16Negative", kDataTypeInteger16, 1, 0, "-2", "-2", "0xFFFE"},
    {"Unsigned16", kDataTypeUnsigned16, 1, 0, "65535", "65535", "0xFFFF"},
    {"Integer32", kDataTypeInteger32, 1, 0, "-100000", "-100000", "0xFFFE7960"},
    {"Unsigned32High", kDataTypeUnsigned32, 1, 0, "4000000000", "4000000000", "0xEE6B2800"},
    {"Float16NoRule", kDataTypeFloat16, 1, 0, "2.5", "2.50", "0x0028"},
    {"Float16NegativeNoRule", kDataTypeFloat16, 1, 0, "-1.25", "-1.25", "0xFFEC"},
    {"StringFull", kDataTypeString, 4, 0, "ABCD", "ABCD", "0x44434241"},
    {"StringShort", kDataTypeString, 6, 0, "hi", "hi", "0x000000006968"},
    {"ByteArea", kDataTypeByteArea, 4, 0, "0x0102", "01020000", "0x01020000"},
    {"ByteAreaBlanks", kDataTypeByteArea, 3, 0, "AA bb 0c", "AABB0C", "0xAABB0C"},
    {"IPAddr", kDataTypeIPAddr, 4, 0, "192.168.1.5", "192.168.1.5", "192.168.1.5"},
};

class ValueTable : public ::testing::TestWithParam<std::tuple<ValueCase, int, int>> {};

TEST_P(ValueTable, TextToBytesToTextRoundTrips) {
  const auto& [c, byteOrder, byteOffset] = GetParam();
  ModelLogCapture log;
  TestObject object(byteOrder);
  ASSERT_EQ(object.SetUsrValToPrjMemory(c.written, "PARA", c.type, c.size, byteOffset, c.bitOffset, nullptr), 1);
  std::string text = "stale";
  ASSERT_EQ(object.GetUsrValFromPrjMemory(text, "PARA", "test", "", c.type, c.size, byteOffset, c.bitOffset,
                                          nullptr),
            1);
  EXPECT_EQ(text, c.normal);
  ASSERT_EQ(object.GetUsrValFromPrjMemory(text, "PARA", "test", "HEX", c.type, c.size, byteOffset, c.bitOffset,
                                          nullptr),
            1);
  EXPECT_EQ(text, c.hex);

  // The online reader over a copy of the image answers the same.
  const std::vector<uint8_t> online = object.paraImage();
  ASSERT_EQ(object.GetUsrValFromOnlineMemory(text, online.data(), static_cast<int>(online.size()), "test", "",
                                             c.type, c.size, byteOffset, c.bitOffset, nullptr),
            1);
  EXPECT_EQ(text, c.normal);
  EXPECT_TRUE(log.Records().empty()) << log.Records().front().text;
}

INSTANTIATE_TEST_SUITE_P(AllTypes, ValueTable,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Values(0, 1, 2),
                                            ::testing::Values(0, 4)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "_Order" +
                                  std::to_string(std::get<1>(info.param)) + "_At" +
                                  std::to_string(std::get<2>(info.param));
                         });

// ---- bytes in the image by byte-order mode ------------------------------------------------

struct ByteCase {
  const char* name;
  int type;
  uint16_t size;
  const char* written;
  int byteOrder;
  std::vector<uint8_t> bytes;
};

class ImageBytes : public ::testing::TestWithParam<ByteCase> {};

TEST_P(ImageBytes, LandInTheImageByMode) {
  const ByteCase& c = GetParam();
  TestObject object(c.byteOrder, 8, 8);
  ASSERT_EQ(object.SetUsrValToPrjMemory(c.written, "OUTPUT", c.type, c.size, 0, 0, nullptr), 1);
  const std::vector<uint8_t> head(object.outputImage().begin(), object.outputImage().begin() + c.bytes.size());
  EXPECT_EQ(head, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ImageBytes,
    ::testing::Values(ByteCase{"Int16Plain", kDataTypeInteger16, 1, "1234", 0, {0xD2, 0x04}},
                      ByteCase{"Int16Swapped", kDataTypeInteger16, 1, "1234", 1, {0x04, 0xD2}},
                      ByteCase{"Int16Reversed", kDataTypeInteger16, 1, "1234", 2, {0x04, 0xD2}},
                      ByteCase{"Int32Swapped", kDataTypeInteger32, 1, "16909060", 1, {0x03, 0x04, 0x01, 0x02}},
                      ByteCase{"Int32Reversed", kDataTypeInteger32, 1, "16909060", 2, {0x01, 0x02, 0x03, 0x04}},
                      ByteCase{"ByteAreaPlain", kDataTypeByteArea, 4, "0x0102", 0, {0x00, 0x00, 0x02, 0x01}},
                      ByteCase{"IPAddrPlain", kDataTypeIPAddr, 4, "10.0.0.7", 0, {10, 0, 0, 7}},
                      ByteCase{"IPAddrSwapped", kDataTypeIPAddr, 4, "10.1.2.7", 1, {1, 10, 7, 2}},
                      ByteCase{"IPAddrReversed", kDataTypeIPAddr, 4, "10.1.2.7", 2, {7, 2, 1, 10}},
                      // fewer parts than bytes, and an item longer than four bytes
                      ByteCase{"IPAddrThreeParts", kDataTypeIPAddr, 4, "1.2.3", 0, {1, 2, 3, 0}},
                      ByteCase{"IPAddrSixBytes", kDataTypeIPAddr, 6, "1.2.3.4", 0, {1, 2, 3, 4, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- writing over old values -------------------------------------------------------------

TEST(ValueWrite, ShorterStringClearsTheRestOfTheField) {
  TestObject object;
  ASSERT_EQ(object.SetUsrValToPrjMemory("12345678", "PARA", kDataTypeString, 8, 2, 0, nullptr), 1);
  ASSERT_EQ(object.SetUsrValToPrjMemory("ab", "PARA", kDataTypeString, 8, 2, 0, nullptr), 1);
  const std::vector<uint8_t> expected = {0, 0, 'a', 'b', 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(object.paraImage().begin(), object.paraImage().begin() + 11), expected);
  std::string text;
  object.GetUsrValFromPrjMemory(text, "PARA", "t", "", kDataTypeString, 8, 2, 0, nullptr);
  EXPECT_EQ(text, "ab");
}

TEST(ValueWrite, BitsAroundTheWrittenOneKeepTheirValues) {
  TestObject object;
  object.paraImage()[0] = 0xFF;
  ASSERT_EQ(object.SetUsrValToPrjMemory("0", "PARA", kDataTypeBit, 1, 0, 4, nullptr), 1);
  EXPECT_EQ(object.paraImage()[0], 0xEF);
  ASSERT_EQ(object.SetUsrValToPrjMemory("2", "PARA", kDataTypeBitArea, 3, 0, 1, nullptr), 1);
  EXPECT_EQ(object.paraImage()[0], 0xE5);
}

TEST(ValueWrite, MonInitBelongsToAdaptersOnly) {
  TestObject module;
  EXPECT_EQ(module.SetUsrValToPrjMemory("1", "MON_INIT", kDataTypeUnsigned8, 1, 0, 0, nullptr), 2);
  std::string text;
  EXPECT_EQ(module.GetUsrValFromPrjMemory(text, "MON_INIT", "t", "", kDataTypeUnsigned8, 1, 0, 0, nullptr), 2);
}

TEST(ValueRead, Float16DecShowsTheSignedRawValue) {
  TestObject object;
  ASSERT_EQ(object.SetUsrValToPrjMemory("-1", "PARA", kDataTypeFloat16, 1, 0, 0, nullptr), 1);
  std::string text;
  object.GetUsrValFromPrjMemory(text, "PARA", "t", "DEC", kDataTypeFloat16, 1, 0, 0, nullptr);
  EXPECT_EQ(text, "-16");
}

TEST(ValueRead, OnlineIpAddressInHexIsHexadecimal) {
  TestObject object;
  const uint8_t online[4] = {192, 168, 0, 1};
  std::string text;
  ASSERT_EQ(object.GetUsrValFromOnlineMemory(text, online, 4, "t", "HEX", kDataTypeIPAddr, 4, 0, 0, nullptr), 1);
  EXPECT_EQ(text, "0x0100A8C0");
}

// ---- refusals -------------------------------------------------------------------------------

struct RefusalCase {
  const char* name;
  const char* imageKind;
  int type;
  uint16_t size;
  int byteOffset;
  int bitOffset;
  const char* text;
  int result;
  const char* logPart;
};

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, AreLoggedAndLeaveTheImage) {
  const RefusalCase& c = GetParam();
  ModelLogCapture log;
  TestObject object(0, 8, 8);
  for (auto* image : {&object.paraImage(), &object.outputImage()}) {
    for (size_t i = 0; i < image->size(); ++i) (*image)[i] = static_cast<uint8_t>(0x10 + i);
  }
  const auto paraBefore = object.paraImage();
  const auto outputBefore = object.outputImage();
  EXPECT_EQ(object.SetUsrValToPrjMemory(c.text, c.imageKind, c.type, c.size, c.byteOffset, c.bitOffset, nullptr),
            c.result);
  EXPECT_TRUE(log.Has(c.logPart, qmx::kLogError)) << c.logPart;
  EXPECT_EQ(object.paraImage(), paraBefore);
  EXPECT_EQ(object.outputImage(), outputBefore);
  if (std::string(c.imageKind) == "PARA" || std::string(c.imageKind) == "OUTPUT") {
    log.Clear();
    std::string text = "x";
    const int read =
        object.GetUsrValFromPrjMemory(text, c.imageKind, "Tester", "", c.type, c.size, c.byteOffset, c.bitOffset,
                                      nullptr);
    if (c.result != 0 || !std::string(c.logPart).starts_with("[Error]")) {
      EXPECT_NE(read, 1);
      EXPECT_TRUE(text.empty());
      EXPECT_TRUE(log.Has("Caller: Tester")) << c.name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Checks, Refusals,
    ::testing::Values(
        RefusalCase{"BadKind", "INPUT", kDataTypeUnsigned8, 1, 0, 0, "1", 0, "sType must be PARA or OUTPUT. INPUT"},
        RefusalCase{"Integer64", "PARA", kDataTypeInteger64, 1, 0, 0, "1", 0, "Unsupported datatype. Integer64"},
        RefusalCase{"Float32", "PARA", kDataTypeFloat32, 1, 0, 0, "1", 0, "Unsupported datatype. Float32"},
        RefusalCase{"UndefinedType", "PARA", kDataTypeUndefined, 1, 0, 0, "1", 0, "Unsupported datatype. Undefined"},
        RefusalCase{"SizeZero", "PARA", kDataTypeUnsigned8, 0, 0, 0, "1", 0, "wSize:0, iByteOffset:0, iBitOffset:0"},
        RefusalCase{"NegativeOffset", "PARA", kDataTypeUnsigned8, 1, -1, 0, "1", 0, "iByteOffset:-1"},
        RefusalCase{"BitOffsetEight", "PARA", kDataTypeBit, 1, 0, 8, "1", 0, "iBitOffset:8"},
        RefusalCase{"BitOffsetNegative", "OUTPUT", kDataTypeBit, 1, 0, -1, "1", 0, "iBitOffset:-1"},
        RefusalCase{"Int16BitOffsetNegative", "PARA", kDataTypeInteger16, 1, 0, -1, "1", 0, "iBitOffset:-1"},
        RefusalCase{"BitSizeTwo", "PARA", kDataTypeBit, 2, 0, 0, "1", 0, "Size must be 1 if Datatype is bit. Size:2"},
        RefusalCase{"BitAreaOne", "PARA", kDataTypeBitArea, 1, 0, 0, "1", 0, "greater than 1 if Datatype is BitArea"},
        RefusalCase{"BitAreaNine", "PARA", kDataTypeBitArea, 4, 0, 5, "1", 0, "Size+BitOffset:9"},
        RefusalCase{"Int16SizeTwo", "PARA", kDataTypeInteger16, 2, 0, 0, "1", 0, "is not BitArea or ByteArea"},
        RefusalCase{"Overflow", "PARA", kDataTypeInteger32, 1, 6, 0, "1", 2, "iSrcLen:8, iLastPos:10"},
        RefusalCase{"BitOutside", "OUTPUT", kDataTypeBit, 1, 8, 0, "1", 2, "iSrcLen:8, iLastPos:8"},
        RefusalCase{"StringOutside", "PARA", kDataTypeString, 9, 0, 0, "abc", 2, "Byte position is overflow"},
        RefusalCase{"ByteAreaNotHex", "PARA", kDataTypeByteArea, 2, 0, 0, "0x12G4", 0, "[Error] Value is not a hex"},
        RefusalCase{"IpPartTooLarge", "PARA", kDataTypeIPAddr, 4, 0, 0, "10.0.300.1", 0, "[Error] Invalid IP"},
        RefusalCase{"Float16NotNumber", "PARA", kDataTypeFloat16, 1, 0, 0, "abc", 0, "[Error] Value is not a number"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ValueChecks, ReaderSizeLineHasNoFullStopAfterTheCaller) {
  ModelLogCapture log;
  TestObject object;
  std::string text;
  EXPECT_EQ(object.GetUsrValFromPrjMemory(text, "PARA", "Grid", "", kDataTypeUnsigned16, 3, 0, 0, nullptr), 0);
  EXPECT_TRUE(log.Has("Size:3. Caller: Grid Func: GetUsrValFromPrjMemory."));
}

TEST(ValueChecks, BitAreaFillingTheByteExactlyPasses) {
  TestObject object;
  EXPECT_EQ(object.SetUsrValToPrjMemory("7", "PARA", kDataTypeBitArea, 3, 0, 5, nullptr), 1);
  EXPECT_EQ(object.paraImage()[0], 0xE0);
}

TEST(ValueChecks, MissingImageAndMissingBufferDoNothing) {
  ModelLogCapture log;
  TestObject object(0, 0, 0);
  EXPECT_EQ(object.SetUsrValToPrjMemory("1", "PARA", kDataTypeUnsigned8, 1, 0, 0, nullptr), 2);
  EXPECT_TRUE(log.Has("Source pointer is NULL. PARA. Func: SetUsrValToPrjMemory."));
  std::string text;
  EXPECT_EQ(object.GetUsrValFromOnlineMemory(text, nullptr, 4, "View", "", kDataTypeUnsigned8, 1, 0, 0, nullptr), 2);
  EXPECT_TRUE(log.Has("Source pointer is NULL. Caller: View. Func: GetUsrValFromOnlineMemory."));
}

}  // namespace
