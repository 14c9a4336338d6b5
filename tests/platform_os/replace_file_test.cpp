// The one replacement of a file: the new file's name beside the target and
// what earlier cut-off writes left, the link followed, and the step that
// each failure is reported at with the target left as it was.
#include "platform/os/replace_file.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using qmx::os::ReplaceStep;
using qmx::os::StagedName;
using qmx::test::ReadFile;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

std::set<std::string> FilesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

TEST(ReplaceFile, EachNamingItsNameAndWhatEarlierWritesLeft) {
  const std::string pid = std::to_string(::getpid());
  struct Case {
    StagedName naming;
    std::string leftover, pattern;
    bool leftoverRemoved;
  };
  const std::vector<Case> cases = {
      {StagedName::kBesideTarget, "Plant.KPX.tmp", R"(Plant\.KPX\.tmp)", true},
      {StagedName::kHiddenPerProcess, ".Plant.KPX." + pid + ".0.tmp", R"(\.Plant\.KPX\.)" + pid + R"(\.0\.tmp)", true},
      {StagedName::kHiddenPerWrite, ".Plant.KPX." + pid + ".999999.part", R"(\.Plant\.KPX\.)" + pid + R"(\.\d+\.part)",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.leftover);
    TempDir dir("replace");
    const fs::path target = dir / "Plant.KPX";
    WriteFile(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    WriteFile(dir / c.leftover, "<cut off");

    qmx::os::StagedFile staged(target, c.naming);
    ASSERT_TRUE(staged.ok()) << staged.error();
    EXPECT_TRUE(std::regex_match(staged.path().filename().string(), std::regex(c.pattern)))
        << staged.path().filename();
    ASSERT_EQ(staged.Write("new"), 0);
    EXPECT_EQ(ReadFile(target), "old");  // untouched until the commit
    ASSERT_TRUE(staged.Commit().ok());

    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0640));
    std::set<std::string> expected = {"Plant.KPX"};
    if (!c.leftoverRemoved) expected.insert(c.leftover);
    EXPECT_EQ(FilesIn(dir.path()), expected);
  }
}

TEST(ReplaceFile, ALinkIsFollowedAndStays) {
  TempDir dir("replace");
  fs::create_directories(dir / "real");
  fs::create_directories(dir / "links");
  WriteFile(dir / "real" / "Plant.KPX", "old");
  fs::create_symlink(dir / "real" / "Plant.KPX", dir / "links" / "Plant.KPX");

  const qmx::os::ReplaceResult result =
      qmx::os::ReplaceFile(dir / "links" / "Plant.KPX", "new", StagedName::kHiddenPerProcess);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.target, fs::canonical(dir / "real" / "Plant.KPX"));
  EXPECT_TRUE(fs::is_symlink(dir / "links" / "Plant.KPX"));
  EXPECT_EQ(ReadFile(dir / "real" / "Plant.KPX"), "new");
  EXPECT_EQ(FilesIn(dir / "real"), std::set<std::string>{"Plant.KPX"});
  EXPECT_EQ(FilesIn(dir / "links"), std::set<std::string>{"Plant.KPX"});
}

TEST(ReplaceFile, AFailureNamesItsStepAndLeavesTheTargetAsItWas) {
  TempDir dir("replace");
  const fs::path target = dir / "Plant.KPX";
  fs::create_directories(dir / "folder");
  struct Case {
    fs::path path;
    ReplaceStep failed;
    int error;
  };
  const std::vector<Case> refused = {
      {dir / "folder", ReplaceStep::kCreate, EISDIR},
      {dir / "folder" / "", ReplaceStep::kCreate, EISDIR},
      {dir / "missing" / "Plant.KPX", ReplaceStep::kCreate, ENOENT},
      {fs::path(), ReplaceStep::kCreate, ENOENT},
  };
  for (const Case& c : refused) {
    const qmx::os::ReplaceResult result = qmx::os::ReplaceFile(c.path, "new", StagedName::kHiddenPerProcess);
    EXPECT_EQ(result.failed, c.failed) << c.path;
    EXPECT_EQ(result.error, c.error) << c.path;
  }

  WriteFile(target, "old");
  // The file system refuses to grow a file past 2 bytes mid-write.
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 2;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const qmx::os::ReplaceResult tooLarge = qmx::os::ReplaceFile(target, "new", StagedName::kBesideTarget);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(tooLarge.failed, ReplaceStep::kWrite);
  EXPECT_EQ(tooLarge.error, EFBIG);

  {
    // The new file goes before the rename.
    qmx::os::StagedFile staged(target, StagedName::kHiddenPerWrite);
    ASSERT_TRUE(staged.ok());
    ASSERT_EQ(staged.Write("new"), 0);
    ASSERT_EQ(::unlink(staged.path().c_str()), 0);
    const qmx::os::ReplaceResult gone = staged.Commit();
    EXPECT_EQ(gone.failed, ReplaceStep::kRename);
    EXPECT_EQ(gone.error, ENOENT);
  }
  {
    // Cancelled: never committed.
    qmx::os::StagedFile staged(target, StagedName::kHiddenPerWrite);
    ASSERT_TRUE(staged.ok());
    ASSERT_EQ(staged.Write("new"), 0);
  }
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(FilesIn(dir.path()), (std::set<std::string>{"Plant.KPX", "folder"}));
}

}  // namespace
