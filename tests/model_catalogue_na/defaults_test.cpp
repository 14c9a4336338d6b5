// The data-type vocabulary and the default images: every data type's default
// text written byte by byte in each byte order, bounded by its item and its
// image; the definition's communication-init and parameter default images.
#include "app/model/DataTypes.h"
#include "app/model/NADef.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>

#include <climits>

using qmx::test::LogCapture;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

constexpr int kFill = 0xEE;  // bytes a write must not touch keep this value

}  // namespace

TEST(DataTypeTest, NamesCodesAndSizes) {
  const char* names[] = {"Bit",        "BitArea",    "Integer8", "Integer16", "Integer32", "Integer64",
                         "Unsigned8",  "Unsigned16", "Unsigned32", "Unsigned64", "Float16", "Float32",
                         "Float64",    "String",     "ByteArea", "IPAddr"};
  for (int code = 0; code < 16; ++code) {
    EXPECT_EQ(GetDataTypeCode(names[code]), code);
    EXPECT_EQ(GetDataTypeName(code), names[code]);
  }
  EXPECT_EQ(GetDataTypeCode("  uNsIgNeD16 \t"), kDataTypeUnsigned16);
  EXPECT_EQ(GetDataTypeCode("Word"), kDataTypeUndefined);
  EXPECT_EQ(GetDataTypeCode(""), kDataTypeUndefined);
  EXPECT_EQ(GetDataTypeName(16), "Undefined");
  EXPECT_EQ(GetDataTypeName(-1), "Undefined");

  struct Size {
    int code;
    int count;
    int bytes;
  };
  for (const Size& s : {Size{kDataTypeBit, 5, 1}, Size{kDataTypeBitArea, 8, 1}, Size{kDataTypeBitArea, 9, 2},
                        Size{kDataTypeBitArea, 0, 0}, Size{kDataTypeInteger8, 3, 3}, Size{kDataTypeInteger16, 3, 6},
                        Size{kDataTypeUnsigned32, 2, 8}, Size{kDataTypeInteger64, 2, 16}, Size{kDataTypeFloat16, 1, 2},
                        Size{kDataTypeFloat32, 1, 4}, Size{kDataTypeFloat64, 1, 8}, Size{kDataTypeString, 7, 7},
                        Size{kDataTypeByteArea, 6, 6}, Size{kDataTypeIPAddr, 4, 4}, Size{kDataTypeUndefined, 4, 0},
                        Size{99, 1, 0}}) {
    EXPECT_EQ(GetDataTypeSize(s.code, s.count), s.bytes) << s.code << " x " << s.count;
  }
}

TEST(DataTypeTest, DecimalDefaultTexts) {
  EXPECT_EQ(DecimalTextToInt64(" -12x"), -12);
  EXPECT_EQ(DecimalTextToInt64("+7"), 7);
  EXPECT_EQ(DecimalTextToInt64("abc"), 0);
  EXPECT_EQ(DecimalTextToInt64(""), 0);
  EXPECT_EQ(DecimalTextToInt64("4294967295"), 4294967295LL);
  EXPECT_EQ(DecimalTextToInt64("99999999999999999999999"), LLONG_MAX);
  EXPECT_EQ(DecimalTextToInt64("-99999999999999999999999"), LLONG_MIN);
}

TEST(DefaultValueTest, EveryTypeInEveryByteOrder) {
  struct Case {
    int type;
    int length;
    const char* text;
    int mode;
    std::vector<uint8_t> bytes;  // expected bytes from offset 1 on
  };
  const Case cases[] = {
      {kDataTypeInteger8, 1, "-2", 0, Bytes({0xFE, kFill})},
      {kDataTypeInteger8, 1, "-129", 1, Bytes({0x7F, kFill})},  // cut to the width
      {kDataTypeUnsigned8, 1, "255", 2, Bytes({0xFF, kFill})},
      {kDataTypeUnsigned8, 1, "256", 0, Bytes({0x00, kFill})},
      {kDataTypeInteger16, 1, "1234", 0, Bytes({0xD2, 0x04, kFill})},
      {kDataTypeInteger16, 1, "1234", 1, Bytes({0x04, 0xD2, kFill})},
      {kDataTypeInteger16, 1, "1234", 2, Bytes({0x04, 0xD2, kFill})},
      {kDataTypeInteger16, 1, "-1", 0, Bytes({0xFF, 0xFF, kFill})},
      {kDataTypeUnsigned16, 1, "70000", 0, Bytes({0x70, 0x11, kFill})},
      {kDataTypeUnsigned16, 2, "65535", 1, Bytes({0xFF, 0xFF, kFill})},  // one value, at the item's start
      {kDataTypeInteger32, 1, "-2", 0, Bytes({0xFE, 0xFF, 0xFF, 0xFF, kFill})},
      {kDataTypeInteger32, 1, "-2", 1, Bytes({0xFF, 0xFE, 0xFF, 0xFF, kFill})},
      {kDataTypeInteger32, 1, "-2", 2, Bytes({0xFF, 0xFF, 0xFF, 0xFE, kFill})},
      {kDataTypeUnsigned32, 1, "305419896", 0, Bytes({0x78, 0x56, 0x34, 0x12})},
      {kDataTypeUnsigned32, 1, "305419896", 1, Bytes({0x56, 0x78, 0x12, 0x34})},
      {kDataTypeUnsigned32, 1, "305419896", 2, Bytes({0x12, 0x34, 0x56, 0x78})},
      {kDataTypeUnsigned32, 1, "4294967295", 0, Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
      {kDataTypeFloat16, 1, "1.5", 0, Bytes({0x18, 0x00, kFill})},
      {kDataTypeFloat16, 1, "-1.5", 0, Bytes({0xE8, 0xFF, kFill})},
      {kDataTypeFloat16, 1, " 2.5 ", 1, Bytes({0x00, 0x28, kFill})},
      {kDataTypeFloat16, 1, "abc", 0, Bytes({0x00, 0x00, kFill})},
      {kDataTypeString, 4, "AB", 0, Bytes({0x41, 0x42, kFill, kFill})},
      {kDataTypeString, 4, "AB", 1, Bytes({0x42, 0x41, kFill, kFill})},
      {kDataTypeString, 4, "ABCDEF", 0, Bytes({0x41, 0x42, 0x43, 0x44, kFill})},
      {kDataTypeString, 4, "ABCDEF", 2, Bytes({0x44, 0x43, 0x42, 0x41, kFill})},
      {kDataTypeString, 0, "AB", 0, Bytes({kFill})},
      {kDataTypeByteArea, 2, "0x0102", 0, Bytes({0x01, 0x02, kFill})},
      {kDataTypeByteArea, 2, "0x01 02 03", 0, Bytes({0x01, 0x02, kFill})},  // at most the length
      {kDataTypeByteArea, 3, " 0x0a0B0c ", 1, Bytes({0x0B, 0x0A, 0x0C, kFill})},
      {kDataTypeByteArea, 3, "0x0a0B0c", 2, Bytes({0x0C, 0x0B, 0x0A, kFill})},
      {kDataTypeByteArea, 2, "1", 0, Bytes({0x01, kFill})},  // a lone digit is one byte
      {kDataTypeIPAddr, 4, "192.168.1.10", 0, Bytes({0xC0, 0xA8, 0x01, 0x0A, kFill})},
      {kDataTypeIPAddr, 4, "192.168.1.10", 1, Bytes({0xA8, 0xC0, 0x0A, 0x01, kFill})},
      {kDataTypeIPAddr, 4, "192.168.1.10", 2, Bytes({0x0A, 0x01, 0xA8, 0xC0, kFill})},
      {kDataTypeIPAddr, 4, "10.1", 0, Bytes({0x0A, 0x01, 0x00, 0x00, kFill})},
      {kDataTypeIPAddr, 6, "1.2.3.4.5", 0, Bytes({0x01, 0x02, 0x03, 0x04, kFill})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(GetDataTypeName(c.type) + " \"" + c.text + "\" mode " + std::to_string(c.mode));
    std::vector<uint8_t> image(8, kFill);
    EXPECT_EQ(WriteDefaultValue(image.data(), static_cast<int>(image.size()), 1, c.type, c.length, c.text, c.mode),
              kDefaultWritten);
    EXPECT_EQ(image[0], kFill);
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + 1, image.begin() + 1 + static_cast<long>(c.bytes.size())), c.bytes);
  }
}

TEST(DefaultValueTest, WritesThatDoNotFitOrHaveNoRuleTouchNothing) {
  struct Case {
    int type;
    int length;
    int offset;
    int expected;
  };
  const Case cases[] = {
      {kDataTypeBit, 1, 0, kDefaultUnsupported},       {kDataTypeBitArea, 4, 0, kDefaultUnsupported},
      {kDataTypeInteger64, 1, 0, kDefaultUnsupported}, {kDataTypeUnsigned64, 1, 0, kDefaultUnsupported},
      {kDataTypeFloat32, 1, 0, kDefaultUnsupported},   {kDataTypeFloat64, 1, 0, kDefaultUnsupported},
      {kDataTypeUndefined, 1, 0, kDefaultUnsupported},
      // The value needs more bytes than the item takes.
      {kDataTypeInteger16, 0, 0, kDefaultDoesNotFit},  {kDataTypeUnsigned32, 0, 0, kDefaultDoesNotFit},
      {kDataTypeIPAddr, 0, 0, kDefaultDoesNotFit},     {kDataTypeIPAddr, 3, 0, kDefaultDoesNotFit},
      {kDataTypeFloat16, 0, 0, kDefaultDoesNotFit},    {kDataTypeInteger8, 0, 0, kDefaultDoesNotFit},
      // The item lies past the image's end.
      {kDataTypeInteger16, 1, 3, kDefaultDoesNotFit},  {kDataTypeInteger32, 1, 1, kDefaultDoesNotFit},
      {kDataTypeIPAddr, 4, 1, kDefaultDoesNotFit},     {kDataTypeUnsigned8, 1, 4, kDefaultDoesNotFit},
      {kDataTypeString, 4, 2, kDefaultDoesNotFit},     {kDataTypeUnsigned8, 1, -1, kDefaultDoesNotFit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(GetDataTypeName(c.type) + " length " + std::to_string(c.length) + " at " + std::to_string(c.offset));
    std::vector<uint8_t> image(4, kFill);
    EXPECT_EQ(WriteDefaultValue(image.data(), 4, c.offset, c.type, c.length, "1234", 0), c.expected);
    EXPECT_EQ(image, std::vector<uint8_t>(4, kFill));
  }
  EXPECT_EQ(WriteDefaultValue(nullptr, 0, 0, kDataTypeUnsigned8, 1, "1", 0), kDefaultDoesNotFit);
}

namespace {

void AddItem(NADef& def, int type, int length, const char* value, const char* key = "K") {
  auto item = std::make_unique<ParaItem>();
  item->category = "MON_INIT";
  item->key = key;
  item->dataType = type;
  item->length = static_cast<uint16_t>(length);
  item->defaultValue = value;
  item->byteOffset = static_cast<uint16_t>(def.blockLength[kMonInit]);
  def.blockLength[kMonInit] += GetDataTypeSize(type, length);
  def.blockItems[kMonInit].push_back(std::move(item));
}

}  // namespace

TEST(CommBlockDefaultTest, TheImageFollowsTheBlockLengthAndSkipsWhatItCannotWrite) {
  LogCapture log;
  NADef def;
  AddItem(def, kDataTypeUnsigned16, 1, "258");
  AddItem(def, kDataTypeBit, 1, "1", "Flag");
  AddItem(def, kDataTypeIPAddr, 0, "1.2.3.4", "NoRoom");
  def.AssignCommBlockInitVal(kMonInit);
  EXPECT_EQ(def.blockDefaultImage[kMonInit], Bytes({0x02, 0x01, 0x00}));
  EXPECT_TRUE(log.HasText("[Error Code: -4005] Unsupported datatype in XML. Bit. Func: AssignCommBlockInitVal."));
  const auto records = log.WithCode(-4001);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].source, qmx::kLogSourceNoBlank);
  EXPECT_EQ(records[0].text,
            "[Error Code: -4001] Default value does not fit in CommBlock. Key: NoRoom. DataType: IPAddr. Length: 0. "
            "ByteOffset: 3. BlockLength: 3. Func: AssignCommBlockInitVal.");

  // A longer block later gets an image of its new length, not the old buffer.
  AddItem(def, kDataTypeByteArea, 40, "0xAABB");
  def.AssignCommBlockInitVal(kMonInit);
  ASSERT_EQ(def.blockDefaultImage[kMonInit].size(), 43u);
  EXPECT_EQ(def.blockDefaultImage[kMonInit][3], 0xAA);
  EXPECT_EQ(def.blockDefaultImage[kMonInit][4], 0xBB);
  EXPECT_EQ(def.blockDefaultImage[kMonInit][42], 0x00);

  // The cyclic block never gets one; an empty block has none.
  def.blockLength[kMonFreq] = 4;
  def.AssignCommBlockInitVal(kMonFreq);
  EXPECT_TRUE(def.blockDefaultImage[kMonFreq].empty());
  NADef empty;
  empty.AssignCommBlockInitVal(kMonInit);
  EXPECT_EQ(empty.DefaultMonInitImage(), nullptr);
}

TEST(CommBlockDefaultTest, AnItemWhoseOffsetLiesPastTheBlockIsSkipped) {
  LogCapture log;
  NADef def;
  AddItem(def, kDataTypeUnsigned16, 1, "1");
  AddItem(def, kDataTypeUnsigned32, 1, "7", "Late");
  def.blockLength[kMonInit] = 4;  // shorter than its items reach
  def.AssignCommBlockInitVal(kMonInit);
  EXPECT_EQ(def.blockDefaultImage[kMonInit], Bytes({0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(log.WithCode(-4001).size(), 1u);
}

TEST(ParaDefaultTest, TheDefaultTextBecomesTheImageInByteOrder) {
  struct Case {
    int length;
    int mode;
    const char* text;
    std::vector<uint8_t> image;  // empty: none
  };
  const Case cases[] = {
      {2, 0, "0x12,0x34", Bytes({0x12, 0x34})},
      {2, 1, "0x12,0x34", Bytes({0x34, 0x12})},
      {2, 0, " 0x12, 0x34 ", Bytes({0x12, 0x34})},
      {2, 0, "1234", Bytes({0x12, 0x34})},
      {3, 2, "0x01,0x02,0x03", Bytes({0x03, 0x02, 0x01})},
      {4, 1, "0X0a0X0b0X0c0X0d", Bytes({0x0B, 0x0A, 0x0D, 0x0C})},
      {2, 0, "0x12", {}},
      {2, 0, "0x123456", {}},
      {2, 0, "", {}},
      {0, 0, "", {}},
      {0, 0, "0x12", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\" length " + std::to_string(c.length));
    NADef def;
    def.paraLength = c.length;
    def.byteOrderMode = c.mode;
    def.AssignDefaultParaImage(c.text);
    EXPECT_EQ(def.defaultParaImage, c.image);
    EXPECT_EQ(def.DefaultParaImage() != nullptr, !c.image.empty());
  }
}
