// The one replacement of a file: the new file's name beside the target and
// what earlier cut-off writes left, the link followed, the step that each
// failure is reported at with the target left as it was, and the staged
// files that a signal removes as it ends the process.
#include "platform/os/replace_file.h"
#include "tests/platform_os/child_process.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

namespace {

// The number of a process that has ended (and been reaped).
pid_t GonePid() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return pid;
}

TEST(ReplaceFile, AHiddenNamingRemovesWhatProcessesThatAreGoneLeft) {
  const std::string gone = std::to_string(GonePid()), alive = std::to_string(::getppid()),
                    own = std::to_string(::getpid());
  struct Leftover {
    std::string name;
    bool removedPerWrite, removedPerProcess;
  };
  const std::vector<Leftover> leftovers = {
      {".Plant.KPX." + gone + ".0.part", true, false},
      {".Report.pdf." + gone + ".3.part", true, false},  // a write of another file in the folder
      {".Plant.KPX." + alive + ".0.part", false, false},
      {".Plant.KPX." + own + ".7.part", false, false},  // this process's: in progress
      {".Plant.KPX." + gone + ".0.tmp", false, true},
      {".Plant.KPX." + own + ".0.tmp", false, true},
      {".Report.pdf." + gone + ".0.tmp", false, false},
      {"Plant.KPX." + gone + ".0.part", false, false},  // not hidden
      {".Plant.KPX.x" + gone + ".0.part", false, false},
      {"." + gone + ".0.part", false, false},  // no file name
      {".Link.pdf." + gone + ".0.part", false, false},  // a link, below
      {".Folder.pdf." + gone + ".0.part", false, false},  // a folder, below
  };
  for (const StagedName naming : {StagedName::kHiddenPerWrite, StagedName::kHiddenPerProcess}) {
    const bool perWrite = naming == StagedName::kHiddenPerWrite;
    SCOPED_TRACE(perWrite ? "per write" : "per process");
    TempDir dir("replace");
    WriteFile(dir / "elsewhere", "kept");
    std::set<std::string> expected = {"Plant.KPX"};
    for (const Leftover& l : leftovers) {
      if (l.name.starts_with(".Link"))
        fs::create_symlink(dir / "elsewhere", dir / l.name);
      else if (l.name.starts_with(".Folder"))
        fs::create_directory(dir / l.name);
      else
        WriteFile(dir / l.name, "<cut off");
      if (!(perWrite ? l.removedPerWrite : l.removedPerProcess)) expected.insert(l.name);
    }
    expected.insert("elsewhere");

    qmx::os::StagedFile staged(dir / "Plant.KPX", naming);
    ASSERT_TRUE(staged.ok()) << staged.error();
    ASSERT_EQ(staged.Write("new"), 0);
    ASSERT_TRUE(staged.Commit().ok());
    EXPECT_EQ(FilesIn(dir.path()), expected);
    EXPECT_EQ(ReadFile(dir / "elsewhere"), "kept");
  }
}

TEST(ReplaceFile, ASignalRemovesTheStagedFilesAndEndsTheProcessByIt) {
  struct Case {
    const char* name;
    int signal;
    bool ignoreHup;
  };
  const std::vector<Case> cases = {
      {"SIGTERM", SIGTERM, false},
      {"SIGINT", SIGINT, false},
      {"SIGHUP", SIGHUP, false},
      {"SIGHUP ignored", SIGHUP, true},  // as under nohup: the writer goes on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir("replace");
    WriteFile(dir / "kept.KPX", "old");
    std::vector<std::string> args = {QMX_OS_HELPER, "stage"};
    if (c.ignoreHup) args.push_back("ignore-hup");
    for (const char* target : {"a.pdf", "b.xlsx"}) args.push_back((dir / target).string());
    args.push_back((dir / "kept.KPX").string().insert(0, 1, '+'));
    qmx::test::ChildProcess child(args);
    ASSERT_TRUE(child.started());
    std::set<std::string> staged;
    for (int i = 0; i < 3; ++i) staged.insert(fs::path(child.ReadLine()).filename().string());
    ASSERT_EQ(child.ReadLine(), "ready");
    const std::set<std::string> writing = {*staged.begin(), *std::next(staged.begin()), "kept.KPX"};
    ASSERT_EQ(FilesIn(dir.path()), writing);  // the committed one took its target's name

    ASSERT_EQ(::kill(child.pid(), c.signal), 0);
    if (c.ignoreHup) {
      // An ignored signal is dropped as it is sent.
      EXPECT_EQ(FilesIn(dir.path()), writing);
      EXPECT_EQ(child.Wait(), 0);
    } else {
      child.Wait();
      EXPECT_EQ(child.endSignal(), c.signal);
    }
    EXPECT_EQ(FilesIn(dir.path()), std::set<std::string>{"kept.KPX"});
    EXPECT_EQ(ReadFile(dir / "kept.KPX"), "partial");
  }
}

}  // namespace
