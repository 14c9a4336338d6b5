// The rows of the process image, parameter and address-map views and the
// texts of the image view, built from stations of the shipped catalogue
// without a display; online values come from the adapter's online images
// through the fake driver library.
#include "tests/ui_views/views_fixture.h"

#include "app/model/IODef.h"
#include "app/model/ValueConversion.h"
#include "app/ui/views/rows/ViewRows.h"

#include <gtest/gtest.h>

namespace {

using namespace qmx::views;

class Rows : public StationTest {};

std::vector<std::string> Texts(const std::vector<ViewRow>& rows) {
  std::vector<std::string> texts;
  for (const ViewRow& row : rows) texts.push_back(row.text);
  return texts;
}

TEST_F(Rows, ModuleBitRowsOneRowPerBitReadOnlyForInputsEditableForOutputs) {
  BuildStation({"QMX-1808", "QMX-2808"});
  const auto in = BuildProcessImgRows(*io[0], 0, 0, {}, na);
  ASSERT_EQ(in.size(), 9u);
  EXPECT_EQ(in[0].kind, RowKind::kObject);
  EXPECT_EQ(in[0].text, io[0]->GetLabel(0));
  EXPECT_EQ(in[1].text, "DI 1-8 #00");
  EXPECT_EQ(in[8].text, "DI 1-8 #07");
  for (size_t i = 1; i < in.size(); ++i) {
    EXPECT_EQ(in[i].kind, RowKind::kInputBit);
    EXPECT_EQ(in[i].readOnly, 1);
    EXPECT_EQ(in[i].parent, 0);
    EXPECT_EQ(in[i].key, std::to_string(i - 1));
    EXPECT_EQ(in[i].columns, (std::vector<std::string>{"DI", "", "", ""}));
  }
  io[1]->outputImage()[0] = 0x05;
  const auto out = BuildProcessImgRows(*io[1], 0, 0, {}, na);
  ASSERT_EQ(out.size(), 9u);
  EXPECT_EQ(out[1].readOnly, 0);
  EXPECT_EQ(out[1].definitions[kPiProject], "1,0,1");
  EXPECT_EQ(out[1].columns[kPiProject], "1");
  EXPECT_EQ(out[2].columns[kPiProject], "0");
  EXPECT_EQ(out[3].columns[kPiProject], "1");
  EXPECT_EQ(out[8].object, io[1]);
}

TEST_F(Rows, BitCountDecidesTheRowsAndCountZeroGivesOneRow) {
  BuildStation({"QMX-1808"});
  auto* def = const_cast<IODef*>(io[0]->GetIODef());
  IOItem& item = *def->inputItems[0];
  const uint16_t kept = item.length;
  item.length = 12;
  auto rows = BuildProcessImgRows(*io[0], 0, 0, {}, na);
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(rows[12].text, "DI 1-8 #11");
  EXPECT_EQ(rows[12].bit, 11);
  item.length = 0;
  rows = BuildProcessImgRows(*io[0], 0, 0, {}, na);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].kind, RowKind::kInputItem);
  EXPECT_EQ(rows[1].text, "DI 1-8");
  item.length = kept;
}

TEST_F(Rows, AnalogOutputTextsAndDefinitionsPerValueMode) {
  BuildStation({"QMX-4402"});
  io[0]->outputImage()[0] = 0x80;  // raw 16000 = 12 mA
  io[0]->outputImage()[1] = 0x3E;
  struct Case {
    int mode;
    std::string text;
    std::string definition;
  };
  for (const Case& c : {Case{0, "12.00", "2,4.00,20.00"}, Case{1, "16000", "1,0,32000"}, Case{2, "0x3E80", "4,4,"}}) {
    SCOPED_TRACE(c.mode);
    const auto rows = BuildProcessImgRows(*io[0], 0, c.mode, {}, na);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].text, "AO 1");
    EXPECT_EQ(rows[1].kind, RowKind::kOutputItem);
    EXPECT_EQ(rows[1].columns[kPiType], "AO");
    EXPECT_EQ(rows[1].columns[kPiProject], c.text);
    EXPECT_EQ(rows[1].definitions[kPiProject], c.definition);
    EXPECT_EQ(rows[1].columns[kPiUnit], "mA");
    EXPECT_EQ(rows[1].readOnly, 0);
  }
}

TEST_F(Rows, AdapterRowsEndWithOneSummaryRowPerModule) {
  BuildStation({"QMX-1808", "QMX-2808", "QMX-7016"});
  io[1]->outputImage()[0] = 0xA5;
  const auto rows = BuildProcessImgRows(*na, 0, 0, ws.ModulesOf(*na), na);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].text, na->GetLabel(0));
  const ViewRow& di = rows[1];
  EXPECT_EQ(di.kind, RowKind::kModuleSummary);
  EXPECT_EQ(di.text, io[0]->GetLabel(0));
  EXPECT_EQ(di.readOnly, 1);
  EXPECT_EQ(di.columns[kPiType], "NDI");
  const ViewRow& dout = rows[2];
  EXPECT_EQ(dout.readOnly, 0);
  EXPECT_EQ(dout.key, "ALL");
  EXPECT_EQ(dout.item, nullptr);
  EXPECT_EQ(dout.definitions[kPiProject], "4,2,");
  EXPECT_EQ(dout.columns[kPiProject], "0xA5");
  EXPECT_EQ(rows[3].readOnly, 1);
}

TEST_F(Rows, ParametersOfAModuleWithValueLists) {
  BuildStation({"QMX-3404"});
  auto rows = BuildParameterRows(*io[0], 0);
  EXPECT_EQ(Texts(rows), (std::vector<std::string>{io[0]->GetLabel(0), "Channel Enable", "Filter", "Wire Break Limit"}));
  EXPECT_EQ(rows[1].columns[kParaProject], "15");
  EXPECT_EQ(rows[1].definitions[kParaProject], "1,0,15");
  EXPECT_EQ(rows[1].dropDownColumn, -1);
  EXPECT_EQ(rows[2].columns[kParaProject], "50 Hz rejection");
  EXPECT_EQ(rows[2].dropDownColumn, kParaProject);
  EXPECT_EQ(rows[2].choices, (std::vector<std::string>{"None", "50 Hz rejection", "60 Hz rejection"}));
  EXPECT_EQ(rows[2].key, "");
  EXPECT_EQ(rows[3].columns[kParaProject], "3600");
  for (size_t i = 1; i < rows.size(); ++i) EXPECT_EQ(rows[i].readOnly, 0);
  // Read-only while monitored: walked through the parameters view (views_test.cpp).
}

TEST_F(Rows, AdapterParametersCommInitFirstThenParaAndFixedOnesNameOnly) {
  BuildStation({});
  const auto rows = BuildParameterRows(*na, 0);
  ASSERT_GT(rows.size(), 5u);
  EXPECT_EQ(rows[1].kind, RowKind::kCommInit);
  EXPECT_EQ(rows[1].text, "Expansion Slot Number");
  EXPECT_EQ(rows[1].readOnly, 1);
  EXPECT_EQ(rows[1].columns, (std::vector<std::string>{"", ""}));
  const auto mode = std::find_if(rows.begin(), rows.end(), [](const ViewRow& r) { return r.para && r.para->key == "InputMode"; });
  ASSERT_NE(mode, rows.end());
  EXPECT_EQ(mode->columns[kParaProject], "Uncompressed input data without status");
  EXPECT_EQ(mode->choices.size(), 4u);
  EXPECT_EQ(rows.back().kind, RowKind::kParameter);
  EXPECT_EQ(rows[rows.size() - 4].text, "Fault Action");
  EXPECT_EQ(rows[rows.size() - 4].columns[kParaProject], "Clear outputs");
}

TEST_F(Rows, OnlineValuesOfAModuleFromTheAdaptersImages) {
  FakeDriverFolder driver;
  qmx::Services().paths.SetAppDir(driver.path());
  BuildStation({"QMX-1808", "QMX-3404", "QMX-2808"});
  na->SetCommSettings("192.168.0.10", "", "", "");
  ASSERT_TRUE(na->HasDriver());
  na->moduleListChanged = 1;
  ASSERT_EQ(na->SetModuleList(), 1);
  na->monitoring = 1;
  uint8_t* input = na->OnlineImage(kOnlineInput);
  ASSERT_NE(input, nullptr);
  input[io[0]->onlineOffsets[kOnlineInput]] = 0x81;
  input[io[1]->onlineOffsets[kOnlineInput] + 2] = 0x00;  // AI 2 = raw 32000 = 20 mA
  input[io[1]->onlineOffsets[kOnlineInput] + 3] = 0x7D;

  auto di = BuildProcessImgRows(*io[0], 0, 0, {}, na);
  std::vector<CellChange> changes;
  EXPECT_EQ(RefreshProcessImgOnline(di, *io[0], *na, 1, 0, {}, changes), 1);
  EXPECT_EQ(di[1].columns[kPiOnline], "1");
  EXPECT_EQ(di[2].columns[kPiOnline], "0");
  EXPECT_EQ(di[8].columns[kPiOnline], "1");
  EXPECT_EQ(changes.size(), 8u);
  changes.clear();
  EXPECT_EQ(RefreshProcessImgOnline(di, *io[0], *na, 1, 0, {}, changes), 1);
  EXPECT_TRUE(changes.empty()) << "an unchanged value is not written again";

  for (const auto& [mode, text] : std::vector<std::pair<int, std::string>>{{0, "20.00"}, {1, "32000"}, {2, "0x7D00"}}) {
    auto ai = BuildProcessImgRows(*io[1], 0, mode, {}, na);
    changes.clear();
    EXPECT_EQ(RefreshProcessImgOnline(ai, *io[1], *na, 0, mode, {}, changes), 1);
    EXPECT_EQ(ai[2].columns[kPiOnline], text) << mode;
  }
  // Hex texts compared without case are not rewritten.
  auto ai = BuildProcessImgRows(*io[1], 0, 2, {}, na);
  ai[2].columns[kPiOnline] = "0X7d00";
  changes.clear();
  RefreshProcessImgOnline(ai, *io[1], *na, 0, 2, {}, changes);
  EXPECT_EQ(ai[2].columns[kPiOnline], "0X7d00");

  // The adapter's summary rows only outside the quiet refresh.
  na->outputImage();
  uint8_t* output = na->OnlineImage(kOnlineOutput);
  output[io[2]->onlineOffsets[kOnlineOutput]] = 0x3C;
  auto station = BuildProcessImgRows(*na, 0, 0, ws.ModulesOf(*na), na);
  std::vector<CIOUsr*> communicating;
  ws.CollectIOUsrs(na->treeItem, communicating, 0);
  changes.clear();
  EXPECT_EQ(RefreshProcessImgOnline(station, *na, *na, 1, 0, communicating, changes), 1);
  EXPECT_EQ(station[1].columns[kPiOnline], "");
  EXPECT_EQ(RefreshProcessImgOnline(station, *na, *na, 0, 0, communicating, changes), 1);
  EXPECT_EQ(station[1].columns[kPiOnline], "0x81");
  EXPECT_EQ(station[3].columns[kPiOnline], "0x3C");

  // A failed image read leaves every cell and answers 0.
  driver.SetResult("drvRead", 0);
  auto again = BuildProcessImgRows(*io[0], 0, 0, {}, na);
  changes.clear();
  EXPECT_EQ(RefreshProcessImgOnline(again, *io[0], *na, 1, 0, {}, changes), 0);
  EXPECT_TRUE(changes.empty());
  na->monitoring = 0;
}

TEST_F(Rows, AddressMapTableOfARecord) {
  AddressMapChannel in0{1, 0, 0, 0, "DI"}, in1{1, 0, 1, 1, "DI"}, out0{16, 0x800, 0, 0x8000, "AO"};
  AddressMapChannel out1{16, 0x801, 0, 0x8010, "AO"};
  AddressMapChannel* inputs[] = {&in0, &in1};
  AddressMapChannel* outputs[] = {&out0, &out1};
  AddressMapRow adapterRow{0, 3, "Station", "NA", 0, nullptr, 0, nullptr};
  AddressMapRow both{1, 5, "01: QMX-1808", "NDI", 2, inputs, 2, outputs};
  AddressMapRow outOnly{2, 6, "02: QMX-4402", "NAO", 0, nullptr, 1, outputs};
  AddressMapRow* rows[] = {&adapterRow, &both, &outOnly};
  AddressMapInfo info{1, 2, 0, "Uncompressed", "Plain", 3, rows};
  const AddrMapTable table = BuildAddrMapTable(&info);
  EXPECT_EQ(table.inputModeText, "Uncompressed");
  EXPECT_EQ(table.outputModeText, "Plain");
  ASSERT_EQ(table.rows.size(), 6u);
  EXPECT_EQ(table.rows[0].text, "Station");
  EXPECT_TRUE(table.rows[0].columns.empty());
  EXPECT_EQ(table.rows[1].text, "01: QMX-1808");
  EXPECT_EQ(table.rows[1].icon, 5);
  EXPECT_EQ(table.rows[1].columns,
            (std::vector<std::string>{"0", "0x0000/00", "0x0000", "0x0800/00", "0x8000"}));
  EXPECT_EQ(table.rows[2].parent, 1);
  EXPECT_EQ(table.rows[2].icon, kChannelRowIcon);
  EXPECT_EQ(table.rows[2].columns, (std::vector<std::string>{"1", "0x0000/01", "0x0001"}));
  EXPECT_EQ(table.rows[3].columns, (std::vector<std::string>{"0", "", "", "0x0800/00", "0x8000"}));
  EXPECT_EQ(table.rows[4].columns, (std::vector<std::string>{"1", "", "", "0x0801/00", "0x8010"}));
  EXPECT_EQ(table.rows[5].parent, -1);
  EXPECT_EQ(table.rows[5].columns, (std::vector<std::string>{"0", "", "", "0x0800/00", "0x8000"}));
  EXPECT_TRUE(BuildAddrMapTable(nullptr).rows.empty());
}

TEST_F(Rows, ImageTextsOfAStationAModuleAndABareAdapter) {
  BuildStation({"QMX-1808", "QMX-3404", "QMX-7124"});
  const std::string images = qmx::Paths().imageDir;
  ImageModel station = BuildImageModel(*na, na, ws.ModulesOf(*na), 0, 0, images);
  ASSERT_EQ(station.pictures.size(), 4u);
  EXPECT_EQ(station.pictures[0].caption, "QMX-4101");
  EXPECT_EQ(station.pictures[0].label, "");
  EXPECT_EQ(station.pictures[2].label, "2");
  EXPECT_EQ(std::filesystem::path(station.pictures[1].file).filename(), "QMX-1808.bmp");
  EXPECT_EQ(station.texts.title, "Station (192.168.0.10)");
  EXPECT_EQ(station.texts.firstCaption, "Total Current");
  // 30 + 70 + 20 mA taken; 1500 mA of the adapter and 1000 mA the power module adds.
  EXPECT_EQ(station.texts.firstText, "120 mA (Max. 2500 mA @ 5VDC)");
  EXPECT_EQ(station.texts.secondCaption, "Total Size");
  EXPECT_EQ(station.texts.secondText, "Width: 45, Height: 100, Length: 280 (mm)");

  ImageModel module = BuildImageModel(*io[1], na, {}, 0, 0, images);
  ASSERT_EQ(module.pictures.size(), 1u);
  EXPECT_EQ(module.pictures[0].label, "2");
  EXPECT_EQ(module.texts.firstCaption, "Specification");
  EXPECT_EQ(module.texts.firstText, "4 AI, 4 ... 20 mA, 15 bit");
  EXPECT_EQ(module.texts.secondCaption, "");
  EXPECT_EQ(module.texts.secondText, "Power Dissipation: Max. 70 mA @ 5.0Vdc");

  // A monitored adapter with a failed communication: "-OFF" pictures.
  na->monitoring = 1;
  ImageModel off = BuildImageModel(*io[1], na, {}, 0, 2, images);
  EXPECT_TRUE(off.fault);
  EXPECT_EQ(std::filesystem::path(off.pictures[0].file).filename(), "QMX-3404-OFF.bmp");
  na->monitoring = 0;

  ImageModel bare = BuildImageModel(*na, na, {}, 0, 0, images);
  EXPECT_EQ(bare.texts.firstCaption, "Specification");
  EXPECT_EQ(bare.texts.secondCaption, "Comm. Info");
  EXPECT_EQ(bare.texts.secondText, "192.168.0.10");
}

TEST(ViewTexts, CommentLineFeedPairsAndLeadingNumbers) {
  EXPECT_EQ(CommentForEdit("one\n\ntwo"), "one\r\ntwo");
  EXPECT_EQ(CommentForEdit("one\ntwo"), "one\ntwo");
  EXPECT_EQ(CommentForEdit("a\n\n\nb"), "a\r\n\nb");
  EXPECT_EQ(FindFileNoCase("/nonexistent-folder", "x"), "");
  EXPECT_EQ(LeadingNumber("70 mm"), 70);
  EXPECT_EQ(LeadingNumber("mm"), 0);
}

}  // namespace
