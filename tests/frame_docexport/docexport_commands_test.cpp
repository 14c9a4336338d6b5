// The frame's documentation and inquiry commands in the running program
// (offscreen, from a copy of the staged folder): the report program is started
// with the main file that its reader then reads, a failed start is told, the
// Inquiry dialog gets the parts list, the XDD of a POWERLINK station of the
// shipped modules is what xmllint reads.
// Pictures for a look: docexport_station.png, docexport_inquiry.png,
// docexport_addio_powerlink.png.
#include "app/frame/FerrowynApp.h"
#include "app/frame/MainFrame.h"
#include "app/frame/OutputBar.h"
#include "app/frame/ProjectFile.h"
#include "app/frame/rules/CommandRules.h"
#include "app/model/IOUsr.h"
#include "app/model/NAUsr.h"
#include "app/model/ProgramPaths.h"
#include "app/model/ProjectUsr.h"
#include "app/model/Services.h"
#include "app/ui/dialogs/AddIoDlg.h"
#include "app/ui/dialogs/InquiryDlg.h"
#include "platform/os/os.h"
#include "platform/toolkit/message_box.h"
#include "report/core/DocuSet.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class Commands : public ::testing::Test {
protected:
  void SetUp() override {
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

  // Lines of the log window's "All" list that contain `part`.
  std::vector<std::string> LogLinesWith(const std::string& part) {
    QCoreApplication::processEvents();
    std::vector<std::string> lines;
    QTreeWidget* all = frame->outputBar()->list(COutputBar::kListAll);
    for (int i = 0; i < all->topLevelItemCount(); ++i) {
      for (int c = 0; c < all->columnCount(); ++c) {
        const std::string text = all->topLevelItem(i)->text(c).toStdString();
        if (text.find(part) != std::string::npos) lines.push_back(text);
      }
    }
    return lines;
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

// What xmllint makes of an XPath expression on a file (its standard output
// without the line break).
std::string XmlLint(const fs::path& file, const std::string& xpath) {
  const std::string command = "xmllint --xpath \"" + xpath + "\" '" + file.string() + "' 2>/dev/null";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

TEST_F(Commands, TheXddOfAPowerlinkStationOfTheShippedModules) {
  // Add IO Modules offers the POWERLINK adapter the POWERLINK modules alone.
  Plant("QMX-4109", {"QMX-R-3108", "QMX-R-4108", "QMX-1808", "QMX-R-3204", "QMX-R-4204"});
  frame->workspace().tree().SelectItem(station->treeItem);
  std::vector<std::string> offered;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<qmx::dialogs::AddIoDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    QTreeWidget* groups = dialog->catalogueTree();
    for (int i = 0; i < groups->topLevelItemCount(); ++i)
      offered.push_back(groups->topLevelItem(i)->text(0).toStdString());
    EXPECT_TRUE(dialog->SavePicture(QMX_TEST_OUTPUT_DIR "/docexport_addio_powerlink.png"));
    dialog->close();
  });
  frame->SendCommand(qmx::commands::kIdEditAddModule);
  EXPECT_EQ(offered, (std::vector<std::string>{"POWERLINK Digital Input", "POWERLINK Digital Output",
                                               "POWERLINK Analog Input", "POWERLINK Analog Output"}));
  frame->workspace().tree().SelectItem(frame->workspace().Projects().front()->treeItem);
  ASSERT_TRUE(frame->IsXddExportable());

  // The save dialog itself: it opens in the projects folder, as Save As and
  // the parts list's do, whatever the working folder is.
  const fs::path projects = qmx::Paths().projectsDir;
  const fs::path file = projects / "station.xdd";
  std::string openedIn;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    openedIn = dialog->directory().absolutePath().toStdString();
    EXPECT_TRUE(dialog->grab().save(QString(QMX_TEST_OUTPUT_DIR) + "/docexport_xdd_save.png"));
    dialog->selectFile("station");  // the dialog adds ".xdd"
    QMetaObject::invokeMethod(dialog, "accept");
  });
  frame->OnEditGenerateXdd();
  EXPECT_EQ(fs::path(openedIn), fs::canonical(projects));
  EXPECT_NE(fs::canonical(projects), fs::canonical(fs::current_path()));
  EXPECT_TRUE(boxes.empty());
  const std::vector<std::string> saved{"Generate XDD file is completed. Path: " + file.string()};
  EXPECT_EQ(LogLinesWith("Generate XDD file"), saved);
  ASSERT_TRUE(fs::exists(file));
  const std::string check = "xmllint --noout '" + file.string() + "'";
  EXPECT_EQ(std::system(check.c_str()), 0);

  // Four module objects by their slots (slot 3 left out) before the 29
  // standard ones, four parameters, and no empty or typeless sub-object.
  auto count = [&](const std::string& path) { return XmlLint(file, "count(" + path + ")"); };
  EXPECT_EQ(count("//*[local-name()='Object']"), "33");
  EXPECT_EQ(XmlLint(file, "string(//*[local-name()='Object'][3]/@index)"), "2104");
  EXPECT_EQ(XmlLint(file, "string(//*[local-name()='Object'][3]/@name)"), "QMX-R-3204_3");
  EXPECT_EQ(count("//*[local-name()='Object'][@index='2103']"), "0");
  EXPECT_EQ(count("//*[local-name()='parameter']"), "4");
  EXPECT_EQ(count("//*[local-name()='parameter'][@access='write']"), "2");
  EXPECT_EQ(count("//*[local-name()='SubObject'][@objectType='0' or @subIndex='']"), "0");
  EXPECT_EQ(XmlLint(file, "string(//*[local-name()='Object'][4]/*[local-name()='SubObject'][14]/@uniqueIDRef)"),
            "QMX-R-4204_3");
  EXPECT_EQ(LogLinesWith("left out of the XDD file"),
            (std::vector<std::string>{"[Warning] Module has no XDD object table and is left out of the XDD file. "
                                      "Slot: 3. Module: QMX-1808. Model: QMX-1808. Func: GenerateXdd."}));
  // A cancelled dialog writes and logs nothing.
  const CMainFrame::XddSaveDialog previous = CMainFrame::s_xddSaveDialog;
  CMainFrame::s_xddSaveDialog = [](QWidget*, const std::string&) { return std::string(); };
  frame->OnEditGenerateXdd();
  CMainFrame::s_xddSaveDialog = previous;
  EXPECT_EQ(LogLinesWith("Generate XDD file"), saved);

  // The station goes into its project file and comes back from it: the
  // POWERLINK series and the module groups are ones a project file names.
  CProjectUsr* project = frame->workspace().Projects().front().get();
  const fs::path kpx = dir.path() / "powerlink.KPX";
  ProjectFiles& files = frame->projectFiles();
  ASSERT_EQ(files.SaveProject({}, kpx.string(), project), 1);
  ASSERT_EQ(files.CloseProject(project, project->treeItem, 1, 1), 1);
  ASSERT_EQ(files.OpenProject(kpx.string()), 1);
  const CProjectUsr* opened = frame->workspace().Projects().back().get();
  ASSERT_EQ(opened->Adapters().size(), 1u);
  std::vector<std::string> ids;
  for (const CIOUsr* module : frame->workspace().ModulesOf(*opened->Adapters()[0]))
    ids.push_back(module->GetIODef()->ID);
  EXPECT_EQ(ids, (std::vector<std::string>{"QMX-R-3108", "QMX-R-4108", "QMX-1808", "QMX-R-3204", "QMX-R-4204"}));
}

}  // namespace
