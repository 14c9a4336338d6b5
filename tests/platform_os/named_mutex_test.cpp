// Single-instance lock: a second holder, in this or another process, is refused.
#include "platform/os/os.h"
#include "tests/platform_os/child_process.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
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

constexpr uid_t kNobody = 65534;

// Without a lock folder named: the runtime folder when only the user may
// enter it, else the user's private cache folder, made now.
TEST_F(NamedMutexTest, WithoutALockFolderTheLockLivesInAFolderOfTheUsersOwn) {
  EnvGuard lockDir("QMX_LOCK_DIR"), runtimeDir("XDG_RUNTIME_DIR"), cacheDir("XDG_CACHE_HOME");
  ::unsetenv("QMX_LOCK_DIR");
  ::setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1);
  const fs::path cache = dir_ / "cache" / "qmx410tools";
  const fs::path privateRun = dir_ / "run";
  fs::create_directory(privateRun);
  fs::permissions(privateRun, fs::perms::owner_all);
  const fs::path openRun = dir_ / "open-run";
  fs::create_directory(openRun);
  fs::permissions(openRun, fs::perms::all);
  fs::create_directory_symlink(privateRun, dir_ / "linked-run");
  const fs::path othersRun = dir_ / "others-run";
  fs::create_directory(othersRun);
  fs::permissions(othersRun, fs::perms::owner_all);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(othersRun.c_str(), kNobody, kNobody), 0);
  }
  const struct {
    const char* name;
    const char* runtime;  // nullptr: unset
    fs::path folder;
  } cases[] = {
      {"private runtime folder", privateRun.c_str(), privateRun},
      {"no runtime folder", nullptr, cache},
      {"missing runtime folder", (dir_ / "missing").c_str(), cache},
      {"runtime folder others may enter", openRun.c_str(), cache},
      {"runtime folder behind a link", (dir_ / "linked-run").c_str(), cache},
      {"another user's runtime folder", othersRun.c_str(), root ? cache : othersRun},
  };
  for (const auto& c : cases) {
    if (c.runtime) ::setenv("XDG_RUNTIME_DIR", c.runtime, 1);
    else ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(NamedMutex::LockPath("Ferrowyn.exe"), c.folder / "Ferrowyn.exe.lock") << c.name;
    NamedMutex mutex;
    EXPECT_EQ(mutex.Create("Ferrowyn.exe"), 1) << c.name;
    EXPECT_EQ(TryInOtherProcess("Ferrowyn.exe"), 0) << c.name;
  }
  EXPECT_EQ(fs::status(cache).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(NamedMutexTest, ALinkOrAFileNotOfTheUsersOwnIsNoLock) {
  const fs::path lock = dir_ / "Ferrowyn.exe.lock";
  fs::create_symlink(dir_ / "target", lock);
  NamedMutex mutex;
  EXPECT_EQ(mutex.Create("Ferrowyn.exe"), -ELOOP);
  EXPECT_FALSE(fs::exists(dir_ / "target"));  // the link was not followed
  fs::remove(lock);
  ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0);
  EXPECT_EQ(mutex.Create("Ferrowyn.exe"), -EPERM);
  fs::remove(lock);
  if (::geteuid() == 0) {
    // Made first by another user, open to everyone.
    qmx::test::WriteFile(lock, "");
    fs::permissions(lock, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
    ASSERT_EQ(::chown(lock.c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(mutex.Create("Ferrowyn.exe"), -EPERM);
  }
  EXPECT_FALSE(mutex.held());
}

// Another user can neither block the lock by planting files in the shared
// temporary folder nor take the user's own folder.
TEST_F(NamedMutexTest, AnotherUserCannotTakeOrBlockTheLock) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a second user";
  EnvGuard lockDir("QMX_LOCK_DIR"), runtimeDir("XDG_RUNTIME_DIR"), tmpDir("TMPDIR"), cacheDir("XDG_CACHE_HOME");
  ::unsetenv("QMX_LOCK_DIR");
  ::unsetenv("XDG_RUNTIME_DIR");
  // The shared temporary folder holds what the other user planted.
  fs::permissions(dir_.path(), fs::perms::all | fs::perms::sticky_bit);
  ::setenv("TMPDIR", dir_.path().c_str(), 1);
  for (const char* planted : {"Ferrowyn.exe.lock", "Ferrowyn.exe.0.lock"}) {
    qmx::test::WriteFile(dir_ / planted, "");
    ASSERT_EQ(::chown((dir_ / planted).c_str(), kNobody, kNobody), 0);
  }
  fs::create_directories(dir_ / "mine");
  fs::create_directories(dir_ / "theirs");
  ASSERT_EQ(::chown((dir_ / "theirs").c_str(), kNobody, kNobody), 0);
  ::setenv("XDG_CACHE_HOME", (dir_ / "mine").c_str(), 1);
  NamedMutex mine;
  ASSERT_EQ(mine.Create("Ferrowyn.exe"), 1);

  // With a cache folder of their own the other user has a lock of their own.
  ::setenv("XDG_CACHE_HOME", (dir_ / "theirs").c_str(), 1);
  const int own = TryAsUser(kNobody, kNobody, "Ferrowyn.exe");
  if (own == 127) GTEST_SKIP() << "the helper cannot run as another user here";
  EXPECT_EQ(own - 100, 1) << "another user's program counted as running";
  // Pointed at the user's folder, they are refused (it is not theirs): an
  // error, not a program that runs already.
  ::setenv("XDG_CACHE_HOME", (dir_ / "mine").c_str(), 1);
  EXPECT_LT(TryAsUser(kNobody, kNobody, "Ferrowyn.exe") - 100, 0);
  // The same user is still refused.
  EXPECT_EQ(TryInOtherProcess("Ferrowyn.exe"), 0);
  EXPECT_TRUE(mine.held());
}

// A cache folder that others may write to is no place for the lock: the
// folder another user made there first (which once stopped the start) is
// passed over for the home folder's.
TEST_F(NamedMutexTest, ASharedCacheFolderCannotBlockTheLock) {
  EnvGuard lockDir("QMX_LOCK_DIR"), runtimeDir("XDG_RUNTIME_DIR"), cacheDir("XDG_CACHE_HOME"), home("HOME");
  ::unsetenv("QMX_LOCK_DIR");
  ::unsetenv("XDG_RUNTIME_DIR");
  const fs::path shared = dir_ / "shared";
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  if (::geteuid() == 0) {
    fs::create_directory(shared / "qmx410tools");
    ASSERT_EQ(::chown((shared / "qmx410tools").c_str(), kNobody, kNobody), 0);
  }
  fs::create_directory(dir_ / "home");
  ::setenv("HOME", (dir_ / "home").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", shared.c_str(), 1);
  const fs::path lock = dir_ / "home" / ".cache" / "qmx410tools" / "Ferrowyn.exe.lock";
  EXPECT_EQ(NamedMutex::LockPath("Ferrowyn.exe"), lock);
  NamedMutex mutex;
  EXPECT_EQ(mutex.Create("Ferrowyn.exe"), 1);
  EXPECT_TRUE(fs::exists(lock));
  EXPECT_EQ(TryInOtherProcess("Ferrowyn.exe"), 0);
}

}  // namespace
