// The module definition's own operations, its XDD object table, and rows of
// the description reader that the catalogue tests do not reach.
#include "app/model/IOCatalogue.h"
#include "app/model/IODef.h"
#include "tests/model_catalogue_io/io_helpers.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>

#include <memory>

using qmx::test::LoadIOTestTexts;
using qmx::test::LogCapture;
using qmx::test::ReadDescription;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

// A description with the given Parameters and IOData sections.
std::string Description(const std::string& parameters, const std::string& ioData) {
  return "<IOProfile><DeviceInfo ID=\"X-1\" DeviceID=\"0x10\" Category=\"NDI\"><General>"
         "<Name TextId=\"T_TMA\"/><InfoText TextId=\"T_InfoA\"/><OrderNumber Value=\"o\"/>"
         "<GraphicFile Value=\"g\"/><HelpLink Value=\"h\"/>"
         "<Features AddrMapPriority=\"8\" CanCommunication=\"true\" FieldPwrCutoffBefore=\"false\" "
         "FieldPwrFreeNext=\"false\" SystemPwrExpansion=\"0\"/></General><Specification>"
         "<HardwareVer TextId=\"T_Spec\" Value=\"1\" Unit=\"\" Visible=\"true\"/>"
         "<PowerDissipation TextId=\"T_Spec\" Value=\"1\" Unit=\"\" Visible=\"true\"/>"
         "<Dimension TextId=\"T_Spec\" Value=\"1\" Unit=\"\" Visible=\"true\" Height=\"1\" Width=\"1\"/>"
         "<AllowedInSlots TextId=\"T_Spec\" Value=\"1\" Unit=\"\" Visible=\"true\"/>"
         "<FieldPower TextId=\"T_Spec\" Value=\"1\" Unit=\"\" Visible=\"true\"/></Specification>" +
         parameters + ioData + "</DeviceInfo></IOProfile>";
}

}  // namespace

TEST(IODefTest, DefaultParameterTextNeedsTwiceTheLengthInHexDigits) {
  struct Case {
    int length;
    const char* text;
    const char* kept;  // null: nothing kept
  };
  const Case cases[] = {
      {2, "0x12, 0x34", "1234"},      {2, " 0X12,0x34 ", "1234"}, {2, "12\t34", "1234"},
      {2, "0xab,0xCD", "ABCD"},       {2, "123", nullptr},        {2, "0x12,0x34,0x56", nullptr},
      {2, "", nullptr},               {0, "", nullptr},           {0, "12", nullptr},
      {2, "0x1G,0x34", nullptr},      {1, "-1", nullptr},         {4, "01020304", "01020304"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    IODef def;
    def.paraLength = c.length;
    def.defaultParaText = "KEEP";
    EXPECT_EQ(def.AssignDefaultParaText(c.text), c.kept ? 1 : 0);
    EXPECT_EQ(def.defaultParaText, c.kept ? c.kept : "KEEP");
  }
}

TEST(IODefTest, ProductCodesParametersAndValueLists) {
  LogCapture log;
  IODef def;
  for (const auto& [text, code] : {std::pair<const char*, int>{"0x1108", 0x1108}, {"1108", 0x1108},
                                   {" 0XaBcD ", 0xABCD}, {"12345", 0x2345}, {"", 0}}) {
    def.productCodeText = text;
    EXPECT_EQ(def.GetProductCode(), code) << text;
  }

  def.paraItems.push_back(std::make_unique<ParaItem>());
  def.paraItems.push_back(std::make_unique<ParaItem>());
  EXPECT_EQ(def.FindParaByIdx(1), def.paraItems[0].get());
  EXPECT_EQ(def.FindParaByIdx(2), def.paraItems[1].get());
  EXPECT_EQ(def.FindParaByIdx(3), nullptr);
  EXPECT_TRUE(log.records().empty());  // past the end is silent
  EXPECT_EQ(def.FindParaByIdx(0), nullptr);
  EXPECT_TRUE(log.HasText("[Bug] Cannot find parameter Obj by index. iValParaIdx:0. Func: IODef::FindParaByIdx."));

  def.ID = "X-1";
  def.valueLists["VL"] = {ValueRecord{}};
  const ConvParaSource source = def.ConvSource();
  EXPECT_EQ(source.id, "X-1");
  EXPECT_EQ(source.findParaByIdx(2), def.paraItems[1].get());
  EXPECT_EQ(source.valueLists, &def.valueLists);
  EXPECT_EQ(source.convByPara, &def.convByPara);
  EXPECT_NE(def.FindValueList("VL"), nullptr);
  EXPECT_EQ(def.FindValueList("vl"), nullptr);
}

TEST(XddObjectTest, AssignCopiesEveryCellAndColumnThreeAnswersEmpty) {
  XddObject table;
  EXPECT_EQ(table.GetIndex(), 0);
  EXPECT_EQ(table.GetObjectType(), 0);
  EXPECT_EQ(table.GetRowCount(), 0);
  EXPECT_EQ(table.GetSubObjectField(0, 0), "");

  XddObject::Table source;
  for (int r = 0; r < XddObject::kRows; ++r) {
    for (int c = 0; c < XddObject::kColumns; ++c) source[r][c] = std::to_string(r) + "/" + std::to_string(c);
  }
  source[1][1] = std::string(150, 'x');
  source[2][2] = std::string(98, 'a') + "\xC3\xA9" + "b";  // a two-byte character across the limit
  EXPECT_EQ(table.Assign(0x6000, "Inputs", 7, source), 1);
  EXPECT_EQ(table.GetIndex(), 0x6000);
  EXPECT_EQ(table.GetName(), "Inputs");
  EXPECT_EQ(table.GetObjectType(), 7);
  EXPECT_EQ(table.GetRowCount(), 25);
  for (int r : {0, 24}) {
    for (int c : {0, 1, 2, 4, 5, 6}) EXPECT_EQ(table.GetSubObjectField(r, c), source[r][c]);
    EXPECT_EQ(table.GetSubObjectField(r, 3), "");
    EXPECT_EQ(table.GetSubObjectField(r, 7), "");
    EXPECT_EQ(table.GetSubObjectField(r, -1), "");
  }
  EXPECT_EQ(table.GetSubObjectField(25, 0), "");
  EXPECT_EQ(table.GetSubObjectField(-1, 0), "");
  EXPECT_EQ(table.GetSubObjectField(1, 1), std::string(99, 'x'));
  EXPECT_EQ(table.GetSubObjectField(2, 2), std::string(98, 'a'));
  table.SetIndex(-3);
  table.SetName("Outputs");
  EXPECT_EQ(table.GetIndex(), -3);
  EXPECT_EQ(table.GetName(), "Outputs");
}

// A table that several modules hold reads the same through each of them,
// and one with a cell beyond the limit is cut as a copied one would be.
TEST(XddObjectTest, ASharedTableReadsAsACopiedOne) {
  auto source = std::make_shared<XddObject::Table>();
  (*source)[0][0] = "0x6000";
  (*source)[24][6] = "last";
  XddObject first, second;
  EXPECT_EQ(first.Assign(2100, "Slot", 9, std::shared_ptr<const XddObject::Table>(source)), 1);
  EXPECT_EQ(second.Assign(2100, "Slot", 9, std::shared_ptr<const XddObject::Table>(source)), 1);
  for (const XddObject* table : {&first, &second}) {
    EXPECT_EQ(table->GetRowCount(), 25);
    EXPECT_EQ(table->GetSubObjectField(0, 0), "0x6000");
    EXPECT_EQ(table->GetSubObjectField(24, 6), "last");
    EXPECT_EQ(table->GetSubObjectField(24, 3), "");
  }
  (*source)[1][1] = std::string(150, 'x');
  XddObject cut;
  cut.Assign(1, "Cut", 7, std::shared_ptr<const XddObject::Table>(source));
  EXPECT_EQ(cut.GetSubObjectField(1, 1), std::string(99, 'x'));
  EXPECT_EQ(cut.GetSubObjectField(24, 6), "last");
  XddObject none;
  none.Assign(3, "None", 7, std::shared_ptr<const XddObject::Table>());
  EXPECT_EQ(none.GetRowCount(), 25);
  EXPECT_EQ(none.GetSubObjectField(0, 0), "");
}

TEST(IODescriptionTest, InputItemsTakeTheRunningOffsetsOfTheirList) {
  TempDir dir("io-def");
  const std::string items =
      "<Item TextId=\"T_In\" ChannelType=\"AI\" DataType=\"Unsigned16\" Length=\"1\" Unit=\"\" Visible=\"true\"/>";
  WriteFile(dir / "x.xml",
            Description("<Parameters><Name TextId=\"T_Para\"/><Const Data=\"\"/></Parameters>",
                        "<IOData InputLength=\"6\" OutputLength=\"5\"><Input OneChSize=\"16\">" + items + items +
                            items + "</Input><Output OneChSize=\"8\">"
                            "<Item TextId=\"T_Out\" ChannelType=\"DO\" DataType=\"BitArea\" Length=\"8\" Unit=\"\" "
                            "Visible=\"true\"/><Item TextId=\"T_Out\" ChannelType=\"AO\" DataType=\"Integer32\" "
                            "Length=\"1\" Unit=\"\" Visible=\"true\"/></Output></IOData>"));
  LogCapture log;
  ReadDescription r(dir / "x.xml", LoadIOTestTexts(), 5);
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.def.iconIdx, 5);
  ASSERT_EQ(r.def.inputItems.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(r.def.inputItems[i]->byteOffset, 2 * i);
  ASSERT_EQ(r.def.outputItems.size(), 2u);
  EXPECT_EQ(r.def.outputItems[0]->byteOffset, 0);
  EXPECT_EQ(r.def.outputItems[1]->byteOffset, 1);
  EXPECT_EQ(r.def.inputChannelSize, 16);
  EXPECT_EQ(r.def.outputChannelSize, 8);
  EXPECT_EQ(r.def.inputLength, 6);
  EXPECT_EQ(r.def.outputLength, 5);
  // Parameters without attributes: nothing read, nothing refused.
  EXPECT_EQ(r.def.paraLength, 0);
  EXPECT_TRUE(qmx::test::ErrorLines(log.records()).empty());
}

TEST(IODescriptionTest, AnIODataElementWithoutAttributesStillHasItsItemsRead) {
  TempDir dir("io-def");
  WriteFile(dir / "x.xml",
            Description("<Parameters Index=\"1\" Length=\"2\"><Name TextId=\"T_Para\"/><Const Data=\"0xA5,0x5A\"/>"
                        "</Parameters>",
                        "<IOData><Input OneChSize=\"1\"><Item TextId=\"T_In\" ChannelType=\"DI\" "
                        "DataType=\"BitArea\" Length=\"4\" Unit=\"\" Visible=\"true\"/></Input></IOData>"));
  ReadDescription r(dir / "x.xml", LoadIOTestTexts());
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.def.inputLength, 0);
  EXPECT_EQ(r.def.inputItems.size(), 1u);
  EXPECT_EQ(r.def.defaultParaText, "A55A");
}

TEST(IODescriptionTest, MissingAndMalformedFilesReadAsWithoutDeviceInfo) {
  TempDir dir("io-def");
  WriteFile(dir / "bad.xml", "<IOProfile><DeviceInfo ID=\"X\"");
  WriteFile(dir / "other.xml", "<CouplerProfile><DeviceInfo ID=\"X\"/></CouplerProfile>");
  const TextIdMap texts = LoadIOTestTexts();
  for (const char* name : {"none.xml", "bad.xml", "other.xml"}) {
    SCOPED_TRACE(name);
    LogCapture log;
    const std::string path = (dir / name).string();
    ReadDescription r(path, texts, 3);
    EXPECT_EQ(r.result, 0);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.def.ID, "");
    EXPECT_EQ(r.def.iconIdx, 3);
    const auto records = log.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].text, "Start parsing definition file. File:" + path);
    const std::string line =
        "[Error Code: -4000] Node does not defined. Loc:/IOProfile/DeviceInfo. Func: ParseIO. xml file: " + path;
    if (std::string(name) == "other.xml") {
      EXPECT_EQ(records[1].text, line);
    } else {
      // A file that gave no document names the parser's reason, and its line.
      EXPECT_EQ(records[1].text.rfind(line + ". Cause: ", 0), 0u) << records[1].text;
      if (std::string(name) == "bad.xml") {
        EXPECT_NE(records[1].text.find("line 1: "), std::string::npos);
      }
    }
    EXPECT_EQ(records[1].source, qmx::kLogSource);
    EXPECT_EQ(records[1].category, qmx::kLogError);
  }
}

TEST(IODescriptionTest, TheParameterElementsEndTheReadingWithTheirOwnSource) {
  TempDir dir("io-def");
  WriteFile(dir / "x.xml", Description("<Parameters Index=\"1\" Length=\"1\"><Const Data=\"0x01\"/></Parameters>", ""));
  LogCapture log;
  ReadDescription r(dir / "x.xml", LoadIOTestTexts());
  EXPECT_EQ(r.result, -4000);
  EXPECT_FALSE(r.complete);
  EXPECT_EQ(r.def.ID, "X-1");  // what was read stays
  EXPECT_EQ(r.def.paraLength, 1);
  const auto lines = log.WithCode(-4000);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].source, qmx::kLogSourceNoBlank);
  EXPECT_NE(lines[0].text.find("Loc:/IOProfile/DeviceInfo/Parameters/Name. Func: ParseIO."), std::string::npos);
  // No Parameters element at all.
  WriteFile(dir / "y.xml", Description("", ""));
  LogCapture log2;
  ReadDescription r2(dir / "y.xml", LoadIOTestTexts());
  EXPECT_EQ(r2.result, -4000);
  ASSERT_EQ(log2.WithCode(-4000).size(), 1u);
  EXPECT_NE(log2.WithCode(-4000)[0].text.find("Loc:/IOProfile/DeviceInfo/Parameters. Func: ParseIO."),
            std::string::npos);
}
