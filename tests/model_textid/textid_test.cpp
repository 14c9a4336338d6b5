// The text-id list and the error list: which entry wins, where a reading
// stops, the look-ups and the shipped English lists.
#include "app/model/TextIdList.h"
#include "tests/support/load_failure_line.h"
#include "tests/model_settings/log_capture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using qmx::test::LogCapture;
using qmx::test::SourcePath;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

std::string TextList(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<TextList>\r\n" + body + "</TextList>\r\n";
}

std::string ErrorList(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<ErrorList>\r\n" + body + "</ErrorList>\r\n";
}

std::string Err(const char* value, const char* cls, const char* desc = "d", const char* action = "a") {
  return std::string("<Error Value=\"") + value + "\" Class=\"" + cls + "\" Description=\"" + desc + "\" Action=\"" +
         action + "\"/>\r\n";
}

}  // namespace

TEST(TextIdListTest, FirstEntryOfATextIdWins) {
  TempDir dir("textid");
  LogCapture log;
  const fs::path file = dir / "listTextIdEng.xml";
  WriteFile(file, TextList("<Text TextId=\"T_A\" Value=\"first\" DescValue=\"first desc\"/>\r\n"
                           "<!-- a comment between entries -->\r\n"
                           "<Text TextId=\"T_B\" Value=\"b\" DescValue=\"\"/>\r\n"
                           "<Text TextId=\"T_A\" Value=\"second\" DescValue=\"second desc\"/>\r\n"
                           "<Other TextId=\"T_C\" Value=\"c\" DescValue=\"c\"/>\r\n"));
  TextIdMap map;
  ASSERT_EQ(ParseTextIdFile(file.string(), map), 1);
  ASSERT_EQ(map.size(), 2u);
  std::string desc;
  EXPECT_EQ(GetTextIdValue(map, "T_A", desc), "first");
  EXPECT_EQ(desc, "first desc");
  EXPECT_EQ(map.count("T_A"), 1u);
  EXPECT_EQ(GetTextIdValue(map, "T_B", desc), "b");
  EXPECT_EQ(desc, "");
  EXPECT_TRUE(log.WithCode(-1001).empty());
  EXPECT_EQ(log.records().front().text, "Start parsing definition file. File:" + file.string());
  EXPECT_EQ(log.records().back().text, "End parsing definition file. File:" + file.string() + ". Result: 1");
}

TEST(TextIdListTest, TheMapFindsEveryIdThroughItsGrowth) {
  // Ids added one by one through many doublings of the table, some twice:
  // each finds its own texts, the first entry stays, the order is kept.
  TextIdMap map;
  for (int i = 0; i < 3000; ++i) {
    const std::string id = "T_" + std::to_string(i);
    EXPECT_TRUE(map.try_emplace(id, {id, "d"}).second);
    if (i % 7 == 0) {
      EXPECT_FALSE(map.try_emplace(id, {"later", "later"}).second);
    }
  }
  map["T_new"].value = "added";
  ASSERT_EQ(map.size(), 3001u);
  for (int i = 0; i < 3000; i += 37) {
    const std::string id = "T_" + std::to_string(i);
    ASSERT_EQ(map.count(id), 1u) << id;
    EXPECT_EQ(map.find(id)->second.value.str(), id);
  }
  EXPECT_EQ(map.find("T_new")->second.value.str(), "added");
  for (const char* absent : {"", "T_", "T_3000", "t_1", "T_1 "}) {
    EXPECT_EQ(map.find(absent), map.end()) << absent;
  }
  EXPECT_EQ(map.begin()->first, "T_0");
  EXPECT_EQ((map.end() - 1)->first, "T_new");
  map.clear();
  EXPECT_TRUE(map.empty());
  EXPECT_EQ(map.count("T_0"), 0u);
}

TEST(TextIdListTest, MissingAttributeStopsTheListAndKeepsWhatWasRead) {
  const char* attributes[] = {"TextId", "Value", "DescValue"};
  for (const char* missing : attributes) {
    TempDir dir("textid");
    LogCapture log;
    const fs::path file = dir / "listTextIdEng.xml";
    std::string broken = "<Text TextId=\"T_2\" Value=\"two\" DescValue=\"two\"/>\r\n";
    const std::string attr = std::string(" ") + missing + "=\"" + (std::string(missing) == "TextId" ? "T_2" : "two") + "\"";
    broken.erase(broken.find(attr), attr.size());
    WriteFile(file, TextList("<Text TextId=\"T_1\" Value=\"one\" DescValue=\"one\"/>\r\n" + broken +
                             "<Text TextId=\"T_3\" Value=\"three\" DescValue=\"three\"/>\r\n"));
    TextIdMap map;
    EXPECT_EQ(ParseTextIdFile(file.string(), map), 1) << missing;
    ASSERT_EQ(map.size(), 1u) << missing;
    EXPECT_EQ(map.count("T_1"), 1u);
    const auto lines = log.WithCode(-6001);
    ASSERT_EQ(lines.size(), 1u) << missing;
    EXPECT_EQ(lines[0].category, 0);
    EXPECT_EQ(lines[0].source, "QMX-410Tools");
    EXPECT_EQ(lines[0].text, "[Error Code: -6001] Exception is happened. Invalid pointer. Func:ParseTextIdFile. "
                             "Loc:/TextList/Text. xml file: " +
                                 file.string() + ".");
    EXPECT_EQ(log.records().back().text, "End parsing definition file. File:" + file.string() + ". Result: 1");
  }
}

TEST(TextIdListTest, ListsThatDoNotLoad) {
  TempDir dir("textid");
  WriteFile(dir / "bad.xml", "<TextList><Text TextId=\"x\"</TextList>");
  for (const std::string name : {"absent.xml", "bad.xml"}) {
    for (int kind = 0; kind < 2; ++kind) {
      LogCapture log;
      const std::string path = (dir / name).string();
      TextIdMap texts;
      ErrorMap errors;
      EXPECT_EQ(kind == 0 ? ParseTextIdFile(path, texts) : ParseErrorFile(path, errors), 0) << name;
      const auto lines = log.WithCode(-1027);
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_TRUE(IsLoadFailureLine(lines[0].text, path)) << lines[0].text;
      ASSERT_EQ(LogCapture::Boxes().size(), 1u);
      EXPECT_EQ(LogCapture::Boxes()[0].first,
                "Cannot open the file. Check if the file exists or using.\nXML File: " + path + ".");
      EXPECT_EQ(LogCapture::Boxes()[0].second, qmx::kBoxIconStop);
    }
  }
}

TEST(TextIdListTest, UnknownTextIdLogsMinus1001) {
  LogCapture log;
  TextIdMap map;
  map["T_X"] = TextIdEntry{"x", "xd"};
  std::string desc = "stale";
  EXPECT_EQ(GetTextIdValue(map, "t_x", desc), "");  // exact comparison
  EXPECT_EQ(desc, "");
  const auto lines = log.WithCode(-1001);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].category, 0);
  EXPECT_EQ(lines[0].source, "QMX-410Tools");
  EXPECT_EQ(lines[0].text,
            "[Error Code: -1001] TextID is undefined in listTextId.xml. TextID: t_x. Func: GetTextIdValue.");
}

TEST(ErrorListTest, LaterEntryWinsAndOnlyPlainDecimalValuesAreFound) {
  TempDir dir("textid");
  LogCapture log;
  const fs::path file = dir / "listErrorEng.xml";
  WriteFile(file, ErrorList("<Category GeneratorID=\"ID_Ferrow\">\r\n" + Err("-101", "first") +
                            "<!-- comment -->\r\n<?pi skipped?>\r\n" + Err("-101", "second", "desc2", "act2") +
                            Err("+102", "plus") + Err("-0103", "zero") + Err(" -104", "blank") +
                            "<AnyName Value=\"-105\" Class=\"any\" Description=\"d\" Action=\"a\"/>\r\n" +
                            "</Category>\r\n<!-- between categories -->\r\n"
                            "<Category GeneratorID=\"ID_Other\">\r\n" +
                            Err("-101", "other") + "</Category>\r\n"));
  ErrorMap map;
  ASSERT_EQ(ParseErrorFile(file.string(), map), 1);
  EXPECT_TRUE(log.WithCode(-6001).empty());

  std::string cls, desc, action;
  EXPECT_EQ(GetErrInfo(map, "ID_Ferrow", -101, cls, desc, action), 1);
  EXPECT_EQ(cls, "second");
  EXPECT_EQ(desc, "desc2");
  EXPECT_EQ(action, "act2");
  EXPECT_EQ(map.at("ID_Ferrow_-101").code, -101);
  EXPECT_EQ(GetErrInfo(map, "ID_Ferrow", -105, cls, desc, action), 1);
  EXPECT_EQ(cls, "any");
  EXPECT_EQ(GetErrInfo(map, "ID_Other", -101, cls, desc, action), 1);
  EXPECT_EQ(cls, "other");

  // Stored under their own texts, converted codes kept, but never found.
  EXPECT_EQ(map.at("ID_Ferrow_+102").code, 102);
  EXPECT_EQ(map.at("ID_Ferrow_-0103").code, -103);
  const int unreachable[] = {102, -103, -104};
  for (int code : unreachable) {
    cls = desc = action = "stale";
    EXPECT_EQ(GetErrInfo(map, "ID_Ferrow", code, cls, desc, action), 0) << code;
    EXPECT_EQ(cls + desc + action, "");
  }
  const auto lines = log.WithCode(-1013);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].category, 0);
  EXPECT_EQ(lines[0].source, "QMX-410 Tools");
  EXPECT_EQ(lines[0].text, "[Error Code: -1013] Error value is undefined in listError.xml. Category: ID_Ferrow, "
                           "Error Code: 102. Func: GetErrInfo.");
}

TEST(ErrorListTest, MissingAttributeStopsTheListAndKeepsWhatWasRead) {
  const char* cases[] = {"Value", "Class", "Description", "Action", "GeneratorID"};
  for (const char* missing : cases) {
    TempDir dir("textid");
    LogCapture log;
    const fs::path file = dir / "listErrorEng.xml";
    std::string second = "<Category GeneratorID=\"G2\">\r\n" + Err("-1", "c", "d", "a") + Err("-2", "c") +
                         "</Category>\r\n";
    const std::string attr = std::string(" ") + missing + "=\"";
    const size_t at = second.find(attr);
    second.erase(at, second.find('"', at + attr.size()) + 1 - at);
    WriteFile(file, ErrorList("<Category GeneratorID=\"G1\">\r\n" + Err("-1", "c") + "</Category>\r\n" + second +
                              "<Category GeneratorID=\"G3\">\r\n" + Err("-1", "c") + "</Category>\r\n"));
    ErrorMap map;
    EXPECT_EQ(ParseErrorFile(file.string(), map), 1) << missing;
    EXPECT_EQ(map.size(), 1u) << missing;
    EXPECT_EQ(map.count("G1_-1"), 1u) << missing;
    const auto lines = log.WithCode(-6001);
    ASSERT_EQ(lines.size(), 1u) << missing;
    EXPECT_EQ(lines[0].source, "QMX-410 Tools");
    EXPECT_EQ(lines[0].text, "[Error Code: -6001] Exception is happened. Invalid pointer. Func:ParseErrorFile. "
                             "Loc:/ErrorList/Category. xml file: " +
                                 file.string() + ".");
  }
}

TEST(ListPathTest, LanguageSuffixAndLetterCase) {
  TempDir dir("textid");
  fs::create_directories(dir / "Products");
  const std::string folder = dir.path().string();
  EXPECT_EQ(TextIdListPath(folder, "Eng"), folder + "/Products/listTextIdEng.xml");
  EXPECT_EQ(ErrorListPath(folder, "Kor"), folder + "/Products/listErrorKor.xml");
  WriteFile(dir / "Products" / "LISTTEXTIDKOR.XML", "x");
  EXPECT_EQ(TextIdListPath(folder, "Kor"), folder + "/Products/LISTTEXTIDKOR.XML");
}

TEST(ShippedListsTest, EnglishListsLoadCleanlyWithTheValidationTexts) {
  LogCapture log;
  TextIdMap texts;
  ErrorMap errors;
  ASSERT_EQ(ParseTextIdFile(SourcePath("resources/QMX410Tools/Products/listTextIdEng.xml").string(), texts), 1);
  ASSERT_EQ(ParseErrorFile(SourcePath("resources/QMX410Tools/Products/listErrorEng.xml").string(), errors), 1);
  EXPECT_TRUE(log.WithCode(-6001).empty());
  EXPECT_FALSE(texts.empty());
  for (const auto& [id, entry] : texts) EXPECT_FALSE(entry.value.empty()) << id;
  for (int code = -101; code >= -111; --code) {
    std::string cls, desc, action;
    ASSERT_EQ(GetErrInfo(errors, "ID_Ferrow", code, cls, desc, action), 1) << code;
    EXPECT_FALSE(cls.empty() || desc.empty() || action.empty()) << code;
  }
}
