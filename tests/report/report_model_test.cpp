// The report program's toolkit-free part on the documentation sets the main
// program's export writes: reading, chapter numbering and contents, row
// colours, the station limit, the Excel pages and their reshaping, and the
// run decisions.
#include <gtest/gtest.h>

#include <regex>

#include "platform/report/model/document.h"
#include "report/core/DocuSet.h"
#include "report/core/ReportBuilders.h"
#include "report/core/RunPlan.h"
#include "tests/report/fixtures.h"

namespace fs = std::filesystem;
using namespace qmx::rendaval;
using namespace qmx::report;
using qmx::rendaval::test::InstallSet;

namespace {

std::vector<std::string> JoinedToc(const Document& doc) {
  std::vector<std::string> out;
  for (const auto& path : TocPaths(doc)) out.push_back(JoinTocPath(path));
  return out;
}

// The table that follows the heading with this text.
const TableBlock& TableAfter(const Document& doc, const std::string& heading) {
  for (size_t i = 0; i + 1 < doc.blocks.size(); ++i) {
    const auto* h = std::get_if<HeadingBlock>(&doc.blocks[i]);
    if (h && h->text == heading) return std::get<TableBlock>(doc.blocks[i + 1]);
  }
  throw std::runtime_error("no heading " + heading);
}

std::vector<Rgb> DataRowColours(const TableBlock& table) {
  std::vector<Rgb> colours;
  for (const TableRow& row : table.rows)
    if (!row.caption) colours.push_back(row.background);
  return colours;
}

}  // namespace

TEST(ReportModel, ReadsWhatTheWriterWrites) {
  qmx::test::TempDir dir("rendaval");
  const auto set = InstallSet("project3", dir.path());
  const DocuSet docu = LoadDocuSet("PROJECT", set.mainFile);
  EXPECT_EQ(docu.projectName, "Bottling Plant");
  EXPECT_EQ(docu.busType, "TCP");
  ASSERT_EQ(docu.overview.size(), 3u);
  EXPECT_EQ(docu.overview[0].name, "Line A & Press <1>");
  EXPECT_EQ(docu.overview[0].modules[2].name, "Tank <level>");
  ASSERT_EQ(docu.nodes.size(), 3u);
  const DocuNode& first = docu.nodes[0];
  EXPECT_EQ(first.info.front(), (std::pair<std::string, std::string>{"Node Name", "Line A & Press <1>"}));
  ASSERT_EQ(first.pictures.size(), 1u);
  EXPECT_TRUE(fs::exists(first.pictures[0]));
  // Module parameters are IO elements.
  ASSERT_EQ(first.ioParams.size(), 3u);
  EXPECT_EQ(first.ioParams[2].params[0].name, "Channel Enable");
  EXPECT_EQ(first.adapterEntries.size(), 1u);
  EXPECT_EQ(docu.nodes[1].ioEntries[0].channels.size(), 16u);
  EXPECT_EQ(docu.prjInquiry.size(), 7u);

  // The older element name of module parameters reads the same.
  std::string params = qmx::test::ReadFile(first.paramFile);
  params = qmx::rendaval::test::ReplaceAll(params, "<IO ", "<IO_PARA ");
  params = qmx::rendaval::test::ReplaceAll(params, "</IO>", "</IO_PARA>");
  qmx::test::WriteFile(first.paramFile, params);
  EXPECT_EQ(LoadDocuSet("PROJECT", set.mainFile).nodes[0].ioParams.size(), 3u);
}

TEST(ReportModel, ReadsKoreanText) {
  qmx::test::TempDir dir("rendaval");
  const DocuSet docu = LoadDocuSet("PROJECT", InstallSet("korean", dir.path()).mainFile);
  EXPECT_EQ(docu.projectName, "포장 라인");
  EXPECT_EQ(docu.nodes[0].adapters[0].modules[0].name, "비상 정지");
  EXPECT_EQ(docu.nodes[1].ioParams[0].name, "온도");
}

TEST(ReportModel, ChapterNumbersAndContentsByKind) {
  qmx::test::TempDir dir("rendaval");
  const auto project = InstallSet("project3", dir.path() / "p");
  std::vector<std::string> expected = {"Project Report", "Project Report\\1. Project Overview"};
  for (int k = 1; k <= 3; ++k) {
    const std::string chapter = "Project Report\\2." + std::to_string(k) + ". Node Overview";
    expected.push_back(chapter);
    for (const char* sub : {".1. Image View", ".2. Address Map", ".3. Parameters", ".4. Inquiry"})
      expected.push_back(chapter + "\\2." + std::to_string(k) + sub);
  }
  expected.push_back("Project Report\\3. Project Inquiry");
  EXPECT_EQ(JoinedToc(BuildPrintDocument(LoadDocuSet("PROJECT", project.mainFile))), expected);

  const auto na = InstallSet("na1", dir.path() / "n");
  const Document naDoc = BuildPrintDocument(LoadDocuSet("NA", na.mainFile));
  EXPECT_EQ(JoinedToc(naDoc), (std::vector<std::string>{
                                  "Network Adapter Report",
                                  "Network Adapter Report\\1.1. Node Overview",
                                  "Network Adapter Report\\1.1. Node Overview\\1.1.1. Image View",
                                  "Network Adapter Report\\1.1. Node Overview\\1.1.2. Address Map",
                                  "Network Adapter Report\\1.1. Node Overview\\1.1.3. Parameters",
                                  "Network Adapter Report\\1.1. Node Overview\\1.1.4. Inquiry",
                              }));
  EXPECT_EQ(std::get<CoverBlock>(naDoc.blocks[0]).title, "QMX410 Network Adapter Report");

  // An unknown kind keeps the designed cover caption, an empty report title and the "1." chapters.
  const Document other = BuildPrintDocument(LoadDocuSet("OTHER", project.mainFile));
  EXPECT_EQ(std::get<CoverBlock>(other.blocks[0]).title, "QMX410 Project Report");
  EXPECT_EQ(JoinedToc(other)[1], "\\1.1. Node Overview");
  EXPECT_EQ(JoinedToc(other).size(), 1u + 3 * 5);
}

TEST(ReportModel, RowColoursPicturesAndNumbers) {
  qmx::test::TempDir dir("rendaval");
  const DocuSet docu = LoadDocuSet("PROJECT", InstallSet("project3", dir.path()).mainFile);
  const Document doc = BuildPrintDocument(docu);

  // Channel rows alternate white / light yellow across all entries of one map.
  const std::vector<Rgb> channels = DataRowColours(TableAfter(doc, "2.1.2. Address Map"));
  ASSERT_EQ(channels.size(), 8u + 8 + 4);
  for (size_t i = 0; i < channels.size(); ++i) EXPECT_EQ(channels[i], i % 2 ? kLightYellow : kWhite) << i;
  // Parameter rows restart per chapter: the first is white.
  EXPECT_EQ(DataRowColours(TableAfter(doc, "2.2.3. Parameters")).front(), kWhite);

  // Module rows: the first of each adapter grey, then white; the adapter row
  // picture follows the model's first letter (an "R" model's is RNA.bmp).
  const TableBlock& overview = TableAfter(doc, "1. Project Overview");
  EXPECT_EQ(overview.rows[0].cells[0].picture, (docu.imagePath / "NA.bmp").string());
  EXPECT_EQ(overview.rows[1].background, kLightGrey);
  EXPECT_EQ(overview.rows[2].background, kWhite);
  EXPECT_EQ(overview.rows[1].cells[0].picture, (docu.imagePath / "NDI.bmp").string());
  EXPECT_EQ(overview.rows[4].cells[0].picture, (docu.imagePath / "NA.bmp").string());
  EXPECT_EQ(overview.rows[5].background, kLightGrey);
  DocuSet rModel = docu;
  rModel.overview[1].model = "R" + rModel.overview[1].model;
  EXPECT_EQ(TableAfter(BuildPrintDocument(rModel), "1. Project Overview").rows[4].cells[0].picture,
            (docu.imagePath / "RNA.bmp").string());

  // Parts lists are numbered from 1 in each table.
  for (const char* heading : {"2.1.4. Inquiry", "2.2.4. Inquiry", "3. Project Inquiry"}) {
    const TableBlock& items = TableAfter(doc, heading);
    for (size_t i = 0; i < items.rows.size(); ++i) EXPECT_EQ(items.rows[i].cells[0].text, std::to_string(i + 1));
  }
}

TEST(ReportModel, StationLimitAndMissingFiles) {
  qmx::test::TempDir dir("rendaval");
  const auto set = InstallSet("na1", dir.path());
  const std::string main = qmx::test::ReadFile(set.mainFile);
  const size_t start = main.find("\t\t<Node node_file");
  const std::string nodeLine = main.substr(start, main.find('\n', start) + 1 - start);
  auto withNodes = [&](int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += nodeLine;
    std::string text = main;
    text.replace(start, nodeLine.size(), lines);
    qmx::test::WriteFile(set.mainFile, text);
  };
  withNodes(256);
  EXPECT_EQ(LoadDocuSet("NA", set.mainFile).nodes.size(), 256u);
  withNodes(257);
  try {
    LoadDocuSet("NA", set.mainFile);
    FAIL() << "257 stations were accepted";
  } catch (const DocuError& e) {
    EXPECT_NE(std::string(e.what()).find("257"), std::string::npos) << e.what();
  }
  withNodes(1);
  fs::remove(dir.path() / "na20261209 091500_007map1.xml");
  try {
    LoadDocuSet("NA", set.mainFile);
    FAIL() << "a missing map file was accepted";
  } catch (const DocuError& e) {
    EXPECT_NE(std::string(e.what()).find("map1.xml"), std::string::npos) << e.what();
  }
  // A file far larger than documentation is, refused before it is read.
  qmx::test::WriteFile(dir.path() / "na20261209 091500_007map1.xml", "");
  fs::resize_file(dir.path() / "na20261209 091500_007map1.xml", 40u * 1024 * 1024);
  try {
    LoadDocuSet("NA", set.mainFile);
    FAIL() << "a 40 MB map file was read";
  } catch (const DocuError& e) {
    EXPECT_NE(std::string(e.what()).find("map1.xml is too large to be read: 41943040 bytes"), std::string::npos)
        << e.what();
  }
}

TEST(ReportModel, ProjectWithoutAdapters) {
  qmx::test::TempDir dir("rendaval");
  const auto set = InstallSet("project3", dir.path());
  // What the writer gives for a project without adapters.
  std::string main = qmx::test::ReadFile(set.mainFile);
  main = std::regex_replace(main, std::regex("\t\t<NetworkAdapter[^]*?</NetworkAdapter>\r\n"), "");
  main = std::regex_replace(main, std::regex("\t\t<Node [^\n]*\n"), "");
  main = qmx::rendaval::test::ReplaceAll(main, "<Node_Cnt>3<", "<Node_Cnt>0<");
  qmx::test::WriteFile(set.mainFile, main);
  std::string parts = qmx::test::ReadFile(dir.path() / "prj20261209 143005_042PrjInquiry.xml");
  parts = std::regex_replace(parts, std::regex("\t\t<Item [^\n]*\n"), "");
  qmx::test::WriteFile(dir.path() / "prj20261209 143005_042PrjInquiry.xml", parts);

  const DocuSet docu = LoadDocuSet("PROJECT", set.mainFile);
  EXPECT_TRUE(docu.overview.empty());
  EXPECT_TRUE(docu.nodes.empty());
  EXPECT_EQ(JoinedToc(BuildPrintDocument(docu)),
            (std::vector<std::string>{"Project Report", "Project Report\\1. Project Overview",
                                      "Project Report\\3. Project Inquiry"}));
  const ReshapeResult excel = ReshapeWorkbook(BuildExcelPages(docu));
  ASSERT_TRUE(excel.ok);
  ASSERT_EQ(excel.workbook.sheets.size(), 2u);
  EXPECT_EQ(excel.workbook.sheets[1].name, "3. Project Inquiry");
}

// ---- Excel pages and reshaping -------------------------------------------------------

TEST(ReportExcel, ProjectPagesReshapeIntoChapterSheets) {
  qmx::test::TempDir dir("rendaval");
  const auto set = InstallSet("project3", dir.path());
  // A fixed-I/O adapter brings channels of its own in its NA_IO entry: station 2 gets one.
  const fs::path map2 = dir.path() / "prj20261209 143005_042map2.xml";
  qmx::test::WriteFile(map2, qmx::rendaval::test::ReplaceAll(
                                 qmx::test::ReadFile(map2), "\t\t</NA_IO>",
                                 "\t\t\t<Channel type=\"AI\" channel_num=\"0\" size=\"16\" InputWordAddr=\"0x0009/00\" "
                                 "InputBitAddr=\"0x0090\" OutputWordAddr=\"\" OutputBitAddr=\"\"/>\r\n\t\t</NA_IO>"));
  const DocuSet docu = LoadDocuSet("PROJECT", set.mainFile);
  const Workbook pages = BuildExcelPages(docu);
  const ReshapeResult result = ReshapeWorkbook(pages);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_GT(result.absorbed, 0u);
  std::vector<std::string> names;
  for (const Sheet& s : result.workbook.sheets) names.push_back(s.name);
  std::vector<std::string> expected = {"1. Project Overview"};
  for (int k = 1; k <= 3; ++k)
    for (const char* t : {". Node Overview", ".1. Image View", ".2. Address Map", ".3. Parameters", ".4. Inquiry"})
      expected.push_back("2." + std::to_string(k) + t);
  expected.push_back("3. Project Inquiry");
  EXPECT_EQ(names, expected);
  EXPECT_EQ(pages.sheets.size(), expected.size() + result.absorbed);

  // The 66 input channels of station 2 (64 of its input modules, 2 of its
  // power module) span pages and end up in one sheet, empty addresses as one
  // blank.
  const Sheet& map = result.workbook.sheets[8];
  ASSERT_EQ(map.name, "2.2.2. Address Map");
  int inputs = 0, own = 0;
  for (size_t r = 1; r <= map.rows.size(); ++r)
    if (map.At(r, 2).text == "DI") {
      ++inputs;
      EXPECT_EQ(map.At(r, 6).text, " ");
    } else if (map.At(r, 2).text == "AI") {
      ++own;
      EXPECT_EQ(map.At(r, 6).text, "");  // the adapter's own channels are not padded
    }
  EXPECT_EQ(inputs, 66);
  EXPECT_EQ(own, 1);
  EXPECT_LT(map.At(1, 1).fontSize, kChapterFontLimit);

  // The rows that opened the continued pages go, the table closes up.
  size_t spacers = 0;
  for (size_t r = 2; r <= map.rows.size(); ++r) spacers += map.At(r, 1).fontSize == kContinuationFontSize;
  EXPECT_GT(spacers, 0u);
  Workbook gathered = result.workbook;
  DropContinuationSpacers(gathered);
  const Sheet& closed = gathered.sheets[8];
  EXPECT_EQ(closed.rows.size(), map.rows.size() - spacers);
  for (size_t r = 1; r <= closed.rows.size(); ++r) {
    bool empty = true;
    for (size_t c = 1; c <= 7; ++c) empty = empty && closed.At(r, c).text.empty();
    EXPECT_FALSE(empty) << "empty row " << r;
  }
}

namespace {

Sheet Page(const std::string& name, double firstFont, size_t markerRow, const std::string& tag) {
  Sheet s;
  s.name = name;
  s.Set(1, 1).fontSize = firstFont;
  if (firstFont < kChapterFontLimit) s.Set(1, 1).text = tag;
  for (size_t r = 2; r < markerRow; ++r) s.Set(r, 1).text = tag + "-" + std::to_string(r);
  if (markerRow) s.Set(markerRow, 1).text = kPageEndMarker;
  return s;
}

}  // namespace

TEST(ReportExcel, ReshapeRules) {
  Workbook wb;
  wb.sheets = {Page("Sheet1", 14, 3, "lead"),    // before the first chapter: untouched
               Page("Sheet2", 12, 5, "Chap"),    // chapter, marker at row 5
               Page("Sheet3", 14, 4, "a"),       // rows 1-3 land in rows 5-7
               Page("Sheet4", 14, 1, "b"),       // marker in row 1: nothing copied, still deleted
               Page("Sheet5", 14, 3, "c"),       // rows 1-2 land in rows 8-9
               Page("Sheet6", 14, 0, "d")};      // no marker: stays
  const ReshapeResult r = ReshapeWorkbook(wb);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.workbook.sheets.size(), 3u);
  EXPECT_EQ(r.workbook.sheets[0].name, "Sheet1");
  EXPECT_EQ(r.workbook.sheets[2].name, "Sheet6");
  const Sheet& chapter = r.workbook.sheets[1];
  EXPECT_EQ(chapter.name, "Chap");
  EXPECT_EQ(chapter.At(5, 1).fontSize, 14);  // row 1 of Sheet3 over the marker
  EXPECT_EQ(chapter.At(6, 1).text, "a-2");
  EXPECT_EQ(chapter.At(7, 1).text, "a-3");
  EXPECT_EQ(chapter.At(9, 1).text, "c-2");
  EXPECT_EQ(chapter.rows.size(), 9u);
  EXPECT_EQ(r.absorbed, 3u);
}

TEST(ReportExcel, ReshapeHasNoSheetOrRowLimit) {
  Workbook wb;
  wb.sheets.push_back(Page("Sheet1", 12, 150, "Big"));  // its marker lies past row 100
  for (int i = 0; i < 60; ++i) wb.sheets.push_back(Page("S" + std::to_string(i), 14, 120, "p" + std::to_string(i)));
  const ReshapeResult r = ReshapeWorkbook(wb);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.workbook.sheets.size(), 1u);
  EXPECT_EQ(r.absorbed, 60u);
  EXPECT_EQ(r.workbook.sheets[0].At(150 + 119 * 59 + 1, 1).text, "p59-2");

  // A chapter without a marker takes the rows below its last row.
  Workbook open;
  open.sheets = {Page("Sheet1", 12, 0, "Open"), Page("Sheet2", 14, 3, "x")};
  const ReshapeResult o = ReshapeWorkbook(open);
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.workbook.sheets[0].At(3, 1).text, "x-2");

  // A chapter name a workbook cannot hold leaves the pages as they were.
  Workbook bad;
  bad.sheets = {Page("Sheet1", 12, 3, "1: bad"), Page("Sheet2", 14, 3, "x")};
  const ReshapeResult b = ReshapeWorkbook(bad);
  EXPECT_FALSE(b.ok);
  EXPECT_EQ(b.workbook.sheets.size(), 2u);
  EXPECT_EQ(b.workbook.sheets[0].name, "Sheet1");
}

// ---- command line, checks and the end of the run ---------------------------------------

TEST(ReportRun, CommandLine) {
  EXPECT_EQ(SplitCommandLine(""), std::vector<std::string>{});
  EXPECT_EQ(SplitCommandLine("PROJECT*/tmp/~tmp/prj20261209 143005_042.xml"),
            (std::vector<std::string>{"PROJECT", "/tmp/~tmp/prj20261209 143005_042.xml"}));
  EXPECT_EQ(SplitCommandLine("NA*a*b").size(), 3u);
  EXPECT_EQ(SplitCommandLine("NA").size(), 1u);
  const char* argv[] = {"Rendaval", "NA*/tmp/na20261209", "091500_007.xml"};
  EXPECT_EQ(JoinArguments(3, argv), "NA*/tmp/na20261209 091500_007.xml");
}

TEST(ReportRun, ChecksBeforeTheRun) {
  const auto exists = [](const std::string& f) { return f == "/old.pdf" || f == "/old.xlsx"; };
  struct Case {
    FormState form;
    std::string confirmed;
    std::vector<std::string> messages;
    std::string question = {};
  } cases[] = {
      {{}, "", {}},
      {{true, true, false, false, ""}, "", {kNoPdfNameMessage}},
      {{false, false, true, false, ""}, "", {kNoExcelNameMessage}},
      {{false, false, true, false, "/old.xlsx"}, "", {kFileExistsMessage}},
      {{true, false, false, false, "/old.pdf"}, "", {}, "/old.pdf"},  // an existing PDF is a question
      {{true, false, false, false, "/old.pdf"}, "/old.pdf", {}},      // confirmed in the save dialog
      {{true, false, false, false, "/new.pdf"}, "", {}},
  };
  for (const Case& c : cases) {
    const RunOptions options = OptionsFromForm(c.form);
    EXPECT_EQ(CheckOptions(options, exists, c.confirmed), c.messages) << c.form.fileName;
    EXPECT_EQ(PdfTargetToConfirm(options, exists, c.confirmed), c.question) << c.form.fileName;
  }
  // The options come from the form of each press alone.
  const RunOptions second = OptionsFromForm({true, false, false, false, "/new.pdf"});
  EXPECT_FALSE(second.makeExcel);
  EXPECT_TRUE(second.excelFileName.empty());
}

TEST(ReportRun, TargetsTakeTheExtensionOfTheirOutput) {
  const auto pdf = Output::Pdf, excel = Output::Excel;
  struct Case {
    std::string name;
    Output output;
    std::string target;
    bool refused;
  } cases[] = {
      {"/r/plant", pdf, "/r/plant.pdf", false},           {"/r/plant", excel, "/r/plant.xlsx", false},
      {"/r/plant.PDF", pdf, "/r/plant.PDF", false},       {"/r/plant.", pdf, "/r/plant.pdf", false},
      {"/r/line 2.5", excel, "/r/line 2.5.xlsx", false},  {"/r/.pdf", pdf, "/r/.pdf.pdf", false},
      {"/r/plant.xlsx", pdf, "/r/plant.xlsx", true},      {"/r/plant.XLS", pdf, "/r/plant.XLS", true},
      {"/r/plant.pdf", excel, "/r/plant.pdf", true},      {"/r/plant.xls", excel, "/r/plant.xls", true},
      {"", pdf, "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WithExtension(c.name, c.output), c.target) << c.name;
    EXPECT_EQ(ExtensionRefusal(c.name, c.output).empty(), !c.refused) << c.name;
  }
  // The refusal says why, and the run does not start.
  const auto none = [](const std::string&) { return false; };
  EXPECT_EQ(CheckOptions(OptionsFromForm({false, false, true, false, "/r/plant.pdf"}), none, ""),
            std::vector<std::string>{"The name /r/plant.pdf is that of a PDF file; an Excel workbook is written as .xlsx."});
  EXPECT_EQ(CheckOptions(OptionsFromForm({true, false, false, false, "/r/plant.xlsx"}), none, ""),
            std::vector<std::string>{"The name /r/plant.xlsx is that of an Excel file; a PDF file ends in .pdf."});
  EXPECT_EQ(OptionsFromForm({true, false, false, false, "/r/plant"}).pdfFileName, "/r/plant.pdf");
}

TEST(ReportRun, EndsOnlyWhenEveryOutputIsDone) {
  using A = EndAction;
  enum Event { Print, Excel, Closed };
  struct Case {
    RunOptions options;
    std::vector<std::pair<Event, std::vector<A>>> steps;
  } cases[] = {
      {{}, {{Print, {A::ShowViewer}}, {Closed, {A::EndProgram}}}},
      {{true, true, false, false, "a.pdf", ""}, {{Print, {A::OpenPdf, A::EndProgram}}}},
      {{true, false, false, false, "a.pdf", ""}, {{Print, {A::ShowViewer}}, {Closed, {A::EndProgram}}}},
      // Excel without viewing: the workbook's end does not end the shown report.
      {{false, false, true, false, "", "a.xlsx"}, {{Excel, {}}, {Print, {A::ShowViewer}}, {Closed, {A::EndProgram}}}},
      {{false, false, true, false, "", "a.xlsx"}, {{Print, {A::ShowViewer}}, {Closed, {}}, {Excel, {A::EndProgram}}}},
      {{false, false, true, true, "", "a.xlsx"}, {{Excel, {A::OpenExcel}}, {Print, {A::EndProgram}}}},
      {{false, false, true, true, "", "a.xlsx"}, {{Print, {}}, {Excel, {A::OpenExcel, A::EndProgram}}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    RunController run(c.options);
    for (const auto& [event, expected] : c.steps) {
      const auto actions = event == Print ? run.PrintCompleted() : event == Excel ? run.ExcelCompleted() : run.ViewerClosed();
      EXPECT_EQ(actions, expected) << "case " << n << " event " << event;
    }
    ++n;
  }
  int value = 0;
  for (int second = 1; second <= 30; ++second) {
    value = NextProgress(value);
    EXPECT_EQ(value, std::min(100, 5 * second));
  }
}
