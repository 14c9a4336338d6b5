// The report's outputs checked by independent readers (poppler's pdftotext
// and pdfinfo for the PDF, openpyxl for the workbook), and the start-up form
// driven as a user would, with scripted boxes and a recording launcher.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTreeWidget>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <set>

#include "platform/os/os.h"
#include "platform/report/report_render.h"
#include "platform/report/page_view.h"
#include "platform/report/report_viewer.h"
#include "platform/toolkit/message_box.h"
#include "report/MainForm.h"
#include "report/core/ReportBuilders.h"
#include "tests/report/big_docu.h"
#include "tests/report/fixtures.h"
#include "tests/report/output_checks.h"
#include "tests/support/access_audit.h"

namespace fs = std::filesystem;
using namespace qmx::rendaval;
using qmx::rendaval::test::FilesIn;
using qmx::rendaval::test::InstallSet;
using qmx::rendaval::test::Quote;
using qmx::rendaval::test::Shell;

namespace {

// Pictures of the pages for a person to look at, in the build folder.
void SavePagePictures(const fs::path& pdf, const std::string& name) {
  const fs::path folder = fs::current_path() / "report_pages";
  fs::create_directories(folder);
  fs::copy_file(pdf, folder / (name + ".pdf"), fs::copy_options::overwrite_existing);
  Shell("pdftoppm -png -r 60 " + Quote(pdf) + " " + Quote(folder / name));
}

// A window's picture in the build folder, and the keyboard and screen-reader walk over it.
void Picture(QWidget& window, const char* file) {
  window.grab().save(QString::fromStdString((fs::current_path() / file).string()));
  EXPECT_EQ(qmx::test::AuditAccess(&window), std::vector<std::string>{}) << file;
}

fs::path WritePrintReport(const std::string& set, const std::string& kind, const fs::path& folder) {
  const auto installed = InstallSet(set, folder);
  const auto laid = qmx::report::LayOut(BuildPrintDocument(LoadDocuSet(kind, installed.mainFile)));
  const fs::path pdf = folder / "report.pdf";
  std::string why;
  EXPECT_TRUE(qmx::report::WritePdf(laid, pdf.string(), &why)) << why;
  return pdf;
}

}  // namespace

TEST(ReportPdf, ProjectReportReadsBackInOrder) {
  qmx::test::TempDir dir("rendaval");
  const fs::path pdf = WritePrintReport("project3", "PROJECT", dir.path());
  SavePagePictures(pdf, "project3");

  const std::string info = Shell("pdfinfo " + Quote(pdf));
  std::smatch m;
  ASSERT_TRUE(std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)"))) << info;
  const int pages = std::stoi(m[1]);
  EXPECT_GE(pages, 18);
  EXPECT_TRUE(std::regex_search(info, std::regex("Title:\\s+QMX410 documentation\n"))) << info;

  const std::string text = Shell("pdftotext -layout " + Quote(pdf) + " -");
  size_t at = 0;
  std::vector<std::string> titles = {"QMX410 Project Report", "1. Project Overview"};
  for (int k = 1; k <= 3; ++k)
    for (const char* t : {". Node Overview", ".1. Image View", ".2. Address Map", ".3. Parameters", ".4. Inquiry"})
      titles.push_back("2." + std::to_string(k) + t);
  titles.push_back("3. Project Inquiry");
  for (const std::string& title : titles) {
    const size_t found = text.find(title, at);
    ASSERT_NE(found, std::string::npos) << "title out of order or missing: " << title;
    at = found;
  }
  for (int page = 1; page <= pages; ++page)
    EXPECT_NE(text.find("Page " + std::to_string(page) + " of " + std::to_string(pages)), std::string::npos) << page;
  EXPECT_EQ(text.find("Page " + std::to_string(pages + 1) + " of"), std::string::npos);

  // The printer road scales the same pages to the printer's resolution.
  const fs::path printed = dir.path() / "printed.pdf";
  {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(printed.string()));
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setFullPage(true);
    QPainter painter(&printer);
    qmx::report::PaintAllPages(painter, printer, qmx::report::LayOut(BuildPrintDocument(
                                                     LoadDocuSet("PROJECT", dir.path() / "prj20261209 143005_042.xml"))));
  }
  const std::string printedText = Shell("pdftotext -layout " + Quote(printed) + " -");
  EXPECT_NE(printedText.find("Page " + std::to_string(pages) + " of " + std::to_string(pages)), std::string::npos);
  EXPECT_TRUE(std::regex_search(printedText, std::regex("15\\s+DI\\s+1\\s+0x0004/0F\\s+0x004F")));
  // Table rows: names with markup characters (a description on two lines, read
  // in the order of the text), channel addresses, a parts-list row.
  const std::string raw = Shell("pdftotext -raw " + Quote(pdf) + " -");
  EXPECT_TRUE(std::regex_search(
      raw, std::regex("Line A & Press <1>\\s+QMX-4101\\s+Modbus TCP network adapter, two\\s+Ethernet ports")));
  EXPECT_TRUE(std::regex_search(text, std::regex("15\\s+DI\\s+1\\s+0x0004/0F\\s+0x004F")));
  EXPECT_TRUE(std::regex_search(text, std::regex("1\\s+QMX-1808\\s+QMX1808-0000\\s+1")));
}

TEST(ReportPdf, KoreanTextAndAdapterReport) {
  qmx::test::TempDir dir("rendaval");
  const fs::path korean = WritePrintReport("korean", "PROJECT", dir.path() / "k");
  SavePagePictures(korean, "korean");
  const std::string text = Shell("pdftotext -layout " + Quote(korean) + " -");
  for (const char* word : {"포장 라인", "충전기 1호", "비상 정지", "온도"})
    EXPECT_NE(text.find(word), std::string::npos) << word;

  const fs::path na = WritePrintReport("na1", "NA", dir.path() / "n");
  SavePagePictures(na, "na1");
  const std::string naText = Shell("pdftotext -layout " + Quote(na) + " -");
  EXPECT_NE(naText.find("QMX410 Network Adapter Report"), std::string::npos);
  EXPECT_NE(naText.find("1.1.4. Inquiry"), std::string::npos);
  EXPECT_NE(naText.find("filler"), std::string::npos);  // no "fi" ligature in the text read back
  EXPECT_EQ(naText.find("Project Overview"), std::string::npos);
}

TEST(ReportPdf, ALongProjectNameEndsInDotsInThePageHeader) {
  qmx::test::TempDir dir("rendaval");
  const auto set = InstallSet("na1", dir.path());
  std::string name;
  for (int i = 1; i <= 12; ++i) name += "Packaging hall " + std::to_string(i) + " ";
  name += "end";
  qmx::test::WriteFile(set.mainFile, qmx::rendaval::test::ReplaceAll(qmx::test::ReadFile(set.mainFile),
                                                                     "name=\"Cell 7\"", "name=\"" + name + "\""));
  const auto laid = qmx::report::LayOut(BuildPrintDocument(LoadDocuSet("NA", set.mainFile)));
  const fs::path pdf = dir.path() / "report.pdf";
  std::string why;
  ASSERT_TRUE(qmx::report::WritePdf(laid, pdf.string(), &why)) << why;
  const std::string header = Shell("pdftotext -f 2 -l 2 -raw " + Quote(pdf) + " - | grep \"Report - \"");
  EXPECT_EQ(header.rfind("Network Adapter Report - Packaging hall 1 Packaging hall 2", 0), 0u) << header;
  EXPECT_TRUE(std::regex_search(header, std::regex("[a-z0-9]\\.\\.\\.\n$"))) << header;
  EXPECT_EQ(header.find("end"), std::string::npos) << header;
  // The cover keeps the whole name.
  const std::string cover = Shell("pdftotext -f 1 -l 1 " + Quote(pdf) + " -");
  EXPECT_NE(cover.find("end"), std::string::npos);
}

TEST(ReportPdf, MissingOrUnreadablePicturesAreNamedInTheirPlace) {
  qmx::test::TempDir dir("rendaval");
  const auto set = InstallSet("project3", dir.path());
  // Station 1's picture is gone, station 2's is cut after its header, and a
  // module of station 3 has a category without a picture.
  const fs::path gone = dir.path() / "prj20261209 143005_042node1_01.bmp";
  const fs::path cut = dir.path() / "prj20261209 143005_042node2_01.bmp";
  fs::remove(gone);
  fs::resize_file(cut, 200);
  const fs::path node3 = dir.path() / "prj20261209 143005_042node3.xml";
  qmx::test::WriteFile(node3, qmx::rendaval::test::ReplaceAll(qmx::test::ReadFile(node3), "type=\"NAO\"", "type=\"NXX\""));
  const DocuSet docu = LoadDocuSet("PROJECT", set.mainFile);

  const fs::path pdf = dir.path() / "report.pdf";
  std::string why;
  ASSERT_TRUE(qmx::report::WritePdf(qmx::report::LayOut(BuildPrintDocument(docu)), pdf.string(), &why)) << why;
  SavePagePictures(pdf, "missing_pictures");
  const std::string text = Shell("pdftotext -raw " + Quote(pdf) + " -");
  EXPECT_NE(text.find("2.1.1. Image View\nPicture not found: " + gone.string()), std::string::npos) << text;
  EXPECT_NE(text.find("2.2.1. Image View\nPicture cannot be read: " + cut.string()), std::string::npos);
  EXPECT_TRUE(std::regex_search(text, std::regex("Picture\\s+not\\s+found:\\s+NXX\\.bmp"))) << "the module's note";

  const fs::path xlsx = dir.path() / "report.xlsx";
  ASSERT_TRUE(qmx::report::WriteXlsx(ReshapeWorkbook(BuildExcelPages(docu)).workbook, xlsx.string(), &why)) << why;
  const std::string cells =
      Shell("/usr/bin/python3 -c \"import openpyxl,sys; wb=openpyxl.load_workbook(sys.argv[1]); "
            "print(wb['2.1.1. Image View']['A2'].value); print(wb['2.2.1. Image View']['A2'].value)\" " +
            Quote(xlsx) + " 2>&1");
  EXPECT_EQ(cells, "Picture not found: " + gone.string() + "\nPicture cannot be read: " + cut.string() + "\n");
}

TEST(ReportXlsx, ReshapedWorkbookReadsBack) {
  qmx::test::TempDir dir("rendaval");
  const auto installed = InstallSet("project3", dir.path());
  ReshapeResult reshaped = ReshapeWorkbook(BuildExcelPages(LoadDocuSet("PROJECT", installed.mainFile)));
  ASSERT_TRUE(reshaped.ok);
  DropContinuationSpacers(reshaped.workbook);
  const fs::path xlsx = dir.path() / "report.xlsx";
  std::string why;
  ASSERT_TRUE(qmx::report::WriteXlsx(reshaped.workbook, xlsx.string(), &why)) << why;
  const std::string check = Shell("/usr/bin/python3 " + Quote(qmx::test::SourcePath("tests/report/check_xlsx.py")) +
                                " " + Quote(xlsx) + " 2>&1");
  EXPECT_EQ(check, "OK\n");
  fs::create_directories(fs::current_path() / "report_pages");
  fs::copy_file(xlsx, fs::current_path() / "report_pages" / "project3.xlsx", fs::copy_options::overwrite_existing);
  EXPECT_FALSE(qmx::report::WriteXlsx(reshaped.workbook, (dir.path() / "no/such/folder/x.xlsx").string(), &why));

  // A workbook that fails half-way leaves the file it was to replace as it was, and nothing beside it.
  const fs::path out = dir.path() / "out";
  fs::create_directories(out);
  qmx::test::WriteFile(out / "kept.xlsx", "kept");
  qmx::report::Workbook refused = reshaped.workbook;
  refused.sheets.back().name = "no [brackets]";
  EXPECT_FALSE(qmx::report::WriteXlsx(refused, (out / "kept.xlsx").string(), &why));
  EXPECT_EQ(qmx::test::ReadFile(out / "kept.xlsx"), "kept");
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
}

// ---- the start-up form ---------------------------------------------------------------------

namespace {

struct FormRig {
  FormRig() {
    qmx::toolkit::SetMessageBoxScript([this](const qmx::toolkit::MessageBoxRequest& r) {
      boxes.push_back(r.text);
      if ((r.flags & 0xF) != qmx::toolkit::kMbYesNo) return int(qmx::toolkit::kIdOk);
      const int answer = answers.empty() ? int(qmx::toolkit::kIdNo) : answers.front();
      if (!answers.empty()) answers.erase(answers.begin());
      return answer;
    });
    qmx::os::SetLauncher([this](const qmx::os::LaunchRequest& r) {
      opened.push_back(r.file + " " + (r.args.empty() ? std::string() : r.args.front()));
      return 1;
    });
  }
  ~FormRig() {
    qmx::toolkit::SetMessageBoxScript({});
    qmx::os::SetLauncher({});
  }
  std::unique_ptr<MainForm> Make(const std::string& commandLine) {
    FormServices services;
    services.endProgram = [this](int) { ++ended; };
    services.saveDialog = [this](QWidget*, bool, const std::string&) { return dialogAnswer; };
    auto form = std::make_unique<MainForm>(commandLine, services);
    form->show();
    return form;
  }
  // Lets the reports run, ticking the status timer, until both are handled.
  static void Finish(MainForm& form) {
    QElapsedTimer t;
    t.start();
    while (form.busy() && t.elapsed() < 30000) {
      QApplication::processEvents();
      form.OnStatusTimer();
      QThread::msleep(5);
    }
  }
  qmx::test::TempDir dir{"rendaval"};
  std::vector<std::string> boxes, opened;
  std::vector<int> answers;  // to Yes/No boxes, in order; No when none is left
  std::string dialogAnswer;
  int ended = 0;
};

}  // namespace

TEST(ReportForm, OptionsExcludeEachOtherAndArgumentsAreCheckedOnPress) {
  FormRig rig;
  auto form = rig.Make("NA*a*b");
  EXPECT_FALSE(form->fileName()->isEnabled());
  EXPECT_FALSE(form->pdfView()->isEnabled());
  form->pdfCheck()->click();
  form->pdfView()->click();
  EXPECT_TRUE(form->fileName()->isEnabled());
  form->fileName()->setText("x.pdf");
  form->excelCheck()->click();
  EXPECT_FALSE(form->pdfCheck()->isChecked());
  EXPECT_FALSE(form->pdfView()->isChecked());
  EXPECT_TRUE(form->excelView()->isEnabled());
  form->excelCheck()->click();
  EXPECT_TRUE(form->fileName()->text().isEmpty());
  EXPECT_FALSE(form->excelView()->isEnabled());
  EXPECT_TRUE(rig.boxes.empty());  // the command line waits for Make Report

  Picture(*form, "rendaval_form.png");

  form->makeReport()->click();
  EXPECT_EQ(rig.boxes, std::vector<std::string>{"[Bug] Caller's arguments count are not two. Count: 3"});
  EXPECT_EQ(rig.ended, 1);
  rig.boxes.clear();
  rig.Make("")->makeReport()->click();
  EXPECT_EQ(rig.boxes, std::vector<std::string>{"[Bug] Caller's arguments count are not two. Count: 0"});
}

TEST(ReportForm, RefusedExcelNameThenPdfWritesOnlyThePdf) {
  FormRig rig;
  const auto set = InstallSet("na1", rig.dir.path());
  const fs::path oldXlsx = rig.dir.path() / "old.xlsx";
  qmx::test::WriteFile(oldXlsx, "keep");
  auto form = rig.Make("NA*" + set.mainFile.string());
  form->excelCheck()->click();
  form->fileName()->setText(QString::fromStdString(oldXlsx.string()));
  form->makeReport()->click();
  EXPECT_EQ(rig.boxes, std::vector<std::string>{"already exist same file name."});
  EXPECT_TRUE(form->makeReport()->isEnabled());
  // A workbook is not written under a PDF's name.
  rig.boxes.clear();
  form->fileName()->setText(QString::fromStdString((rig.dir.path() / "book.pdf").string()));
  form->makeReport()->click();
  ASSERT_EQ(rig.boxes.size(), 1u);
  EXPECT_NE(rig.boxes[0].find("is that of a PDF file"), std::string::npos) << rig.boxes[0];
  EXPECT_TRUE(form->makeReport()->isEnabled());
  EXPECT_FALSE(fs::exists(rig.dir.path() / "book.pdf"));

  // A typed PDF name of an existing file is a question: No goes back to the form.
  rig.boxes.clear();
  const fs::path pdf = rig.dir.path() / "old.pdf";
  qmx::test::WriteFile(pdf, "old pdf");
  form->pdfCheck()->click();
  form->fileName()->setText(QString::fromStdString(pdf.string()));
  form->makeReport()->click();
  EXPECT_EQ(rig.boxes, std::vector<std::string>{"The file " + pdf.string() +
                                                " already exists.\nDo you want to replace it?"});
  EXPECT_TRUE(form->makeReport()->isEnabled());
  EXPECT_EQ(qmx::test::ReadFile(pdf), "old pdf");

  // Yes replaces it with the whole new report; a name typed without its extension is given it.
  rig.boxes.clear();
  rig.answers = {qmx::toolkit::kIdYes};
  form->fileName()->setText(QString::fromStdString((rig.dir.path() / "old").string()));
  form->pdfView()->click();
  form->makeReport()->click();
  EXPECT_FALSE(form->makeReport()->isEnabled());
  FormRig::Finish(*form);
  ASSERT_EQ(rig.boxes.size(), 1u);
  EXPECT_NE(qmx::test::ReadFile(pdf).rfind("%PDF", 0), std::string::npos);
  EXPECT_EQ(qmx::test::ReadFile(oldXlsx), "keep");
  EXPECT_EQ(rig.opened, std::vector<std::string>{"xdg-open " + pdf.string()});
  EXPECT_EQ(rig.ended, 1);
  for (const auto& entry : fs::directory_iterator(rig.dir.path()))
    EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
}

TEST(ReportForm, ExcelWithoutViewingLeavesTheReportShown) {
  FormRig rig;
  const auto set = InstallSet("project3", rig.dir.path());
  auto form = rig.Make("PROJECT*" + set.mainFile.string());
  const fs::path xlsx = rig.dir.path() / "out.xlsx";
  rig.dialogAnswer = xlsx.string();
  form->excelCheck()->click();
  form->selFile()->click();
  EXPECT_EQ(form->fileName()->text().toStdString(), xlsx.string());
  form->makeReport()->click();
  FormRig::Finish(*form);
  EXPECT_TRUE(rig.boxes.empty());
  EXPECT_TRUE(fs::exists(xlsx));
  EXPECT_FALSE(form->isVisible());
  ASSERT_NE(form->viewer(), nullptr);
  EXPECT_TRUE(form->viewer()->isVisible());
  EXPECT_EQ(form->viewer()->status()->text().toStdString(), "Excel file written: " + xlsx.string());
  EXPECT_EQ(rig.ended, 0);
  EXPECT_TRUE(rig.opened.empty());

  // The contents lead to the pages of their chapters.
  QTreeWidget* contents = form->viewer()->contents();
  ASSERT_EQ(contents->topLevelItemCount(), 1);
  EXPECT_EQ(contents->topLevelItem(0)->text(0), "Project Report");
  QTreeWidgetItem* last = contents->topLevelItem(0)->child(contents->topLevelItem(0)->childCount() - 1);
  EXPECT_EQ(last->text(0), "3. Project Inquiry");
  contents->setCurrentItem(last);
  const int lastPage = form->viewer()->document().PageCount() - 1;
  EXPECT_EQ(form->viewer()->currentPage(), lastPage);
  Picture(*form->viewer(), "rendaval_viewer.png");

  // The pages from the keyboard: Home and End, and zooming keeps the page in sight.
  qmx::report::PageView* pages = form->viewer()->pages();
  QTest::keyClick(pages, Qt::Key_Home);
  EXPECT_EQ(form->viewer()->currentPage(), 0);
  QTest::keyClick(pages, Qt::Key_End);
  EXPECT_EQ(form->viewer()->currentPage(), lastPage);
  form->viewer()->GoToPage(5);
  pages->ZoomIn();
  EXPECT_EQ(form->viewer()->currentPage(), 5);
  pages->FitToWidth();
  EXPECT_EQ(form->viewer()->currentPage(), 5);

  // Escape closes the viewer from the contents, which ends the run.
  QApplication::setActiveWindow(form->viewer());
  contents->setFocus();
  QTest::keyClick(contents, Qt::Key_Escape);
  EXPECT_FALSE(form->viewer()->isVisible());
  EXPECT_EQ(rig.ended, 1);
}

TEST(ReportForm, ABareNameGoesToTheDocumentsFolderAndTheFullPathIsSaid) {
  FormRig rig;
  const auto set = InstallSet("na1", rig.dir.path() / "docu");
  const fs::path home = rig.dir.path() / "home";
  fs::create_directories(home / "Documents");
  const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", home.c_str(), 1);
  auto form = rig.Make("NA*" + set.mainFile.string());
  form->pdfCheck()->click();
  form->fileName()->setText("cell7");
  form->makeReport()->click();
  FormRig::Finish(*form);
  ::setenv("HOME", oldHome.c_str(), 1);

  const std::string line = "PDF file written: " + (home / "Documents" / "cell7.pdf").string();
  EXPECT_TRUE(fs::exists(home / "Documents" / "cell7.pdf"));
  EXPECT_EQ(form->status()->toolTip().toStdString(), line);
  ASSERT_NE(form->viewer(), nullptr);
  EXPECT_EQ(form->viewer()->status()->text().toStdString(), line);
  EXPECT_TRUE(form->viewer()->status()->isVisibleTo(form->viewer()));

  // Ctrl+W closes it from the pages.
  QApplication::setActiveWindow(form->viewer());
  QWidget* pages = form->viewer()->pages();
  pages->setFocus();
  EXPECT_EQ(rig.ended, 0);
  QTest::keyClick(pages, Qt::Key_W, Qt::ControlModifier);
  EXPECT_FALSE(form->viewer()->isVisible());
  EXPECT_EQ(rig.ended, 1);
}

TEST(ReportForm, AWorkbookThatCannotBeWrittenBringsBackTheForm) {
  FormRig rig;
  const auto set = InstallSet("na1", rig.dir.path());
  auto form = rig.Make("NA*" + set.mainFile.string());
  const fs::path nowhere = rig.dir.path() / "no such folder" / "cell7.xlsx";
  form->excelCheck()->click();
  form->fileName()->setText(QString::fromStdString(nowhere.string()));
  form->makeReport()->click();
  FormRig::Finish(*form);
  ASSERT_EQ(rig.boxes.size(), 1u);
  EXPECT_EQ(rig.boxes[0], "Cannot write the Excel file " + nowhere.string() + ": No such file or directory");
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->makeReport()->isEnabled());
  EXPECT_EQ(form->viewer(), nullptr);
  EXPECT_EQ(rig.ended, 0);

  // Another name, and the run goes on to its end.
  rig.boxes.clear();
  const fs::path xlsx = rig.dir.path() / "cell7.xlsx";
  form->fileName()->setText(QString::fromStdString(xlsx.string()));
  form->excelView()->click();
  form->makeReport()->click();
  FormRig::Finish(*form);
  EXPECT_TRUE(rig.boxes.empty());
  EXPECT_TRUE(fs::exists(xlsx));
  EXPECT_EQ(rig.opened, std::vector<std::string>{"xdg-open " + xlsx.string()});
  EXPECT_EQ(rig.ended, 1);
}

TEST(ReportForm, MissingDocumentationIsReportedAndTheFormStays) {
  FormRig rig;
  auto form = rig.Make("NA*" + (rig.dir.path() / "gone.xml").string());
  form->makeReport()->click();
  FormRig::Finish(*form);
  ASSERT_EQ(rig.boxes.size(), 1u);
  EXPECT_NE(rig.boxes[0].find("gone.xml"), std::string::npos);
  EXPECT_TRUE(form->makeReport()->isEnabled());
  EXPECT_EQ(rig.ended, 0);
}

TEST(ReportForm, CancelWhileWritingLeavesTheTargetAsItWas) {
  struct Case {
    bool excel;
    bool targetExists;
  };
  for (const Case& c : {Case{false, false}, Case{true, true}}) {
    SCOPED_TRACE(c.excel ? "workbook over an existing file" : "new PDF");
    FormRig rig;
    const fs::path docu =
        qmx::rendaval::test::WriteBigDocuSet(rig.dir.path() / "docu", 16, 32, qmx::test::DistDir() / "Image");
    const fs::path out = rig.dir.path() / "out";
    fs::create_directories(out);
    const fs::path target = out / (c.excel ? "big.xlsx" : "big.pdf");
    if (c.targetExists) qmx::test::WriteFile(target, "the report of yesterday");
    const std::set<std::string> before = FilesIn(out);

    auto form = rig.Make("PROJECT*" + docu.string());
    (c.excel ? form->excelCheck() : form->pdfCheck())->click();
    rig.dialogAnswer = target.string();
    form->selFile()->click();
    form->makeReport()->click();
    // The file being written lies beside its target until it is complete.
    QElapsedTimer t;
    t.start();
    while (FilesIn(out).size() == before.size() && form->busy() && t.elapsed() < 120000) {
      QApplication::processEvents();
      form->OnStatusTimer();
      QThread::msleep(2);
    }
    ASSERT_EQ(FilesIn(out).size(), before.size() + 1) << "no file was being written";
    EXPECT_EQ(form->status()->toolTip().toStdString(), "Writing " + target.string());
    if (!c.excel) Picture(*form, "rendaval_form_running.png");
    form->cancel()->click();
    EXPECT_EQ(rig.ended, 1);
    form.reset();
    EXPECT_EQ(FilesIn(out), before);
    if (c.targetExists) {
      EXPECT_EQ(qmx::test::ReadFile(target), "the report of yesterday");
    }
  }
}

namespace {

// This process's standard error, gathered into a file while it lives.
class StderrCapture {
public:
  explicit StderrCapture(fs::path file) : file_(std::move(file)) {
    std::fflush(stderr);
    saved_ = ::dup(2);
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::dup2(fd, 2);
    ::close(fd);
  }
  ~StderrCapture() { Stop(); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  // What was written; standard error is again what it was.
  std::string Stop() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      ::dup2(saved_, 2);
      ::close(saved_);
      saved_ = -1;
    }
    return qmx::test::ReadFile(file_);
  }

private:
  fs::path file_;
  int saved_ = -1;
};

// Runs the form of `commandLine` to its end, writing `target`: a PDF as a
// typed name (Yes to replacing an existing file), a workbook as chosen in
// the save dialog (which confirms replacing one).
std::unique_ptr<MainForm> RunForm(FormRig& rig, const std::string& commandLine, bool excel, const fs::path& target) {
  auto form = rig.Make(commandLine);
  if (excel) {
    form->excelCheck()->click();
    rig.dialogAnswer = target.string();
    form->selFile()->click();
  } else {
    form->pdfCheck()->click();
    form->fileName()->setText(QString::fromStdString(target.string()));
    rig.answers = {qmx::toolkit::kIdYes};
  }
  form->makeReport()->click();
  FormRig::Finish(*form);
  return form;
}

// What an independent reader makes of a report file: the PDF's page count,
// the workbook's sheet count; "" when it cannot read it.
std::string ReadBack(const fs::path& file, bool excel) {
  if (excel)
    return Shell("/usr/bin/python3 -c \"import openpyxl,sys; print(len(openpyxl.load_workbook(sys.argv[1]).sheetnames))\" " +
                 Quote(file) + " 2>/dev/null");
  std::smatch m;
  const std::string info = Shell("pdfinfo " + Quote(file) + " 2>&1");
  return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) && info.find("Error") == std::string::npos
             ? m[1].str()
             : std::string();
}

}  // namespace

TEST(ReportForm, AFullDiskLeavesTheTargetAndTheDiskAsTheyWereAndSaysWhy) {
  FormRig rig;
  const std::string commandLine =
      "PROJECT*" +
      qmx::rendaval::test::WriteBigDocuSet(rig.dir.path() / "docu", 4, 32, qmx::test::DistDir() / "Image").string();
  // The reports of yesterday, on the project3 set, that a failed write must leave whole.
  const DocuSet yesterday = LoadDocuSet("PROJECT", InstallSet("project3", rig.dir.path() / "project3").mainFile);
  std::string why;
  const fs::path earlierPdf = rig.dir.path() / "earlier.pdf", earlierXlsx = rig.dir.path() / "earlier.xlsx";
  ASSERT_TRUE(qmx::report::WritePdf(qmx::report::LayOut(BuildPrintDocument(yesterday)), earlierPdf.string(), &why));
  ASSERT_TRUE(qmx::report::WriteXlsx(ReshapeWorkbook(BuildExcelPages(yesterday)).workbook, earlierXlsx.string(), &why));

  for (const bool excel : {false, true}) {
    SCOPED_TRACE(excel ? "workbook" : "PDF");
    const std::string name = excel ? "big.xlsx" : "big.pdf";
    // Where there is room, the report is written whole.
    const fs::path roomy = rig.dir.path() / "roomy" / name;
    fs::create_directories(roomy.parent_path());
    RunForm(rig, commandLine, excel, roomy);
    ASSERT_TRUE(fs::exists(roomy));
    EXPECT_NE(ReadBack(roomy, excel), "");
    const uint64_t size = fs::file_size(roomy);

    for (const bool earlier : {false, true}) {
      SCOPED_TRACE(earlier ? "over the report of yesterday" : "a new file");
      rig.boxes.clear();
      rig.opened.clear();
      rig.ended = 0;
      const fs::path& earlierFile = excel ? earlierXlsx : earlierPdf;
      const uint64_t earlierSize = earlier ? fs::file_size(earlierFile) : 0;
      // Room for the earlier file and half the new one.
      const fs::path folder = rig.dir.path() / (std::string(earlier ? "full-over-" : "full-new-") + name);
      qmx::rendaval::test::SmallDisk disk(folder, earlierSize + size / 2);
      if (!disk.ok()) GTEST_SKIP() << "no small disk of the test's own: " << disk.why();
      const fs::path target = folder / name;
      if (earlier) fs::copy_file(earlierFile, target);
      const std::string before = earlier ? qmx::test::ReadFile(target) : std::string();
      const uint64_t freeBefore = disk.Free();

      StderrCapture stderrCapture(rig.dir.path() / "stderr.txt");
      auto form = RunForm(rig, commandLine, excel, target);
      const std::string told = stderrCapture.Stop();

      const std::string failure =
          std::string(excel ? "Cannot write the Excel file " : "Cannot write the PDF file ") + target.string() +
          ": No space left on device";
      std::vector<std::string> boxes;
      if (earlier && !excel) boxes.push_back("The file " + target.string() + " already exists.\nDo you want to replace it?");
      boxes.push_back(failure);
      EXPECT_EQ(rig.boxes, boxes);
      EXPECT_EQ(form->status()->toolTip().toStdString(), failure);
      if (earlier && !excel) Picture(*form, "rendaval_form_full_disk.png");
      EXPECT_NE(told.find("Rendaval: " + failure + "\n"), std::string::npos) << told;
      EXPECT_EQ(told.find("written"), std::string::npos) << told;
      EXPECT_TRUE(form->isVisible());
      EXPECT_TRUE(form->makeReport()->isEnabled());
      EXPECT_EQ(form->viewer(), nullptr);
      EXPECT_TRUE(rig.opened.empty());
      EXPECT_EQ(rig.ended, 0);

      // The target as it was, nothing beside it, and every block of the staged file given back.
      EXPECT_EQ(FilesIn(folder), earlier ? std::set<std::string>{name} : std::set<std::string>{});
      if (earlier) {
        EXPECT_TRUE(qmx::test::ReadFile(target) == before) << "the earlier file was changed";
        EXPECT_EQ(ReadBack(target, excel), ReadBack(earlierFile, excel));
      }
      EXPECT_EQ(disk.Free(), freeBefore);
    }
  }
}
