// Whole images as the hexadecimal text of project files.
#include "tests/support/model_log_capture.h"
#include "test_object.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

TEST(ImageText, IsUpperCaseLastByteFirstAndReadsBack) {
  TestObject object(0, 4, 2);
  object.paraImage() = {0x01, 0xAB, 0x00, 0xFF};
  const std::string text = object.GetImageHexStr("PARA");
  EXPECT_EQ(text, "FF00AB01");
  TestObject other(0, 4, 2);
  EXPECT_EQ(other.GetParaIOSetValFromProject(" " + text + " ", "PARA", 4, nullptr), 1);
  EXPECT_EQ(other.paraImage(), object.paraImage());
  EXPECT_EQ(other.GetParaIOSetValFromProject("ff00ab01", "PARA", 4, nullptr), 1);
  EXPECT_EQ(other.paraImage(), object.paraImage());
}

TEST(ImageText, EveryByteValueReadsBackInEitherLetterCase) {
  TestObject object(0, 256, 2);
  for (int i = 0; i < 256; ++i) object.paraImage()[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  const std::string upper = object.GetImageHexStr("PARA");
  std::string lower = upper;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& text : {upper, lower}) {
    TestObject other(0, 256, 2);
    ASSERT_EQ(other.GetParaIOSetValFromProject(text, "PARA", 256, nullptr), 1);
    EXPECT_EQ(other.paraImage(), object.paraImage());
  }
}

TEST(ImageText, ANonHexCharacterIsRefusedAndTheImageKept) {
  ModelLogCapture log;
  TestObject object(0, 4, 2);
  object.paraImage() = {1, 2, 3, 4};
  EXPECT_EQ(object.GetParaIOSetValFromProject("FF00AG01", "PARA", 4, nullptr), 0);
  EXPECT_EQ(object.paraImage(), (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_TRUE(log.Has("[Mismatch version]", qmx::kLogError));
  EXPECT_EQ(object.GetParaIOSetValFromProject("00 1", "OUTPUT", 2, nullptr), 0);
}

TEST(ImageText, AShortTextIsAMismatchAndKeepsTheDefaults) {
  ModelLogCapture log;
  TestObject object(0, 4, 2);
  object.paraImage() = {9, 9, 9, 9};
  EXPECT_EQ(object.GetParaIOSetValFromProject("FF00AB", "PARA", 4, nullptr), 0);
  EXPECT_EQ(object.paraImage(), (std::vector<uint8_t>{9, 9, 9, 9}));
  EXPECT_TRUE(log.Has("[Mismatch version] Mismatch length. Saved value with SrcLen. PARA."));
}

TEST(ImageText, EmptyTextTakesDefaultsZerosOrNothing) {
  TestObject object(0, 3, 2);
  object.paraImage() = {1, 1, 1};
  object.outputImage() = {5, 5};
  const std::vector<uint8_t> defaults = {7, 8, 9};
  EXPECT_EQ(object.GetParaIOSetValFromProject("", "PARA", 3, &defaults), 2);
  EXPECT_EQ(object.paraImage(), defaults);
  EXPECT_EQ(object.GetParaIOSetValFromProject("", "OUTPUT", 2, nullptr), 2);
  EXPECT_EQ(object.outputImage(), (std::vector<uint8_t>{0, 0}));
  TestObject project(0, 3, 2, kTypeProject);
  EXPECT_EQ(project.GetImageHexStr("PARA"), "");
  EXPECT_EQ(project.GetParaIOSetValFromProject("000000", "PARA", 3, nullptr), 2);
}

}  // namespace
