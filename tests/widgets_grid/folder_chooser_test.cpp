// The folder chooser: the folder-name rule, path validation and creation,
// the messages of the check, and the dialog driven through its edit line
// (its picture goes into the build folder).
#include "platform/toolkit/message_box.h"
#include "tests/support/access_audit.h"
#include "tests/support/test_support.h"
#include "tests/widgets_grid/grid_demo.h"
#include "widgets/grid/FolderBrowser.h"
#include "widgets/grid/GridCtrl.h"

#include <QApplication>
#include <QFileSystemModel>
#include <QTreeView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

namespace qmx::grid {
namespace {

namespace fs = std::filesystem;
using toolkit::MessageBoxRequest;

TEST(IsValidFolderName, Components) {
  struct Case {
    const char* name;
    bool valid;
  } cases[] = {
      {"data", true},  {"my data", true}, {"a.b", true},   {"", false},     {".hidden", false},
      {"trail.", false}, {"trail ", false}, {" lead", false}, {"\ttab", false}, {"what?", false},
      {"a*b", false},  {"a:b", false},    {"a\\b", false},  {"a|b", false},  {"a<b", false},
      {"a>b", false},  {"a\"b", false},   {"a/b", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidFolderName(c.name), c.valid) << '"' << c.name << '"';
}

TEST(ValidatePath, ChecksAbsolutePathsComponentByComponent) {
  struct Case {
    const char* path;
    int result;
  } cases[] = {
      {"", 1},          {"relative/dir", 1}, {"C:", 1},         {"C:\\data", 1}, {"/", 0},
      {"/tmp", 0},      {"/tmp/", 1},        {"/a//b", 1},      {"/a/.b", 1},    {"/a/b.", 1},
      {"/a/b /c", 1},   {"/a/wh?t", 1},      {"/a/b/c/d/e/f", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ValidatePath(c.path, true), c.result) << c.path;
}

TEST(ValidatePath, TheNameRuleIsForFoldersStillToBeMade) {
  // The per-user project folder lies below a hidden folder.
  qmx::test::TempDir tmp("grid-hidden");
  const fs::path projects = tmp.path() / ".local" / "share" / "qmx410tools" / "Projects";
  fs::create_directories(projects);
  fs::create_directories(tmp.path() / "trail.");
  struct Case {
    fs::path path;
    int result;
  } cases[] = {
      {projects, 0},
      {projects / "Plant 2", 0},
      {projects / ".new", 1},
      {projects / "new" / "trail.", 1},
      {tmp.path() / "trail.", 0},
      {projects / "..", 1},
      {projects / "." / "x", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ValidatePath(c.path.string(), true), c.result) << c.path;
  EXPECT_EQ(ValidatePath((projects / "made").string(), false), 0);
  EXPECT_TRUE(fs::is_directory(projects / "made"));
}

TEST(ValidatePath, LongPathsHaveNoFixedLimit) {
  std::string path;
  for (int i = 0; i < 60; ++i) path += "/component" + std::to_string(i);
  ASSERT_GT(path.size(), 260u);
  EXPECT_EQ(ValidatePath(path, true), 0);
  qmx::test::TempDir tmp("grid-long");
  const std::string deep = tmp.path().string() + path.substr(0, 400);
  const std::string trimmed = deep.substr(0, deep.find_last_of('/'));
  EXPECT_EQ(ValidatePath(trimmed, false), 0);
  EXPECT_TRUE(fs::is_directory(trimmed));
}

TEST(ValidatePath, CreatesEveryMissingLevel) {
  qmx::test::TempDir tmp("grid-folder");
  const std::string target = (tmp.path() / "one" / "two" / "three").string();
  EXPECT_EQ(ValidatePath(target, true), 0);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(ValidatePath(target, false), 0);
  EXPECT_TRUE(fs::is_directory(target));
  // A plain file in the way cannot become a folder.
  qmx::test::WriteFile(tmp.path() / "file", "x");
  EXPECT_EQ(ValidatePath((tmp.path() / "file" / "sub").string(), false), 2);
}

class ScriptedBoxes {
public:
  explicit ScriptedBoxes(std::vector<int> answers) : answers_(std::move(answers)) {
    previous_ = toolkit::SetMessageBoxScript([this](const MessageBoxRequest& r) {
      requests.push_back(r);
      if (answers_.empty()) return int(toolkit::kIdOk);
      int a = answers_.front();
      answers_.erase(answers_.begin());
      return a;
    });
  }
  ~ScriptedBoxes() { toolkit::SetMessageBoxScript(previous_); }
  std::vector<MessageBoxRequest> requests;

private:
  std::vector<int> answers_;
  toolkit::MessageBoxScript previous_;
};

TEST(CheckFolder, InvalidPathsAreReported) {
  ScriptedBoxes boxes({});
  EXPECT_EQ(CheckFolder("/tmp/bad?name"), 1);
  ASSERT_EQ(boxes.requests.size(), 1u);
  EXPECT_EQ(boxes.requests[0].text, "The folder:\n\n/tmp/bad?name\n\nis invalid. Please reenter.");
  EXPECT_EQ(boxes.requests[0].flags, unsigned(toolkit::kMbOk | toolkit::kMbIconWarning));
}

TEST(CheckFolder, ExistingFolderIsFineWithoutAQuestion) {
  ScriptedBoxes boxes({});
  qmx::test::TempDir tmp("grid-check");
  EXPECT_EQ(CheckFolder(tmp.path().string()), 0);
  EXPECT_TRUE(boxes.requests.empty());
}

TEST(CheckFolder, MissingFolderIsCreatedOnlyAfterYes) {
  qmx::test::TempDir tmp("grid-check");
  const std::string target = (tmp.path() / "new" / "deeper").string();
  {
    ScriptedBoxes boxes({toolkit::kIdNo});
    EXPECT_EQ(CheckFolder(target), -1);
    ASSERT_EQ(boxes.requests.size(), 1u);
    EXPECT_EQ(boxes.requests[0].text,
              "The folder:\n\n" + target + "\n\ndoes not exist. Do you want the folder to be created?");
    EXPECT_EQ(boxes.requests[0].flags, unsigned(toolkit::kMbYesNo | toolkit::kMbIconQuestion));
    EXPECT_FALSE(fs::exists(tmp.path() / "new"));
  }
  {
    ScriptedBoxes boxes({toolkit::kIdYes});
    EXPECT_EQ(CheckFolder(target), 0);
    EXPECT_TRUE(fs::is_directory(target));
  }
}

TEST(CheckFolder, UncreatableFolderIsReported) {
  qmx::test::TempDir tmp("grid-check");
  qmx::test::WriteFile(tmp.path() / "blocker", "x");
  const std::string target = (tmp.path() / "blocker" / "sub").string();
  ScriptedBoxes boxes({toolkit::kIdYes});
  EXPECT_EQ(CheckFolder(target), 2);
  ASSERT_EQ(boxes.requests.size(), 2u);
  EXPECT_EQ(boxes.requests[1].text, "The folder:\n\n" + target + "\n\ncan not be created. Please double check.");
}

// Runs `step` once the dialog is open, then leaves the dialog to it.
void WhenOpen(std::function<void(FolderBrowser*)> step) {
  QTimer::singleShot(0, [step] {
    auto* dialog = qobject_cast<FolderBrowser*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    step(dialog);
  });
}

TEST(FolderBrowser, AcceptsTheFolderTypedInTheEditLine) {
  qmx::test::TempDir tmp("grid-browse");
  const std::string target = (tmp.path() / "made").string();
  ScriptedBoxes boxes({toolkit::kIdYes});
  FolderBrowser browser("Select a folder...", "Log & data folder", tmp.path().string());
  EXPECT_EQ(browser.windowTitle(), "Select a folder...");
  EXPECT_EQ(browser.EditLine()->property("controlId").toInt(), kFolderEditLineId);
  EXPECT_EQ(browser.EditLine()->accessibleName(), "Log & data folder");
  EXPECT_EQ(browser.EditLine()->text().toStdString(), tmp.path().string());
  WhenOpen([&](FolderBrowser* dialog) {
    const auto picture = qmx::test::DistDir().parent_path() / "widgets_grid_folder_browser.png";
    EXPECT_TRUE(dialog->grab().save(QString::fromStdString(picture.string())));
    EXPECT_EQ(qmx::test::AuditAccess(dialog), std::vector<std::string>{});
    dialog->EditLine()->setText(QString::fromStdString(target));
    dialog->OkButton()->click();
  });
  EXPECT_EQ(browser.DoModal(), 1);
  EXPECT_EQ(browser.GetFolder(), target);
  EXPECT_TRUE(fs::is_directory(target));
}

TEST(FolderBrowser, StaysOpenOnAnInvalidFolderAndDisablesOkOnAnEmptyLine) {
  ScriptedBoxes boxes({});
  FolderBrowser browser("Select a folder...", "Folder", "/tmp");
  bool okEnabledWhenEmpty = true;
  bool stillOpen = false;
  WhenOpen([&](FolderBrowser* dialog) {
    dialog->EditLine()->setText("");
    okEnabledWhenEmpty = dialog->OkButton()->isEnabled();
    dialog->EditLine()->setText("/tmp/bad?name");
    dialog->OkButton()->click();
    stillOpen = dialog->isVisible();
    dialog->reject();
  });
  EXPECT_EQ(browser.DoModal(), -1);
  EXPECT_FALSE(okEnabledWhenEmpty);
  EXPECT_TRUE(stillOpen);
  ASSERT_EQ(boxes.requests.size(), 1u);
  EXPECT_NE(boxes.requests[0].text.find("is invalid"), std::string::npos);
}

TEST(FolderBrowser, PickingInTheTreeFillsTheEditLine) {
  qmx::test::TempDir tmp("grid-browse");
  fs::create_directory(tmp.path() / "picked");
  FolderBrowser browser("Select a folder...", "Folder", tmp.path().string());
  QTreeView* tree = browser.FolderTree();
  auto* model = qobject_cast<QFileSystemModel*>(tree->model());
  ASSERT_NE(model, nullptr);
  const QModelIndex picked = model->index(QString::fromStdString((tmp.path() / "picked").string()));
  ASSERT_TRUE(picked.isValid());
  tree->setCurrentIndex(picked);
  EXPECT_EQ(browser.EditLine()->text().toStdString(), (tmp.path() / "picked").string());
  EXPECT_TRUE(browser.OkButton()->isEnabled());
  // An item without a file-system path (the tree's root) empties the line.
  tree->setCurrentIndex(QModelIndex());
  EXPECT_TRUE(browser.EditLine()->text().isEmpty());
  EXPECT_FALSE(browser.OkButton()->isEnabled());
}

TEST(FolderBrowser, AStartFolderBelowAHiddenFolderIsShownAndAccepted) {
  qmx::test::TempDir tmp("grid-browse");
  // Enough neighbours that the start folder lies below the first page.
  for (int i = 0; i < 60; ++i) fs::create_directories(tmp.path() / ("a" + std::to_string(100 + i)));
  const fs::path start = tmp.path() / "z" / ".local" / "share" / "Projects";
  fs::create_directories(start);
  ScriptedBoxes boxes({});
  FolderBrowser browser("Select a folder...", "Folder", start.string());
  // The rows above it arrive in the background (signals the event loop
  // delivers): look once every folder on the way has been read.
  auto* model = qobject_cast<QFileSystemModel*>(browser.FolderTree()->model());
  ASSERT_NE(model, nullptr);
  bool parentRead = false;
  const QString parent = QString::fromStdString(start.parent_path().string());
  QObject::connect(model, &QFileSystemModel::directoryLoaded, &browser,
                   [&](const QString& folder) { parentRead = parentRead || folder == parent; });
  bool inView = false;
  WhenOpen([&](FolderBrowser* dialog) {
    QTreeView* tree = dialog->FolderTree();
    EXPECT_TRUE(QTest::qWaitFor([&] { return parentRead; }, 5000));
    QTest::qWait(100);
    const QRect rect = tree->visualRect(tree->currentIndex());
    inView = rect.isValid() && tree->viewport()->rect().contains(rect);
    const auto picture = qmx::test::DistDir().parent_path() / "widgets_grid_folder_browser_hidden_start.png";
    EXPECT_TRUE(dialog->grab().save(QString::fromStdString(picture.string())));
    dialog->OkButton()->click();
  });
  EXPECT_EQ(browser.DoModal(), 1);
  EXPECT_TRUE(inView);
  EXPECT_EQ(browser.GetFolder(), start.string());
  EXPECT_TRUE(boxes.requests.empty());
}

TEST(FolderBrowser, TheGridsDefaultServicesRunTheChooser) {
  qmx::test::TempDir tmp("grid-browse");
  ScriptedBoxes boxes({});
  WhenOpen([&](FolderBrowser* dialog) {
    EXPECT_EQ(dialog->EditLine()->text().toStdString(), tmp.path().string());
    dialog->OkButton()->click();
  });
  std::string chosen;
  GridFrameServices services;
  EXPECT_TRUE(services.ChooseFolder(nullptr, "Select a folder...", "Folder", tmp.path().string(), chosen));
  EXPECT_EQ(chosen, tmp.path().string());
}

}  // namespace
}  // namespace qmx::grid
