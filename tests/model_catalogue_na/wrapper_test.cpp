// The tree object base: kinds, labels, position, changed flag and the byte
// images with their project-file texts.
#include "app/model/Wrapper.h"
#include "tests/model_settings/log_capture.h"

#include <gtest/gtest.h>

#include <optional>

using qmx::test::LogCapture;

namespace {

// A tree object of a given kind with settable definition answers.
class TestObject : public Wrapper {
public:
  explicit TestObject(const char* tag) : Wrapper(tag) {}
  std::string GetModelName() const override { return "Model"; }
  std::string GetDescription() const override { return "Desc"; }
  const std::vector<uint8_t>* GetDefaultParaImage() const override { return defaultPara ? &*defaultPara : nullptr; }
  const std::vector<uint8_t>* GetDefaultMonInitImage() const override {
    return defaultMonInit ? &*defaultMonInit : nullptr;
  }
  std::optional<std::vector<uint8_t>> defaultPara;
  std::optional<std::vector<uint8_t>> defaultMonInit;
};

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

}  // namespace

TEST(WrapperTest, KindsNamesTitlesAndLabels) {
  TestObject project("PROJECT");
  TestObject folder("Folder");
  TestObject adapter("na");
  TestObject module("IO");
  EXPECT_EQ(project.IsModule(), 0);
  EXPECT_EQ(folder.IsModule(), 0);
  EXPECT_EQ(adapter.IsModule(), 1);
  EXPECT_EQ(module.IsModule(), 1);
  EXPECT_TRUE(adapter.IsType(kTypeNA));

  module.SetName("Slot one");
  module.SetTitle("  a title \r\n");
  EXPECT_EQ(module.GetName(), "Slot one");
  EXPECT_EQ(module.title, "a title");
  EXPECT_EQ(module.GetLabel(0), "Slot one");
  EXPECT_EQ(module.GetLabel(1), "Model");
  EXPECT_EQ(module.GetLabel(2), "Desc");
  EXPECT_EQ(module.GetLabel(7), "Slot one");
  EXPECT_EQ(module.GetValueText("list", "0"), "INVALID");
  EXPECT_EQ(module.GetByteOrderMode(), 0);
  EXPECT_EQ(module.GetSize(), 0);
  EXPECT_EQ(module.commSeqNo, -1);
  EXPECT_EQ(module.onlineOffsets, (std::array<int, 5>{-1, -1, -1, -1, -1}));
  EXPECT_EQ(module.SetHandles(1, 2, 3, 4, 5), 1);
  EXPECT_EQ(module.onlineOffsets, (std::array<int, 5>{1, 2, 3, 4, 5}));
}

TEST(WrapperTest, PositionZeroIsLoggedAndAnswered) {
  LogCapture log;
  TestObject module("IO");
  module.SetName("M");
  module.posNo = 3;
  EXPECT_EQ(module.GetPosNo(), 3);
  EXPECT_TRUE(log.records().empty());
  module.posNo = 0;
  EXPECT_EQ(module.GetPosNo(), 0);
  const auto records = log.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].category, qmx::kLogError);
  EXPECT_EQ(records[0].source, qmx::kLogSourceNoBlank);
  EXPECT_EQ(records[0].text, "[Bug] Position no is below 0. Type:IO. Name:M.");
}

TEST(WrapperTest, ChangedFlagClearsOnceAndOnlyForAdaptersAndModules) {
  TestObject module("IO");
  module.changed = 1;
  EXPECT_EQ(module.ClearChangedFlag(), 1);
  EXPECT_EQ(module.ClearChangedFlag(), 0);
  TestObject project("PROJECT");
  project.changed = 1;
  EXPECT_EQ(project.ClearChangedFlag(), 0);
  EXPECT_EQ(project.changed, 1);
}

TEST(WrapperTest, ImagesTakeTheLengthOfEachCall) {
  TestObject adapter("NA");
  const uint8_t source[] = {1, 2, 3, 4, 5, 6, 7, 8};
  adapter.CreateImages(2, 3, source);
  EXPECT_EQ(adapter.paraImage(), Bytes({1, 2}));
  EXPECT_EQ(adapter.outputImage(), Bytes({0, 0, 0}));
  adapter.outputImage()[0] = 9;

  // A later, longer call grows the images instead of writing past them.
  adapter.CreateImages(8, 6, source);
  EXPECT_EQ(adapter.ParaLength(), 8);
  EXPECT_EQ(adapter.paraImage(), Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(adapter.outputImage(), Bytes({0, 0, 0, 0, 0, 0}));
  // Lengths of 0 leave the images; no source gives zeros.
  adapter.CreateImages(0, 0, nullptr);
  EXPECT_EQ(adapter.ParaLength(), 8);
  adapter.CreateImages(4, 0, nullptr);
  EXPECT_EQ(adapter.paraImage(), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(adapter.OutputLength(), 6);

  adapter.SetMonInitImage(2, source);
  EXPECT_EQ(adapter.monInitImage(), Bytes({1, 2}));
  adapter.SetMonInitImage(5, source + 3);
  EXPECT_EQ(adapter.monInitImage(), Bytes({4, 5, 6, 7, 8}));
  adapter.SetMonInitImage(0, source);
  EXPECT_EQ(adapter.MonInitLength(), 5);
  adapter.SetMonInitImage(3, nullptr);
  EXPECT_EQ(adapter.monInitImage(), Bytes({0, 0, 0}));

  TestObject module("IO");
  module.SetMonInitImage(4, source);
  EXPECT_EQ(module.MonInitLength(), 0);
}

TEST(WrapperTest, ResetToDefaultCopiesTheDefaultsAndLeavesOutputs) {
  TestObject adapter("NA");
  adapter.CreateImages(3, 2, nullptr);
  adapter.SetMonInitImage(2, nullptr);
  adapter.outputImage() = Bytes({7, 7});
  adapter.ResetImagesToDefault();  // no defaults: nothing changes
  EXPECT_EQ(adapter.paraImage(), Bytes({0, 0, 0}));
  adapter.defaultPara = Bytes({1, 2, 3});
  adapter.defaultMonInit = Bytes({4, 5, 6, 7});  // longer than the image: copied as far as it reaches
  adapter.ResetImagesToDefault();
  EXPECT_EQ(adapter.paraImage(), Bytes({1, 2, 3}));
  EXPECT_EQ(adapter.monInitImage(), Bytes({4, 5}));
  EXPECT_EQ(adapter.outputImage(), Bytes({7, 7}));

  TestObject module("IO");
  module.CreateImages(2, 0, nullptr);
  module.defaultPara = Bytes({9});
  module.defaultMonInit = Bytes({9});
  module.ResetImagesToDefault();
  EXPECT_EQ(module.paraImage(), Bytes({9, 0}));
  EXPECT_EQ(module.MonInitLength(), 0);
}

TEST(WrapperTest, ImageTextsOfProjectFiles) {
  TestObject project("PROJECT");
  project.CreateImages(2, 0, nullptr);
  EXPECT_EQ(project.GetImageHexStr("PARA"), "");
  EXPECT_EQ(project.GetParaIOSetValFromProject("0102", "PARA", 2, nullptr), 2);

  TestObject adapter("NA");
  EXPECT_EQ(adapter.GetImageHexStr("PARA"), "");  // no image yet
  const uint8_t para[] = {0x01, 0x02, 0xAB};
  adapter.CreateImages(3, 2, para);
  adapter.SetMonInitImage(1, para);
  EXPECT_EQ(adapter.GetImageHexStr("PARA"), "AB0201");
  EXPECT_EQ(adapter.GetImageHexStr("OUTPUT"), "0000");
  EXPECT_EQ(adapter.GetImageHexStr("MON_INIT"), "01");
  EXPECT_EQ(adapter.GetImageHexStr("INPUT"), "");

  // Reading the text back: last byte first.
  EXPECT_EQ(adapter.GetParaIOSetValFromProject(" 0A0B0C ", "PARA", 3, nullptr), 1);
  EXPECT_EQ(adapter.paraImage(), Bytes({0x0C, 0x0B, 0x0A}));
  EXPECT_EQ(adapter.GetParaIOSetValFromProject("ff01", "OUTPUT", 2, nullptr), 1);
  EXPECT_EQ(adapter.outputImage(), Bytes({0x01, 0xFF}));
}

TEST(WrapperTest, ProjectFileTextsOfTheWrongLengthKeepTheImage) {
  LogCapture log;
  TestObject adapter("NA");
  const uint8_t para[] = {5, 6};
  adapter.CreateImages(2, 2, para);
  adapter.outputImage() = Bytes({3, 4});

  EXPECT_EQ(adapter.GetParaIOSetValFromProject("01", "PARA", 2, nullptr), 0);
  EXPECT_EQ(adapter.paraImage(), Bytes({5, 6}));
  EXPECT_TRUE(log.HasText("[Mismatch version] Mismatch length. Saved value with SrcLen. PARA. Func: "
                          "GetParaIOSetValFromProject."));

  // Empty texts: PARA takes the default, OUTPUT zeros, MON_INIT stays.
  const std::vector<uint8_t> defaults = Bytes({8, 9});
  EXPECT_EQ(adapter.GetParaIOSetValFromProject("", "PARA", 2, &defaults), 2);
  EXPECT_EQ(adapter.paraImage(), Bytes({8, 9}));
  EXPECT_EQ(adapter.GetParaIOSetValFromProject("  ", "OUTPUT", 2, nullptr), 2);
  EXPECT_EQ(adapter.outputImage(), Bytes({0, 0}));
  adapter.SetMonInitImage(1, para);
  EXPECT_EQ(adapter.GetParaIOSetValFromProject("", "MON_INIT", 1, &defaults), 2);
  EXPECT_EQ(adapter.monInitImage(), Bytes({5}));

  // Other kinds, and a length the image does not have, are refused.
  EXPECT_EQ(adapter.GetParaIOSetValFromProject("01", "INPUT", 1, nullptr), 2);
  EXPECT_TRUE(log.HasText("[Bug] Invalid function parameter. sType must be PARA or OUTPUT. INPUT. Func: "
                          "GetParaIOSetValFromProject."));
  EXPECT_EQ(adapter.GetParaIOSetValFromProject("010203", "PARA", 3, nullptr), 0);
  EXPECT_EQ(adapter.paraImage(), Bytes({8, 9}));
  EXPECT_EQ(adapter.GetParaIOSetValFromProject("01", "PARA", 0, nullptr), 2);

  TestObject module("IO");
  module.CreateImages(1, 0, para);
  EXPECT_EQ(module.GetParaIOSetValFromProject("01", "MON_INIT", 1, nullptr), 2);
}
