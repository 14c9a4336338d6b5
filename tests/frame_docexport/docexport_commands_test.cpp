// The frame's documentation and inquiry commands in the running program
// (offscreen, from a copy of the staged folder): the report program is started
// with the main file that its reader then reads, a failed start is told, the
// Inquiry dialog gets the parts list.
// Pictures for a look: docexport_station.png, docexport_inquiry.png.
#include "app/frame/FerrowynApp.h"
#include "app/frame/MainFrame.h"
#include "app/model/IOUsr.h"
#include "app/model/NAUsr.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectUsr.h"
#include "app/model/Services.h"
#include "app/ui/dialogs/InquiryDlg.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"
#include "report/core/DocuSet.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

QApplication* App() {
  static int argc = 1;
  static char name[] = "frame_docexport_commands_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return app;
}

class Commands : public ::testing::Test {
protected:
  void SetUp() override {
    App();
    programDir = qmx::test::UseProgramCopy(dir.path());
    qmx::toolkit::SetMessageBoxScript([this](const qmx::toolkit::MessageBoxRequest& request) {
      boxes.push_back(request.text);
      return qmx::toolkit::kIdOk;
    });
    previousLauncher = qmx::os::SetLauncher([this](const qmx::os::LaunchRequest& request) {
      launched.push_back(request);
      return launchResult;
    });
    CMainFrame::s_docuClock = [] { return qmx::docu::LocalTime{2026, 12, 9, 8, 0, 1, 2}; };
    ASSERT_TRUE(app.InitInstance({(programDir / "QMX410Tools").string()}));
    frame = app.mainFrame();
    boxes.clear();
  }
  void TearDown() override {
    CMainFrame::s_docuClock = &qmx::docu::NowLocal;
    qmx::os::SetLauncher(previousLauncher);
    qmx::toolkit::SetMessageBoxScript({});
    qmx::os::OverrideProgramFolder({});
  }
  // A project with one station of the given adapter and modules, selected.
  CProjectUsr* Plant(const std::string& adapterId, const std::vector<std::string>& moduleIds) {
    CProjectUsr* project = frame->CreateProject("Plant & Co", (programDir / "Projects").string());
    project->commType = adapterId == "QMX-4109" ? "POWERLINK" : "TCP";
    TreeItem item = kNoTreeItem;
    station = frame->CreateNA("Line A", adapterId, item, nullptr);
    EXPECT_NE(station, nullptr);
    station->ipAddress = "192.168.0.10";
    const TreeItem naItem = item;
    for (const std::string& id : moduleIds) EXPECT_NE(frame->CreateIO(id, id, item, nullptr, naItem), nullptr);
    frame->ReNumberingIOsDispath("PROJECT", project->treeItem);
    frame->workspace().tree().SelectItem(project->treeItem);
    return project;
  }

  qmx::test::TempDir dir{"qmx-docexport"};
  fs::path programDir;
  CFerrowynApp app;
  CMainFrame* frame = nullptr;
  CNAUsr* station = nullptr;
  std::vector<std::string> boxes;
  std::vector<qmx::os::LaunchRequest> launched;
  int launchResult = 1;
  qmx::os::Launcher previousLauncher;
};

TEST_F(Commands, DocumentationStartsTheReportProgramWithTheMainFile) {
  Plant("QMX-4101", {"QMX-1808", "QMX-2808", "QMX-3404", "QMX-7124", "QMX-4402"});
  frame->OnFileDocuPrj();
  ASSERT_EQ(launched.size(), 1u);
  const std::string tmp = qmx::Paths().tmpDir;
  EXPECT_EQ(tmp, (programDir / "~tmp").string());
  EXPECT_EQ(launched[0].file, (programDir / "Rendaval.exe").string());
  ASSERT_EQ(launched[0].args.size(), 1u);
  EXPECT_EQ(launched[0].args[0], "PROJECT*" + tmp + "/prj20261209 080001_002.xml");
  EXPECT_EQ(launched[0].workingDirectory, tmp);
  EXPECT_TRUE(boxes.empty());
  // The argument, split as the report program splits it, names what its reader reads.
  const std::string& arg = launched[0].args[0];
  const auto set = qmx::rendaval::LoadDocuSet(arg.substr(0, arg.find('*')), arg.substr(arg.find('*') + 1));
  EXPECT_EQ(set.projectName, "Plant & Co");
  ASSERT_EQ(set.nodes.size(), 1u);
  ASSERT_EQ(set.nodes[0].pictures.size(), 1u);
  const QImage row(QString::fromStdString(set.nodes[0].pictures[0].string()));
  ASSERT_FALSE(row.isNull());
  EXPECT_EQ(row.width(), 64 + 5 * 32 + 20);
  EXPECT_EQ(row.pixel(2, 2), qRgb(255, 255, 255));
  EXPECT_TRUE(row.save(QString(QMX_TEST_OUTPUT_DIR) + "/docexport_station.png"));

  // The adapter's documentation.
  frame->workspace().tree().SelectItem(station->treeItem);
  frame->OnFileDocuNa();
  ASSERT_EQ(launched.size(), 2u);
  EXPECT_EQ(launched[1].args.at(0), "NA*" + tmp + "/na20261209 080001_002.xml");
}

TEST_F(Commands, AFailedStartIsToldAndAFailedDocumentationStartsNothing) {
  Plant("QMX-4101", {"QMX-1808"});
  launchResult = -2;
  frame->OnFileDocuPrj();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Cannot run Rendaval.exe. Error Code: -1009. API Code: 2.");

  // A station file that cannot be written: no report is started.
  launched.clear();
  boxes.clear();
  CMainFrame::s_docuClock = [] { return qmx::docu::LocalTime{2026, 12, 9, 8, 0, 1, 3}; };
  fs::create_directories(programDir / "~tmp" / "prj20261209 080001_003node1.xml");
  frame->OnFileDocuPrj();
  EXPECT_TRUE(launched.empty());
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], "Project documentation failed. See below log in detail");
  EXPECT_FALSE(fs::exists(programDir / "~tmp" / "prj20261209 080001_003.xml"));
}

TEST_F(Commands, TheInquiryDialogGetsThePartsList) {
  Plant("QMX-4101", {"QMX-1808", "QMX-1808", "QMX-3404"});
  std::string label, scope;
  InquiryList shown;
  const CMainFrame::InquiryDialog previous = CMainFrame::s_inquiryDialog;
  CMainFrame::s_inquiryDialog = [&](QWidget*, const std::string& l, const std::string& s, const InquiryList& list) {
    label = l;
    scope = s;
    shown = list;
  };
  frame->OnFileInquiryPrj();
  CMainFrame::s_inquiryDialog = previous;
  EXPECT_EQ(label, "Plant & Co");
  EXPECT_EQ(scope, "PROJECT");
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].modelName, "QMX-1808");
  EXPECT_EQ(shown[0].count, 2);

  // The dialog itself, as the user sees it.
  std::vector<qmx::dialogs::InquiryItem> items;
  for (const InquiryItem& item : shown) items.push_back({item.modelName, item.orderNumber, item.count, item.helpLink});
  qmx::dialogs::InquiryDlg dialog(frame);
  dialog.SetScope(label, scope, items);
  dialog.show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(dialog.grab().save(QString(QMX_TEST_OUTPUT_DIR) + "/docexport_inquiry.png"));
  dialog.close();
}

}  // namespace
