// The File menu's road through the running program on the offscreen
// platform: a project named on the command line opens and enters the
// recent-file list, Save As renames it under a new file, Save writes it
// again, a recent-file entry opens a closed project, Close removes it and
// empties the views. (The main window is pictured by the explorer tests.)
#include "app/frame/FerrowynApp.h"
#include "app/frame/MainFrame.h"
#include "app/model/ProjectUsr.h"
#include "platform/toolkit/message_box.h"
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace qmx::commands;

class FileMenu : public qmx::test::ProgramServicesTest {
protected:
  void SetUp() override {
    ProgramServicesTest::SetUp();
    programDir = qmx::test::UseProgramCopy(dir.path());
    qmx::test::RecordMessageBoxes(boxes);
    realDialog = CMainFrame::s_projectFileDialog;  // put back after the test
    CMainFrame::s_projectFileDialog = [this](QWidget*, bool save, const std::string& folder,
                                             const std::string& fileName) {
      dialogs.push_back((save ? "save " : "open ") + folder + " " + fileName);
      return chosen;
    };
  }
  void TearDown() override {
    if (app) app->ExitInstance();
    app.reset();
    CMainFrame::s_projectFileDialog = realDialog;
    ProgramServicesTest::TearDown();
  }

  qmx::test::TempDir dir{"qmx-filemenu"};
  fs::path programDir;
  std::unique_ptr<CFerrowynApp> app;
  std::vector<std::string> boxes;
  std::vector<std::string> dialogs;
  std::string chosen;
  CMainFrame::ProjectFileDialog realDialog;
};

TEST_F(FileMenu, CommandLineSaveAsRecentFilesAndClose) {
  const fs::path example = programDir / "Projects" / "ModbusTCP_Station.KPX";
  const std::string shipped = qmx::test::ReadFile(example);
  // A relative path on the command line is taken from the working folder.
  const fs::path cwd = fs::current_path();
  fs::current_path(programDir / "Projects");
  app = std::make_unique<CFerrowynApp>();
  ASSERT_TRUE(app->InitInstance({(programDir / "QMX410Tools").string(), "ModbusTCP_Station.KPX"}));
  fs::current_path(cwd);
  CMainFrame* frame = app->mainFrame();
  ASSERT_EQ(frame->workspace().Projects().size(), 1u);
  CProjectUsr* project = frame->workspace().Projects().front().get();
  EXPECT_EQ(project->GetName(), "ModbusTCP_Station");
  EXPECT_EQ(project->filePath, example.string());
  EXPECT_EQ(frame->RecentFiles(), QStringList{QString::fromStdString(example.string())});

  QApplication::processEvents();
  frame->UpdateCommandUI();
  for (int id : {kIdFileOpen, kIdFileSave, kIdFileSaveAs, kIdFileClose}) {
    EXPECT_TRUE(frame->CommandAction(id)->isEnabled()) << id;
  }

  // Save As without the extension: the file gets it, the project its title.
  chosen = (dir.path() / "Renamed").string();
  frame->SendCommand(kIdFileSaveAs);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0], "save " + (programDir / "Projects").string() + " ModbusTCP_Station.KPX");
  const fs::path renamed = dir.path() / "Renamed.KPX";
  ASSERT_TRUE(fs::exists(renamed));
  EXPECT_EQ(project->GetName(), "Renamed");
  EXPECT_EQ(frame->workspace().tree().GetItemText(project->treeItem), "Renamed");
  EXPECT_EQ(qmx::test::ReadFile(example), shipped);
  EXPECT_EQ(frame->RecentFiles().front().toStdString(), renamed.string());

  // Save writes the file it now belongs to.
  project->SetTitle("saved again");
  project->modified = 1;
  frame->SendCommand(kIdFileSave);
  EXPECT_EQ(project->modified, 0);
  EXPECT_NE(qmx::test::ReadFile(renamed).find("saved again"), std::string::npos);

  // Close: the project and its item go and the views are emptied.
  frame->SendCommand(kIdFileClose);
  EXPECT_TRUE(frame->workspace().Projects().empty());
  EXPECT_TRUE(frame->workspace().tree().Empty());
  frame->UpdateCommandUI();
  EXPECT_FALSE(frame->CommandAction(kIdFileSave)->isEnabled());
  EXPECT_TRUE(frame->CommandAction(kIdFileOpen)->isEnabled());

  // The second recent entry is the example: it opens again.
  ASSERT_EQ(frame->RecentFiles().size(), 2);
  frame->SendCommand(qmx::toolkit::kRecentFileFirstId + 1);
  ASSERT_EQ(frame->workspace().Projects().size(), 1u);
  EXPECT_EQ(frame->workspace().Projects().front()->filePath, example.string());
  EXPECT_EQ(frame->RecentFiles().front().toStdString(), example.string());

  // Open through the dialog: the renamed file; Cancel does nothing.
  chosen = renamed.string();
  frame->SendCommand(kIdFileOpen);
  chosen.clear();
  frame->SendCommand(kIdFileOpen);
  ASSERT_EQ(frame->workspace().Projects().size(), 2u);
  EXPECT_EQ(boxes, std::vector<std::string>{});

  // Save As under the name of the other open project is refused.
  chosen = (dir.path() / "modbustcp_station.kpx").string();
  frame->SendCommand(kIdFileSaveAs);
  EXPECT_EQ(boxes, std::vector<std::string>{"Project name exists in opened project. Please input another project name."});
  EXPECT_FALSE(fs::exists(chosen));
}

}  // namespace
