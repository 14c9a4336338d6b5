// Saves of a project in a folder that refuses new files (the road that
// rewrites the file in place) killed at each of their system calls in turn:
// after every kill the project opens whole, from its file or from the
// backup that the save wrote first, as it was before the save or as the
// save left it.
#include "tests/frame_projectfile/projectfile_fixture.h"
#include "tests/support/traced_child.h"

#include <ostream>

namespace prjtest {
namespace {

using qmx::test::ReadFile;
using qmx::test::WriteFile;

struct Road {
  const char* name;
  bool fileBroken;  // each save starts over a file an earlier kill cut, with a whole backup
};

void PrintTo(const Road& road, std::ostream* out) { *out << road.name; }

class ProjectKillTest : public ProjectFileTest, public ::testing::WithParamInterface<Road> {
protected:
  // The file's text when the project's comment is save number n.
  std::string Saved(int number) {
    source_->SetTitle("save " + std::to_string(number));
    return files.ProjectFileBytes(*source_);
  }
  // A child that saves the project as save number n, stopped at its start
  // under the tracer.
  pid_t StartSaver(int number) {
    return qmx::test::StartTracedChild(user_, [this, number] {
      source_->SetTitle("save " + std::to_string(number));
      return files.SaveProject({}, path_.string(), source_) == 1 ? 0 : 3;
    });
  }

  void SetUp() override {
    ProjectFileTest::SetUp();
    fs::create_directories(folder_);
    // Its name is not the file's, so that the file opens beside it.
    source_ = NewProject("Source", "TCP", folder_);
    AddStation("QMX-4101", "S1", "127.0.0.1", "", "1", {{"QMX-1808", "m1"}, {"QMX-3404", "m2"}});
    Number(source_);
    ASSERT_EQ(files.SaveProject({}, path_.string(), source_), 1);
    source_->filePath.clear();
    user_ = RefuseNewFiles(folder_, path_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
    ProjectFileTest::TearDown();
  }

  fs::path folder_ = dir / "shared";
  fs::path path_ = folder_ / "Plant.KPX";
  CProjectUsr* source_ = nullptr;
  std::optional<uid_t> user_;
};

TEST_P(ProjectKillTest, TheProjectOrItsBackupOpensWholeAfterEveryKill) {
  const Road road = GetParam();
  const std::string backup = ProjectBackupPath(path_.string());
  // The state a save starts from: the last save whole; or, over a broken
  // file, that save in the backup only (both keep their owner and rights).
  auto prepare = [&](int number) {
    const std::string text = Saved(number);
    WriteFile(path_, road.fileBroken ? text.substr(0, text.size() / 3) : text);
    if (road.fileBroken) WriteFile(backup, text);
  };
  // A whole save first (it makes the backup): how many system call stops
  // one save takes from that state.
  const int whole = qmx::test::RunTracedChild(StartSaver(1), 0);
  if (whole == -2) GTEST_SKIP() << "system calls cannot be traced here";
  ASSERT_GE(whole, 0) << "the saver failed";
  prepare(1);
  const int stops = qmx::test::RunTracedChild(StartSaver(2), 0);
  ASSERT_GT(stops, 0);

  int fromBackup = 0;
  for (int at = 1; at <= stops; ++at) {
    SCOPED_TRACE("killed at stop " + std::to_string(at));
    const int before = 2 * at, number = 2 * at + 1;
    prepare(before);
    ASSERT_GE(qmx::test::RunTracedChild(StartSaver(number), at), 0);

    log.Clear();
    ASSERT_EQ(files.OpenProject(path_.string()), 1) << ::testing::PrintToString(ErrorLines());
    CProjectUsr* opened = ws.Projects().back().get();
    const std::string title = opened->title;
    EXPECT_TRUE(title == "save " + std::to_string(before) || title == "save " + std::to_string(number)) << title;
    // Every station and module came back, not only the comment.
    EXPECT_EQ(files.ProjectFileBytes(*opened), Saved(std::stoi(title.substr(5))));
    // A file the kill left broken gives way to its backup with one line.
    const std::vector<std::string> lines = ErrorLines();
    const bool backupRead = !lines.empty();
    if (backupRead) {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0].rfind("[Warning] The project file " + path_.string() + " cannot be read (" + path_.string() +
                                   ", line ",
                               0),
                0u)
          << lines[0];
      EXPECT_TRUE(lines[0].ends_with("). Its backup " + backup + " is read instead.")) << lines[0];
    }
    fromBackup += backupRead;
    EXPECT_EQ(opened->modified, backupRead ? 1 : 0);
    files.CloseProject(opened, opened->treeItem, 1, 0);
  }
  // Some kills fell between the cut of the file and its new text.
  EXPECT_GT(fromBackup, 0);
}

INSTANTIATE_TEST_SUITE_P(InPlace, ProjectKillTest,
                         ::testing::Values(Road{"FromAWholeFile", false}, Road{"OverABrokenFile", true}),
                         [](const ::testing::TestParamInfo<Road>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace prjtest
