// The documentation export on stations of the shipped catalogue: golden
// files with a fixed clock, read back by the report program's own reader and
// print tree; failures of a station's files; the picture rows; the parts list.
#include "tests/frame_docexport/docexport_fixture.h"

#include "app/frame/export/DocExport.h"
#include "app/frame/export/InquiryList.h"
#include "report/core/DocuSet.h"
#include "report/core/ReportBuilders.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using docexport_test::CatalogueTest;
using qmx::docu::DocExporter;
using qmx::docu::LocalTime;
using qmx::docu::Picture;

namespace {

constexpr LocalTime kClock{2026, 12, 9, 14, 30, 5, 42};
constexpr const char* kStem = "prj20261209 143005_042";

// Width and height from a bitmap file's header.
std::pair<int, int> BitmapSize(const fs::path& path) {
  const std::string bytes = qmx::test::ReadFile(path);
  auto le32 = [&](size_t at) {
    return static_cast<int>(static_cast<uint8_t>(bytes.at(at)) | (static_cast<uint8_t>(bytes.at(at + 1)) << 8) |
                            (static_cast<uint8_t>(bytes.at(at + 2)) << 16) |
                            (static_cast<uint8_t>(bytes.at(at + 3)) << 24));
  };
  return {le32(18), le32(22)};
}

// The print tree of the report program over what was read: one node chapter
// per station, and every picture it prints exists.
void ExpectPrintable(const qmx::rendaval::DocuSet& set, size_t stations) {
  const qmx::report::Document printed = qmx::rendaval::BuildPrintDocument(set);
  size_t pictures = 0, nodeChapters = 0;
  for (const qmx::report::Block& block : printed.blocks) {
    if (const auto* picture = std::get_if<qmx::report::PictureBlock>(&block)) {
      ++pictures;
      EXPECT_TRUE(fs::exists(picture->path)) << picture->path;
    }
  }
  for (const auto& path : qmx::report::TocPaths(printed))
    if (path.size() == 2 && path[1].find("Node Overview") != std::string::npos) ++nodeChapters;
  EXPECT_GE(pictures, stations);
  // The Excel tree and its reshaping take the same records.
  EXPECT_TRUE(qmx::rendaval::ReshapeWorkbook(qmx::rendaval::BuildExcelPages(set)).ok);
  EXPECT_EQ(nodeChapters, stations);
}

class DocExport : public CatalogueTest {
protected:
  DocExporter Exporter(const std::string& language = "Eng") {
    DocExporter exporter(ws, textIds);
    exporter.language = language;
    exporter.imageDir = qmx::Paths().imageDir;
    exporter.clock = [] { return kClock; };
    return exporter;
  }
  // A project of two TCP stations; names carry the characters XML escapes.
  CProjectUsr* TwoStations() {
    CProjectUsr* project = Project("Line & <Co>");
    first = Station("Press \"A\" & B", "QMX-4101", {"QMX-1808", "QMX-2808", "QMX-3404"});
    second = Station("Cell 2", "QMX-4101", {"QMX-1808"});
    first->ipAddress = "192.168.0.10";
    second->ipAddress = "192.168.0.11";
    Select(project);
    return project;
  }

  qmx::test::TempDir tmp{"docexport"};
  CNAUsr* first = nullptr;
  CNAUsr* second = nullptr;
};

TEST_F(DocExport, ProjectFilesMatchTheGoldenFilesAndTheReportReadsThem) {
  TwoStations();
  DocExporter exporter = Exporter();
  std::string mainFile;
  ASSERT_EQ(exporter.SavePrjToXmlForDocu(tmp.path().string(), mainFile), 1);
  EXPECT_EQ(mainFile, std::string(kStem) + ".xml");
  const std::string dir = tmp.path().string();
  for (const char* name : {"", "PrjInquiry", "node1", "map1", "param1", "inquiry1", "node2", "map2", "param2",
                           "inquiry2"})
    ExpectGolden(tmp / (std::string(kStem) + name + ".xml"), std::string("project_") + (*name ? name : "main") + ".xml",
                 dir);
  // One picture row per station: adapter 64 px and modules 32 px wide, 200 high.
  EXPECT_EQ(BitmapSize(tmp / (std::string(kStem) + "node1_01.bmp")), std::make_pair(64 + 3 * 32 + 20, 220));
  EXPECT_EQ(BitmapSize(tmp / (std::string(kStem) + "node2_01.bmp")), std::make_pair(64 + 32 + 20, 220));
  EXPECT_FALSE(fs::exists(tmp / (std::string(kStem) + "node1_02.bmp")));

  // The report program's reader and its print tree take what was written.
  const qmx::rendaval::DocuSet set = qmx::rendaval::LoadDocuSet("PROJECT", tmp / mainFile);
  EXPECT_EQ(set.projectName, "Line & <Co>");
  EXPECT_EQ(set.date, "12/09/2026");
  EXPECT_EQ(set.imagePath, fs::path(qmx::Paths().imageDir));
  ASSERT_EQ(set.overview.size(), 2u);
  EXPECT_EQ(set.overview[0].name, "Press \"A\" & B");
  ASSERT_EQ(set.overview[0].modules.size(), 3u);
  EXPECT_EQ(set.overview[0].modules[2].type, "NAI");
  EXPECT_EQ(set.overview[0].modules[2].slot, "3");
  ASSERT_EQ(set.nodes.size(), 2u);
  const qmx::rendaval::DocuNode& node = set.nodes[0];
  ASSERT_EQ(node.pictures.size(), 1u);
  EXPECT_TRUE(fs::exists(node.pictures[0]));
  ASSERT_EQ(node.dimensions.size(), 1u);
  EXPECT_EQ(node.dimensions[0].length, "280");  // 70 mm each
  ASSERT_EQ(node.info.size(), 5u);
  EXPECT_EQ(node.info[0].second, "Press \"A\" & B");
  EXPECT_EQ(node.ioParams.size(), 3u);
  ASSERT_EQ(node.adapterParams.size(), 1u);
  EXPECT_FALSE(node.adapterParams[0].params.empty());
  ASSERT_EQ(set.prjInquiry.size(), 4u);
  EXPECT_EQ(set.prjInquiry[0].model, "QMX-1808");
  EXPECT_EQ(set.prjInquiry[0].amount, "2");
  EXPECT_EQ(set.prjInquiry[3].model, "QMX-4101");
  EXPECT_EQ(set.prjInquiry[3].amount, "2");
  // The image folder the report takes its adapter and module-type pictures from.
  for (const char* picture : {"NA.bmp", "RNA.bmp", "NDI.bmp", "NDO.bmp", "NAI.bmp"})
    EXPECT_TRUE(fs::exists(set.imagePath / picture)) << picture;
  ExpectPrintable(set, 2);
}

TEST_F(DocExport, AdapterFilesMatchTheGoldenFilesAndTheReportReadsThem) {
  TwoStations();
  // Korean text goes out in EUC-KR; a character EUC-KR lacks as a reference.
  second->SetName("충전기 2호 ő");
  Select(second);
  DocExporter exporter = Exporter("Kor");
  std::string mainFile;
  ASSERT_EQ(exporter.SaveSelNaToXmlForDocu(tmp.path().string(), mainFile), 1);
  EXPECT_EQ(mainFile, "na20261209 143005_042.xml");
  for (const char* name : {"", "node1", "inquiry1"})
    ExpectGolden(tmp / ("na20261209 143005_042" + std::string(name) + ".xml"),
                 std::string("adapter_") + (*name ? name : "main") + ".xml", tmp.path().string());
  EXPECT_FALSE(fs::exists(tmp / "na20261209 143005_042PrjInquiry.xml"));

  const qmx::rendaval::DocuSet set = qmx::rendaval::LoadDocuSet("NA", tmp / mainFile);
  EXPECT_EQ(set.date, "2026/12/09");
  ASSERT_EQ(set.nodes.size(), 1u);
  ASSERT_EQ(set.nodes[0].adapters.size(), 1u);
  EXPECT_EQ(set.nodes[0].adapters[0].name, "충전기 2호 ő");
  EXPECT_NE(qmx::test::ReadFile(tmp / "na20261209 143005_042node1.xml").find("\xC3\xE6\xC0\xFC\xB1\xE2 2\xC8\xA3 &#337;"),
            std::string::npos);
  EXPECT_EQ(set.nodes[0].inquiry.size(), 2u);
  ExpectPrintable(set, 1);
}

TEST_F(DocExport, AStationBoundToItsDriverWritesItsAddressMap) {
  TwoStations();
  // The staged driver library computes the map from the module list alone.
  // The type reaches the stations with the line their project hands them.
  ws.Projects().front()->SetCommType("TCP");
  first->SetCommSettings("127.0.0.1", "", "", "1");
  ASSERT_TRUE(first->HasDriver());
  first->moduleListChanged = 1;  // as the structure commands leave it
  DocExporter exporter = Exporter();
  std::string mainFile;
  ASSERT_EQ(exporter.SavePrjToXmlForDocu(tmp.path().string(), mainFile), 1);
  const qmx::rendaval::DocuSet set = qmx::rendaval::LoadDocuSet("PROJECT", tmp / mainFile);
  const qmx::rendaval::DocuNode& node = set.nodes.at(0);
  ASSERT_EQ(node.adapterEntries.size(), 1u);
  EXPECT_EQ(node.adapterEntries[0].name, "Press \"A\" & B");
  ASSERT_EQ(node.ioEntries.size(), 3u);
  EXPECT_EQ(node.ioEntries[0].name, "QMX-1808 #1");
  ASSERT_EQ(node.ioEntries[0].channels.size(), 8u);  // 8 digital inputs
  for (const auto& channel : node.ioEntries[0].channels) {
    EXPECT_EQ(channel.size, "1");
    EXPECT_EQ(channel.inputWord.size(), 9u) << channel.inputWord;  // 0xWWWW/BB
    EXPECT_EQ(channel.inputBit.size(), 6u) << channel.inputBit;    // 0xBBBB
    EXPECT_EQ(channel.outputWord, "");
  }
  EXPECT_EQ(node.ioEntries[0].channels[7].number, "7");
  ASSERT_EQ(node.ioEntries[1].channels.size(), 8u);  // 8 digital outputs
  EXPECT_EQ(node.ioEntries[1].channels[0].inputWord, "");
  EXPECT_EQ(node.ioEntries[1].channels[0].outputWord.substr(0, 2), "0x");
  EXPECT_TRUE(set.nodes.at(1).ioEntries.empty());  // the other station has no driver
  first->UnloadCommunicateDriver();
}

TEST_F(DocExport, AFailedStationFailsTheWholeDocumentation) {
  TwoStations();
  // The second station's map file cannot be made.
  fs::create_directories(tmp / (std::string(kStem) + "map2.xml"));
  DocExporter exporter = Exporter();
  std::string mainFile;
  EXPECT_EQ(exporter.SavePrjToXmlForDocu(tmp.path().string(), mainFile), 0);
  EXPECT_FALSE(fs::exists(tmp / (std::string(kStem) + ".xml")));
  EXPECT_FALSE(fs::exists(tmp / (std::string(kStem) + "node2.xml")));
  const std::string text = "SaveNodeToXmlForDocuEx. Cannot open the file. Check if using " +
                           (tmp / (std::string(kStem) + "map2.xml")).string();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes[0], text);
  EXPECT_TRUE(log.Has(text, qmx::kLogError));
  EXPECT_TRUE(log.Has("[Error Code: -1040] Cannot write the files of network adapter Cell 2.", qmx::kLogError));

  // An adapter's main file that cannot be made: the save-failure line alone.
  fs::create_directories(tmp / "na20261209 143005_042.xml");
  Select(first);
  EXPECT_EQ(exporter.SaveSelNaToXmlForDocu(tmp.path().string(), mainFile), 0);
  EXPECT_EQ(log.Lines(qmx::kLogError).back(), "[Error Code: -1003] Cannot open the file during saving. Check if the "
            "file exists or using. File: " + (tmp / "na20261209 143005_042.xml").string() + ".");
}

TEST_F(DocExport, MoreStationsThanTheReportTakesAreRefusedBeforeAnythingIsWritten) {
  CProjectUsr* project = Project("Big");
  for (size_t i = 0; i <= qmx::docu::kMaxDocuNodes; ++i) {
    Select(project);
    TreeItem item = kNoTreeItem;
    ASSERT_NE(ws.CreateNA("N" + std::to_string(i), "QMX-4101", item, nullptr), nullptr);
  }
  Select(project);
  DocExporter exporter = Exporter();
  std::string mainFile;
  EXPECT_EQ(exporter.SavePrjToXmlForDocu(tmp.path().string(), mainFile), 0);
  EXPECT_TRUE(fs::is_empty(tmp.path()));
  EXPECT_TRUE(log.Has("[Error Code: -1040] The project has 257 network adapters; a report takes at most 256.",
                      qmx::kLogError));
}

TEST_F(DocExport, AProjectWithoutAdaptersListsNoStation) {
  Select(Project("Empty"));
  DocExporter exporter = Exporter();
  std::string mainFile;
  ASSERT_EQ(exporter.SavePrjToXmlForDocu(tmp.path().string(), mainFile), 1);
  const std::string main = qmx::test::ReadFile(tmp / mainFile);
  EXPECT_NE(main.find("\t\t<Node_Cnt>0</Node_Cnt>\r\n\t</PROJECT_VIEW>\r\n\t<NODE_SUB"), std::string::npos);
  EXPECT_NE(main.find("\">\r\n\t</NODE_SUB>\r\n</PROJECT>\r\n"), std::string::npos);
  const std::string inquiry = qmx::test::ReadFile(tmp / (std::string(kStem) + "PrjInquiry.xml"));
  EXPECT_NE(inquiry.find("\t<INQUIRY_VIEW>\r\n\t</INQUIRY_VIEW>\r\n</PROJECT>\r\n"), std::string::npos);
  EXPECT_EQ(qmx::rendaval::LoadDocuSet("PROJECT", tmp / mainFile).nodes.size(), 0u);
}

TEST_F(DocExport, AMissingPictureIsLeftOutAndTheTallestSetsTheRowHeight) {
  TwoStations();
  DocExporter exporter = Exporter();
  // The digital output module has no picture; the analog input module's is 260 high.
  exporter.loadPicture = [](const fs::path& path, Picture& picture, std::string& error) {
    const std::string name = path.filename().string();
    if (name == "QMX-2808.bmp") {
      error = "missing";
      return false;
    }
    picture.width = name == "QMX-4101.bmp" ? 64 : 32;
    picture.height = name == "QMX-3404.bmp" ? 260 : 200;
    picture.pixels.assign(static_cast<size_t>(picture.width * picture.height), 0x123456u);
    return true;
  };
  int rows = 0;
  std::vector<std::string> names;
  const std::string pattern = (tmp / "st_00.bmp").string();
  ASSERT_EQ(exporter.SaveNAIOsToBmp(tmp.path().string(), pattern, 580, rows, ws.tree().FindItem(first), &names), 1);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(names, std::vector<std::string>{"st_01.bmp"});
  EXPECT_EQ(BitmapSize(tmp / "st_01.bmp"), std::make_pair(64 + 32 + 32 + 20, 260 + 20));
  EXPECT_TRUE(log.Has("[Error Code: -1016] Cannot load module's graph image. " + qmx::Paths().imageDir +
                          "/QMX-2808.bmp",
                      qmx::kLogError));
  // Not under an adapter.
  EXPECT_EQ(exporter.SaveNAIOsToBmp(tmp.path().string(), pattern, 580, rows, kNoTreeItem), 0);
}

TEST(DocPictures, RowsBreakBeforeTheLimitAndAWidePictureStandsAlone) {
  std::vector<Picture> pictures;
  for (int width : {300, 200, 100, 600, 50}) pictures.push_back(Picture{width, 1, {}});
  EXPECT_EQ(qmx::docu::LayOutPictureRows(pictures, 580),
            (std::vector<std::vector<size_t>>{{0, 1}, {2}, {3}, {4}}));
  EXPECT_TRUE(qmx::docu::LayOutPictureRows({}, 580).empty());
}

TEST(DocPictures, ARowIsWhiteWithThePicturesFromTenTen) {
  const Picture low{2, 3, std::vector<uint32_t>(6, 0xFF0000u)};
  const Picture tall{1, 5, std::vector<uint32_t>(5, 0x0000FFu)};
  const Picture row = qmx::docu::ComposePictureRow({&low, &tall});
  ASSERT_EQ(row.width, 2 + 1 + 20);
  ASSERT_EQ(row.height, 5 + 20);
  auto at = [&](int x, int y) { return row.pixels[static_cast<size_t>(y * row.width + x)]; };
  EXPECT_EQ(at(10, 10), 0xFF0000u);
  EXPECT_EQ(at(11, 12), 0xFF0000u);
  EXPECT_EQ(at(10, 13), 0xFFFFFFu);  // below the low picture
  EXPECT_EQ(at(12, 14), 0x0000FFu);  // the tall one is not cut
  EXPECT_EQ(at(9, 10), 0xFFFFFFu);
  EXPECT_EQ(at(13, 10), 0xFFFFFFu);
}

TEST(DocPictures, TheShippedBitmapsLoad) {
  Picture picture;
  std::string error;
  ASSERT_TRUE(qmx::docu::LoadBitmapFile(qmx::test::DistDir() / "Image" / "QMX-4101.bmp", picture, error)) << error;
  EXPECT_EQ(picture.width, 64);
  EXPECT_EQ(picture.height, 200);
  EXPECT_FALSE(qmx::docu::LoadBitmapFile(qmx::test::DistDir() / "QMX410Tools.xml", picture, error));
  // Far larger than a picture: refused before it is read.
  qmx::test::TempDir dir("qmx-pictures");
  qmx::test::WriteFile(dir / "huge.bmp", "BM");
  fs::resize_file(dir / "huge.bmp", 40u * 1024 * 1024);  // sparse
  EXPECT_FALSE(qmx::docu::LoadBitmapFile(dir / "huge.bmp", picture, error));
  EXPECT_NE(error.find("huge.bmp is too large to be read: 41943040 bytes"), std::string::npos) << error;
  // One-bit and true-colour pictures (written by ImageMagick), bottom-up rows.
  const fs::path corpus = qmx::test::SourcePath("tests/frame_docexport/fuzz/corpus");
  ASSERT_TRUE(qmx::docu::LoadBitmapFile(corpus / "mono1.bmp", picture, error)) << error;
  ASSERT_EQ(picture.pixels.size(), 15u);
  EXPECT_EQ(picture.pixels[1 * 5 + 1], 0xFFFFFFu);
  EXPECT_EQ(picture.pixels[0], 0u);
  EXPECT_EQ(picture.pixels[2 * 5 + 4], 0u);
  ASSERT_TRUE(qmx::docu::LoadBitmapFile(corpus / "rgb24.bmp", picture, error)) << error;
  EXPECT_EQ(picture.pixels, std::vector<uint32_t>(6, 0xFF0000u));
  // Cut short: no picture.
  const std::string whole = qmx::test::ReadFile(corpus / "palette8.bmp");
  EXPECT_FALSE(qmx::docu::ReadBitmap(std::string_view(whole).substr(0, whole.size() - 1), picture, error));
  EXPECT_EQ(error, "the pixels are cut short");
}

// ---- the parts list ---------------------------------------------------------------

class Inquiry : public CatalogueTest {};

TEST_F(Inquiry, CountsPerModelSortedByModelName) {
  CProjectUsr* project = Project("P");
  CNAUsr* a = Station("A", "QMX-4101", {"QMX-3404", "QMX-1808"});
  Station("B", "QMX-4101", {"QMX-1808", "QMX-1808"});
  Select(project);
  InquiryList list;
  ASSERT_EQ(GetInquiryList(ws, "project", list, 0), 1);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].modelName, "QMX-1808");
  EXPECT_EQ(list[0].count, 3);
  EXPECT_EQ(list[0].orderNumber, ws.ModulesOf(*a)[1]->GetOrderNumber());
  EXPECT_EQ(list[1].modelName, "QMX-3404");
  EXPECT_EQ(list[1].count, 1);
  EXPECT_EQ(list[2].modelName, "QMX-4101");
  EXPECT_EQ(list[2].count, 2);
  EXPECT_EQ(list[2].helpLink, a->GetHelpLink());

  // The adapter scope: the selected adapter (or the adapter above a module).
  ws.tree().SelectItem(ws.tree().FindItem(ws.ModulesOf(*a)[0]));
  ASSERT_EQ(GetInquiryList(ws, "NA", list, 0), 1);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].count, 1);
}

TEST_F(Inquiry, ScopesThatFindNothing) {
  InquiryList list{InquiryItem{"stale", "", 1, ""}};
  EXPECT_EQ(GetInquiryList(ws, "PROJECT", list, 0), 0);
  EXPECT_TRUE(list.empty());
  Select(Project("P"));
  EXPECT_EQ(GetInquiryList(ws, "NA", list, 0), 0);
  ASSERT_EQ(GetInquiryList(ws, "PROJECT", list, 0), 1);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(GetInquiryList(ws, "MODULE", list, 0), 0);
  EXPECT_TRUE(log.Has("[Bug] Undefined scope type. May be bug. Type: MODULE. Func: GetInquiryList", qmx::kLogError));
}

// Objects whose model names differ only in case stay two entries, side by side
// in the order they first appeared.
class NamedObject : public Wrapper {
public:
  explicit NamedObject(std::string model) : Wrapper("IO"), model_(std::move(model)) {}
  std::string GetModelName() const override { return model_; }
  std::string GetDescription() const override { return {}; }

private:
  std::string model_;
};

TEST(InquiryCounting, CaseMattersForTheKeyButNotForTheOrder) {
  InquiryCounter counter;
  for (const char* model : {"b-2", "A-1", "B-2", "a-1", "b-2", "C"}) counter.Count(NamedObject(model));
  const InquiryList list = counter.Sorted();
  std::vector<std::pair<std::string, int>> got;
  for (const InquiryItem& item : list) got.emplace_back(item.modelName, item.count);
  EXPECT_EQ(got, (std::vector<std::pair<std::string, int>>{{"A-1", 1}, {"a-1", 1}, {"b-2", 2}, {"B-2", 1}, {"C", 1}}));
}

}  // namespace
