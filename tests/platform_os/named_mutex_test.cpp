// Single-instance lock: a second holder, in this or another process, is refused.
#include "platform/os/os.h"
#include "tests/platform_os/child_process.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using qmx::os::NamedMutex;
using qmx::test::ChildProcess;
using qmx::test::RunProcess;
using qmx::test::TempDir;

namespace {

class NamedMutexTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char* old = std::getenv("QMX_LOCK_DIR")) saved_ = old, had_ = true;
    ::setenv("QMX_LOCK_DIR", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    if (had_) ::setenv("QMX_LOCK_DIR", saved_.c_str(), 1);
    else ::unsetenv("QMX_LOCK_DIR");
  }
  // 100 + the result of Create in a second process
  int TryInOtherProcess(const std::string& name) { return RunProcess({QMX_OS_HELPER, "try", name}) - 100; }

  TempDir dir_{"qmx-lock"};
  std::string saved_;
  bool had_ = false;
};

TEST_F(NamedMutexTest, LockFileLivesInTheLockFolder) {
  EXPECT_EQ(NamedMutex::LockPath("Ferrowyn.exe"), dir_ / "Ferrowyn.exe.lock");
  // a separator in the name cannot escape the folder
  EXPECT_EQ(NamedMutex::LockPath("../x/y").parent_path(), dir_.path());
}

TEST_F(NamedMutexTest, SecondProcessIsRefusedWhileTheFirstHolds) {
  NamedMutex first;
  ASSERT_EQ(first.Create("Ferrowyn.exe"), 1);
  EXPECT_TRUE(first.held());
  EXPECT_EQ(TryInOtherProcess("Ferrowyn.exe"), 0);
  // the refused attempt did not take the lock from the holder
  EXPECT_TRUE(first.held());
  EXPECT_EQ(TryInOtherProcess("Ferrowyn.exe"), 0);
  // another name is free
  EXPECT_EQ(TryInOtherProcess("Other.exe"), 1);

  first.Release();
  EXPECT_FALSE(first.held());
  EXPECT_EQ(TryInOtherProcess("Ferrowyn.exe"), 1);
}

TEST_F(NamedMutexTest, LockOfAnotherProcessIsFreedWhenItEnds) {
  ChildProcess holder({QMX_OS_HELPER, "hold", "Ferrowyn.exe"});
  ASSERT_TRUE(holder.started());
  ASSERT_EQ(holder.ReadLine(), "1");
  NamedMutex mine;
  EXPECT_EQ(mine.Create("Ferrowyn.exe"), 0);
  EXPECT_FALSE(mine.held());
  EXPECT_EQ(holder.Wait(), 0);
  EXPECT_EQ(mine.Create("Ferrowyn.exe"), 1);
  EXPECT_TRUE(mine.held());
}

TEST_F(NamedMutexTest, SecondObjectInTheSameProcessIsRefused) {
  NamedMutex first, second;
  ASSERT_EQ(first.Create("Ferrowyn.exe"), 1);
  EXPECT_EQ(second.Create("Ferrowyn.exe"), 0);
  // creating again on the holder keeps it held
  EXPECT_EQ(first.Create("Ferrowyn.exe"), 1);
  EXPECT_EQ(second.Create("Ferrowyn.exe"), 0);
}

TEST_F(NamedMutexTest, DestructionReleases) {
  {
    NamedMutex scoped;
    ASSERT_EQ(scoped.Create("Ferrowyn.exe"), 1);
    EXPECT_EQ(TryInOtherProcess("Ferrowyn.exe"), 0);
  }
  EXPECT_EQ(TryInOtherProcess("Ferrowyn.exe"), 1);
}

TEST_F(NamedMutexTest, LockFolderThatCannotHoldFilesGivesMinusErrno) {
  qmx::test::WriteFile(dir_ / "plain", "x");
  ::setenv("QMX_LOCK_DIR", (dir_ / "plain").c_str(), 1);
  NamedMutex mutex;
  EXPECT_EQ(mutex.Create("Ferrowyn.exe"), -ENOTDIR);
  EXPECT_FALSE(mutex.held());
  ::setenv("QMX_LOCK_DIR", (dir_ / "missing").c_str(), 1);
  EXPECT_EQ(mutex.Create("Ferrowyn.exe"), -ENOENT);
}

// Restores an environment variable at the end of a test.
class EnvGuard {
public:
  explicit EnvGuard(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) value_ = v, had_ = true;
  }
  ~EnvGuard() {
    if (had_) ::setenv(name_, value_.c_str(), 1);
    else ::unsetenv(name_);
  }

private:
  const char* name_;
  std::string value_;
  bool had_ = false;
};

// Runs the helper's "try" as another user; 100 + the result, or 127 when it cannot run.
int TryAsUser(uid_t uid, gid_t gid, const std::string& name) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    // only async-signal-safe calls between fork and exec
    if (::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(127);
    char* argv[] = {const_cast<char*>(QMX_OS_HELPER), const_cast<char*>("try"), const_cast<char*>(name.c_str()),
                    nullptr};
    ::execve(argv[0], argv, environ);
    ::_exit(127);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 127;
  return WEXITSTATUS(status);
}

TEST_F(NamedMutexTest, UsersSharingTheTemporaryFolderHaveTheirOwnLocks) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to run a second user";
  EnvGuard lockDir("QMX_LOCK_DIR"), runtimeDir("XDG_RUNTIME_DIR"), tmpDir("TMPDIR");
  ::unsetenv("QMX_LOCK_DIR");
  ::unsetenv("XDG_RUNTIME_DIR");
  // a shared temporary folder, as /tmp is
  fs::permissions(dir_.path(), fs::perms::all | fs::perms::sticky_bit);
  ::setenv("TMPDIR", dir_.path().c_str(), 1);
  EXPECT_EQ(NamedMutex::LockPath("Ferrowyn.exe").parent_path(), dir_.path());

  NamedMutex mine;
  ASSERT_EQ(mine.Create("Ferrowyn.exe"), 1);
  const int other = TryAsUser(65534, 65534, "Ferrowyn.exe");
  if (other == 127) GTEST_SKIP() << "the helper cannot run as another user here";
  EXPECT_EQ(other - 100, 1) << "another user's program counted as running";
  // the same user is still refused
  EXPECT_EQ(TryInOtherProcess("Ferrowyn.exe"), 0);
}

}  // namespace
