// The "NA && IO List" window on the offscreen platform: the catalogue
// readers fill it (adapter folders first, then the module folders, in file
// order) with items and the pictures of their groups; a click on an item
// opens its help page; removals are asked about; the open folder is kept in
// the profile and opened again at the next start.
#include "app/frame/FerrowynApp.h"
#include "app/frame/MainFrame.h"
#include "app/frame/ToolBoxBar.h"
#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "app/model/ProgramPaths.h"
#include "app/model/Services.h"
#include "platform/os/profile.h"
#include "platform/toolkit/message_box.h"
#include "platform/toolkit/window_messages.h"
#include "tests/model_settings/log_capture.h"
#include "tests/support/box_script.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>

namespace fs = std::filesystem;
using qmx::test::LogCapture;
using qmx::test::SourcePath;
using qmx::test::TempDir;
using qmx::toolkit::ToolBox;

namespace {

const char* const kFolders[] = {"Modbus TCP Adapters",     "Modbus RTU Adapters",      "POWERLINK Adapters",
                                "Digital Input",           "Digital Output",           "Analog Input",
                                "Analog Output",           "Power",                    "POWERLINK Digital Input",
                                "POWERLINK Digital Output", "POWERLINK Analog Input",  "POWERLINK Analog Output"};
constexpr int kFolderCount = static_cast<int>(std::size(kFolders));

// A private profile under a temporary configuration folder.
class ToolBoxTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = std::make_unique<TempDir>("qmx-toolbox");
    setenv("XDG_CONFIG_HOME", (dir_->path() / "config").c_str(), 1);
    setenv("HOME", dir_->path().c_str(), 1);
  }
  void TearDown() override { qmx::SetLogTarget(nullptr); }

  // A bar filled from the shipped catalogue in the source tree.
  std::unique_ptr<CToolBoxBar> FilledBar(qmx::os::Profile* profile, const fs::path& strip = {}) {
    auto bar = std::make_unique<CToolBoxBar>(nullptr, profile);
    bar->SetImageListFile(strip.empty() ? SourcePath("resources/QMX410Tools/Image/ToolBoxList.bmp") : strip);
    EXPECT_TRUE(bar->Create(nullptr, qmx::commands::kIdViewToolBoxBar, "NA && IO List", 150));
    TextIdMap texts;
    ParseTextIdFile(SourcePath("resources/QMX410Tools/Products/listTextIdEng.xml").string(), texts);
    ParseNAFiles(SourcePath("resources/QMX410Tools/Products/listNA.xml").string(), texts, na_, bar.get());
    ParseIOFiles(SourcePath("resources/QMX410Tools/Products/listIO.xml").string(), texts, io_, bar.get());
    return bar;
  }

  std::unique_ptr<TempDir> dir_;
  NACatalogue na_;
  IOCatalogue io_;
};

}  // namespace

TEST_F(ToolBoxTest, FoldersFollowTheCatalogueOrderWithTheItemsOfEachGroup) {
  LogCapture log;
  auto bar = FilledBar(nullptr);
  EXPECT_EQ(bar->windowTitle(), "NA & IO List");
  ToolBox* box = bar->toolBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(bar->widget(), box);
  ASSERT_EQ(box->FolderCount(), kFolderCount);
  for (int f = 0; f < kFolderCount; ++f) EXPECT_EQ(box->FolderText(f).toStdString(), kFolders[f]) << f;

  // Adapter folders hold the adapter products, module folders their groups' modules.
  EXPECT_EQ(box->ItemCount(0), 1);
  EXPECT_EQ(box->ItemText(0, 0), "QMX-4101");
  EXPECT_EQ(box->ItemCount(1), 2);
  for (size_t g = 0; g < io_.groups.size(); ++g) {
    const int folder = static_cast<int>(3 + g);
    ASSERT_EQ(box->ItemCount(folder), static_cast<int>(io_.groups[g].Modules.size())) << kFolders[folder];
    for (int i = 0; i < box->ItemCount(folder); ++i) {
      EXPECT_EQ(box->ItemText(folder, i).toStdString(), io_.groups[g].Modules[static_cast<size_t>(i)]->modelName);
      EXPECT_EQ(box->ItemData(folder, i).toInt(), 0);
    }
  }
  EXPECT_EQ(box->ItemText(3, 0), "QMX-1808");
  EXPECT_EQ(box->ItemText(7, 1), "QMX-7016");
  for (const auto& r : log.records()) {
    if (r.category == qmx::kLogError) ADD_FAILURE() << r.text;
  }
}

TEST_F(ToolBoxTest, ItemsShowThePictureOfTheirGroupWithCyanTransparent) {
  auto bar = FilledBar(nullptr);
  ASSERT_EQ(bar->pictures().size(), 26);
  const QImage strip(QString::fromStdString(SourcePath("resources/QMX410Tools/Image/ToolBoxList.bmp").string()));
  ASSERT_FALSE(strip.isNull());
  ToolBox* box = bar->toolBox();
  struct Check {
    int folder;
    int item;
    int picture;
  };
  for (const Check& c : {Check{0, 0, 0}, Check{1, 1, 1}, Check{2, 0, 2}, Check{3, 1, 3}, Check{5, 2, 5},
                         Check{7, 0, 7}}) {
    SCOPED_TRACE(c.folder);
    const QIcon icon = box->ItemIcon(c.folder, c.item);
    ASSERT_FALSE(icon.isNull());
    const QImage shown = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(shown.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0);  // the cyan background is transparent
    const QRgb housing = strip.pixel(16 * c.picture + 7, 3);  // the coloured band of the picture
    EXPECT_EQ(shown.pixel(7, 3) & 0xFFFFFF, housing & 0xFFFFFF);
    EXPECT_EQ(qAlpha(shown.pixel(7, 3)), 255);
  }
  // Pictures of different groups differ.
  EXPECT_NE(box->ItemIcon(3, 0).pixmap(16, 16).toImage(), box->ItemIcon(4, 0).pixmap(16, 16).toImage());
}

TEST_F(ToolBoxTest, WithoutItsPictureStripTheCatalogueIsStillShown) {
  LogCapture log;
  auto bar = FilledBar(nullptr, dir_->path() / "none.bmp");
  ASSERT_EQ(LogCapture::Boxes().size(), 1u);
  EXPECT_EQ(LogCapture::Boxes()[0].first, "Failed to create image list because of resource lack. Error Code: -5171");
  EXPECT_TRUE(log.records().size() > 0);
  for (const auto& r : log.records()) EXPECT_EQ(r.text.find("-5171"), std::string::npos);  // a box, no line
  ASSERT_NE(bar->toolBox(), nullptr);
  EXPECT_EQ(bar->toolBox()->FolderCount(), kFolderCount);
  EXPECT_TRUE(bar->toolBox()->ItemIcon(3, 0).isNull());
  EXPECT_EQ(bar->toolBox()->ItemText(3, 0), "QMX-1808");
}

TEST_F(ToolBoxTest, AClickOnAnItemOpensItsHelpPageAndAFolderNothing) {
  auto bar = FilledBar(nullptr);
  qmx::Paths().SetAppDir("/opt/qmx");
  std::vector<std::string> topics;
  qmx::Services().showHelp = [&](const std::string& topic) { topics.push_back(topic); };
  ToolBox* box = bar->toolBox();
  box->ClickItem(3, 0);
  box->ClickItem(6, 1);
  auto* adapters = box->findChild<QListWidget*>("ToolBoxFolder0");  // Return clicks the current product
  adapters->setCurrentRow(0);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QCoreApplication::sendEvent(adapters, &enter);
  box->ClickItem(6, 9);  // no such item
  EXPECT_EQ(topics, (std::vector<std::string>{"/opt/qmx/QMX410Tools.chm::/QMX-1808.htm",
                                              "/opt/qmx/QMX410Tools.chm::/QMX-4404.htm",
                                              "/opt/qmx/QMX410Tools.chm::/QMX-4101.htm"}));

  // A folder's notification opens nothing and lets the toolkit go on.
  qmx::toolkit::ToolBoxNotify folder{3, -1, {}};
  EXPECT_TRUE(qmx::toolkit::SendWindowMessage(bar.get(), qmx::toolkit::kToolBoxMessage, qmx::toolkit::kToolBoxItemClicked,
                                              reinterpret_cast<std::intptr_t>(&folder)));
  EXPECT_EQ(topics.size(), 3u);

  // Without a viewer of its own the bar logs the page it would show.
  qmx::Services().showHelp = nullptr;
  LogCapture log;
  box->ClickItem(7, 0);
  EXPECT_TRUE(log.HasText("[Info] Help topic: /opt/qmx/QMX410Tools.chm::/QMX-7124.htm."));
  qmx::ResetServices();
}

TEST_F(ToolBoxTest, RemovalsAreAskedAboutWhileTheToolBoxIsVisible) {
  auto bar = FilledBar(nullptr);
  qmx::test::BoxScript boxes;
  qmx::toolkit::ToolBoxNotify item{3, 0, {}};
  // True when the bar lets the removal go on.
  const auto send = [&](int code) {
    item.refused = false;
    qmx::toolkit::SendWindowMessage(bar.get(), qmx::toolkit::kToolBoxMessage, static_cast<std::uintptr_t>(code),
                                    reinterpret_cast<std::intptr_t>(&item));
    return !item.refused;
  };
  // Hidden: nothing is asked.
  EXPECT_TRUE(send(qmx::toolkit::kToolBoxItemRemoving));
  EXPECT_TRUE(boxes.seen.empty());

  bar->show();
  ASSERT_TRUE(bar->toolBox()->isVisible());
  boxes.answers = {qmx::toolkit::kIdNo, qmx::toolkit::kIdYes, qmx::toolkit::kIdNo};
  EXPECT_FALSE(send(qmx::toolkit::kToolBoxItemRemoving));
  EXPECT_TRUE(send(qmx::toolkit::kToolBoxItemRemoving));
  EXPECT_FALSE(send(qmx::toolkit::kToolBoxFolderRemoving));
  ASSERT_EQ(boxes.seen.size(), 3u);
  EXPECT_EQ(boxes.seen[0].text, "Are you sure you want to remove this folder shortcut?");
  EXPECT_EQ(boxes.seen[2].text, "Are you sure you want to remove the specified folder?");
  EXPECT_EQ(boxes.seen[0].flags, qmx::toolkit::kMbYesNo | qmx::toolkit::kMbIconWarning);
  // Any other code lets the toolkit go on without a question.
  EXPECT_TRUE(send(5));
  EXPECT_EQ(boxes.seen.size(), 3u);
}

TEST_F(ToolBoxTest, TheOpenFolderIsKeptAndOpenedAgain) {
  {
    qmx::os::Profile profile;
    auto bar = FilledBar(&profile);
    EXPECT_EQ(bar->GetLastFolder(), 0);  // nothing kept yet
    // Filling changes the open folder, which is not kept.
    EXPECT_TRUE(profile.Value(CToolBoxBar::kProfileSection, CToolBoxBar::kProfileKey).isEmpty());
    EXPECT_TRUE(bar->OpenFolder(bar->GetLastFolder()));
    bar->toolBox()->setCurrentIndex(5);  // the user opens "Analog Input"
    EXPECT_EQ(profile.Value(CToolBoxBar::kProfileSection, CToolBoxBar::kProfileKey), "5");
    profile.Sync();
  }
  {
    qmx::os::Profile profile;
    auto bar = FilledBar(&profile);
    EXPECT_EQ(bar->GetLastFolder(), 5);
    EXPECT_EQ(bar->toolBox()->openFolder(), 0);  // until start-up hands it over
    EXPECT_TRUE(bar->OpenFolder(bar->GetLastFolder()));
    EXPECT_EQ(bar->toolBox()->openFolder(), 5);
    // A kept folder the catalogue no longer has leaves the first one open.
    profile.SetValue(CToolBoxBar::kProfileSection, CToolBoxBar::kProfileKey, "99");
    profile.Sync();
  }
  {
    qmx::os::Profile profile;
    auto bar = FilledBar(&profile);
    EXPECT_EQ(bar->GetLastFolder(), 99);
    EXPECT_FALSE(bar->OpenFolder(bar->GetLastFolder()));
    EXPECT_EQ(bar->toolBox()->openFolder(), 0);
    profile.SetValue(CToolBoxBar::kProfileSection, CToolBoxBar::kProfileKey, "x");
    EXPECT_EQ(bar->GetLastFolder(), 0);
  }
}

#ifdef QMX_TOOLBOX_WITH_FRAME
// The main program fills the window at start-up and opens the last folder.
TEST_F(ToolBoxTest, TheMainWindowsCatalogueReopensItsLastFolder) {
  const fs::path programDir = dir_->path() / "dist";
  qmx::test::CopyDist(programDir);
  setenv("QMX_LOCK_DIR", dir_->path().c_str(), 1);
  qmx::os::OverrideProgramFolder(programDir);
  qmx::test::BoxScript boxes;
  qmx::SetClosingFlag(0);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    auto app = std::make_unique<CFerrowynApp>();
    ASSERT_TRUE(app->InitInstance({(programDir / "QMX410Tools").string()}));
    QCoreApplication::processEvents();
    CMainFrame* frame = app->mainFrame();
    CToolBoxBar* bar = frame->toolBoxBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(frame->Bar(qmx::commands::kIdViewToolBoxBar), bar);
    ToolBox* box = bar->toolBox();
    ASSERT_EQ(box->FolderCount(), kFolderCount);
    for (int f = 0; f < kFolderCount; ++f) EXPECT_EQ(box->FolderText(f).toStdString(), kFolders[f]);
    EXPECT_FALSE(box->ItemIcon(4, 0).isNull());
    EXPECT_EQ(box->openFolder(), run == 0 ? 0 : 6);
    if (run == 0) box->setCurrentIndex(6);

    std::vector<std::string> topics;
    qmx::Services().showHelp = [&](const std::string& topic) { topics.push_back(topic); };
    box->ClickItem(6, 0);
    EXPECT_EQ(topics, std::vector<std::string>{programDir.string() + "/QMX410Tools.chm::/QMX-4402.htm"});
    qmx::Services().showHelp = nullptr;

    frame->close();  // "Terminate application?" answered Yes
    QCoreApplication::processEvents();
    app->ExitInstance();
    app.reset();
    qmx::SetClosingFlag(0);
  }
  qmx::os::OverrideProgramFolder({});
}
#endif
