// Folder and file helpers on temporary folders. The tests run as root, so
// failures come from paths that run through a regular file, over-long names
// and (where the file system has it) the immutable attribute.
#include "common/Utility.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>

namespace fs = std::filesystem;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

// Marks a file immutable for its lifetime, so even root cannot delete it.
class Immutable {
public:
  explicit Immutable(const fs::path& path) : path_(path) { ok_ = SetFlag(true); }
  ~Immutable() {
    if (ok_) SetFlag(false);
  }
  bool ok() const { return ok_; }

private:
  bool SetFlag(bool on) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
  }
  fs::path path_;
  bool ok_ = false;
};

// Restores the working folder after a test that changes it.
class WorkingFolder {
public:
  explicit WorkingFolder(const fs::path& path) : saved_(fs::current_path()) { fs::current_path(path); }
  ~WorkingFolder() { fs::current_path(saved_); }

private:
  fs::path saved_;
};

// ---- CreateDirectories ------------------------------------------------------------------

TEST(CreateDirectories, CreatesEveryMissingFolder) {
  TempDir dir("qmx-util");
  const fs::path target = dir / "a/b/c";
  EXPECT_EQ(CreateDirectories(target.string()), 1);
  EXPECT_TRUE(fs::is_directory(target));
  // again: every folder exists already
  EXPECT_EQ(CreateDirectories(target.string()), 1);
  // doubled and trailing separators, blanks around the path
  EXPECT_EQ(CreateDirectories(" " + dir.path().string() + "//x///y/ \t"), 1);
  EXPECT_TRUE(fs::is_directory(dir / "x/y"));
}

TEST(CreateDirectories, RelativePathStartsInTheWorkingFolder) {
  TempDir dir("qmx-util");
  WorkingFolder cwd(dir.path());
  EXPECT_EQ(CreateDirectories("rel/one"), 1);
  EXPECT_TRUE(fs::is_directory(dir / "rel/one"));
}

TEST(CreateDirectories, InvalidPathCreatesNothing) {
  TempDir dir("qmx-util");
  EXPECT_EQ(CreateDirectories(""), 0);
  EXPECT_EQ(CreateDirectories(" \t "), 0);
  for (const char* bad : {"a*b", "a?b", "a:b", "a|b", "a<b", "a\\b"}) {
    EXPECT_EQ(CreateDirectories((dir / "ok" / bad / "c").string()), 0) << bad;
  }
  EXPECT_FALSE(fs::exists(dir / "ok"));
}

TEST(CreateDirectories, FailuresReturnMinusTheSystemError) {
  TempDir dir("qmx-util");
  WriteFile(dir / "file", "x");
  const std::pair<std::string, int> cases[] = {
      {"file/sub", -ENOTDIR},               // a folder below a regular file
      {"file", -ENOTDIR},                   // the folder's own name is taken by a regular file: not a success
      {std::string(300, 'n'), -ENAMETOOLONG},  // a name longer than the file system allows
  };
  for (const auto& [below, expected] : cases) EXPECT_EQ(CreateDirectories((dir / below).string()), expected) << below;
}

TEST(CreateDirectories, ManySeparatorsEnd) {
  // more separators than a 16-bit field index can count
  EXPECT_EQ(CreateDirectories(std::string(40000, '/')), 1);
  TempDir dir("qmx-util");
  EXPECT_EQ(CreateDirectories(dir.path().string() + std::string(40000, '/') + "deep"), 1);
  EXPECT_TRUE(fs::is_directory(dir / "deep"));
}

// ---- IsFileExistInDir ------------------------------------------------------------------

TEST(IsFileExistInDir, FindsFilesIgnoringCaseButNotFolders) {
  TempDir dir("qmx-util");
  WriteFile(dir / "Data.XML", "x");
  fs::create_directory(dir / "Sub");
  struct Case {
    const char* below;  // appended to the folder
    const char* name;
    int expected;
  };
  const Case cases[] = {
      {"", "Data.XML", 1}, {"", "data.xml", 1}, {"/", "DATA.xml", 1}, {"", "Data", 0},
      {"", "Sub", 0},      {"", "sub", 0},      {"", "", 0},          {"", ".", 0},
      {"/missing", "Data.XML", 0},              {"/Data.XML", "Data.XML", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsFileExistInDir(dir.path().string() + c.below, c.name), c.expected) << c.below << " " << c.name;
}

// ---- DeleteAllFilesInDir -----------------------------------------------------------------

TEST(DeleteAllFilesInDir, DeletesFilesKeepsSubFolders) {
  TempDir dir("qmx-util");
  const fs::path folder = dir / "tmp";
  WriteFile(folder / "a.xml", "1");
  WriteFile(folder / "B.JPG", "2");
  WriteFile(folder / ".hidden", "3");
  WriteFile(folder / "sub/keep.txt", "4");
  EXPECT_EQ(DeleteAllFilesInDir(folder.string(), 0), 1);
  EXPECT_FALSE(fs::exists(folder / "a.xml"));
  EXPECT_FALSE(fs::exists(folder / "B.JPG"));
  EXPECT_FALSE(fs::exists(folder / ".hidden"));
  EXPECT_TRUE(fs::exists(folder / "sub/keep.txt"));

  // with the remove flag the folder stays while it holds a sub-folder (result ignored)
  WriteFile(folder / "c.xml", "5");
  EXPECT_EQ(DeleteAllFilesInDir(folder.string() + "/", 1), 1);
  EXPECT_FALSE(fs::exists(folder / "c.xml"));
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST(DeleteAllFilesInDir, RemoveFlagRemovesTheEmptiedFolder) {
  TempDir dir("qmx-util");
  const fs::path folder = dir / "tmp";
  WriteFile(folder / "a.xml", "1");
  WriteFile(folder / "b.xml", "2");
  EXPECT_EQ(DeleteAllFilesInDir(folder.string(), 1), 1);
  EXPECT_FALSE(fs::exists(folder));

  fs::create_directory(folder);
  EXPECT_EQ(DeleteAllFilesInDir(folder.string(), 2), 1);  // 2 is not 1: the folder stays
  EXPECT_TRUE(fs::is_directory(folder));
}

TEST(DeleteAllFilesInDir, SymbolicLinksAreRemovedNotFollowed) {
  TempDir dir("qmx-util");
  const fs::path folder = dir / "tmp";
  WriteFile(dir / "outside.txt", "keep");
  fs::create_directories(folder);
  fs::create_symlink(dir / "outside.txt", folder / "link");
  fs::create_symlink(dir / "nowhere", folder / "dangling");
  EXPECT_EQ(DeleteAllFilesInDir(folder.string(), 0), 1);
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "link")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "dangling")));
  EXPECT_TRUE(fs::exists(dir / "outside.txt"));
}

TEST(DeleteAllFilesInDir, FolderThatCannotBeReadIsAnError) {
  TempDir dir("qmx-util");
  WriteFile(dir / "file", "x");
  EXPECT_EQ(DeleteAllFilesInDir((dir / "missing").string(), 0), -ENOENT);
  EXPECT_EQ(DeleteAllFilesInDir((dir / "file").string(), 0), -ENOTDIR);
  EXPECT_TRUE(fs::exists(dir / "file"));
}

TEST(DeleteAllFilesInDir, FailingDeletionReturnsMinusItsError) {
  TempDir dir("qmx-util");
  const fs::path folder = dir / "tmp";
  WriteFile(folder / "locked", "x");
  Immutable lock(folder / "locked");
  if (!lock.ok()) GTEST_SKIP() << "the file system has no immutable attribute";
  EXPECT_EQ(DeleteAllFilesInDir(folder.string(), 1), -EPERM);
  EXPECT_TRUE(fs::exists(folder / "locked"));
}

TEST(FolderHelpers, EmptyFolderTextNamesNoFolder) {
  // neither the working folder nor the root may be listed or emptied
  TempDir dir("qmx-util");
  WorkingFolder cwd(dir.path());
  WriteFile(dir / "qmx-util-only-here.txt", "x");
  EXPECT_EQ(DeleteAllFilesInDir("", 0), -ENOENT);
  EXPECT_EQ(DeleteAllFilesInDir("", 1), -ENOENT);
  EXPECT_EQ(DeleteFileInDir("", "qmx-util-only-here.txt"), -ENOENT);
  EXPECT_EQ(IsFileExistInDir("", "qmx-util-only-here.txt"), 0);
  EXPECT_TRUE(fs::exists(dir / "qmx-util-only-here.txt"));
  // the working folder written out is a folder like any other
  EXPECT_EQ(IsFileExistInDir(".", "QMX-UTIL-ONLY-HERE.TXT"), 1);
  EXPECT_EQ(DeleteFileInDir(".", "qmx-util-only-here.txt"), 1);
  EXPECT_FALSE(fs::exists(dir / "qmx-util-only-here.txt"));
}

// ---- DeleteFileInDir ------------------------------------------------------------------------

TEST(DeleteFileInDir, DeletesTheFileIgnoringCase) {
  TempDir dir("qmx-util");
  WriteFile(dir / "Project.PTP", "1");
  WriteFile(dir / "other.ptp", "2");
  fs::create_directory(dir / "project.ptp.d");
  const std::string folder = dir.path().string();
  EXPECT_EQ(DeleteFileInDir(folder, "project.ptp"), 1);
  EXPECT_FALSE(fs::exists(dir / "Project.PTP"));
  EXPECT_TRUE(fs::exists(dir / "other.ptp"));
  // nothing matches: still 1
  EXPECT_EQ(DeleteFileInDir(folder, "project.ptp"), 1);
  // a sub-folder of that name is not deleted
  EXPECT_EQ(DeleteFileInDir(folder, "PROJECT.PTP.D"), 1);
  EXPECT_TRUE(fs::is_directory(dir / "project.ptp.d"));
}

TEST(DeleteFileInDir, FailuresReturnMinusTheSystemError) {
  TempDir dir("qmx-util");
  WriteFile(dir / "file", "x");
  EXPECT_EQ(DeleteFileInDir((dir / "missing").string(), "file"), -ENOENT);
  EXPECT_EQ(DeleteFileInDir((dir / "file").string(), "file"), -ENOTDIR);

  WriteFile(dir / "Locked.txt", "x");
  Immutable lock(dir / "Locked.txt");
  if (!lock.ok()) GTEST_SKIP() << "the file system has no immutable attribute";
  EXPECT_EQ(DeleteFileInDir(dir.path().string(), "locked.TXT"), -EPERM);
  EXPECT_TRUE(fs::exists(dir / "Locked.txt"));
}

// ---- SplitFilePath ----------------------------------------------------------------------------

TEST(SplitFilePath, Table) {
  struct Case {
    const char* path;
    const char* folder;
    const char* title;
    const char* fileName;
  };
  const Case cases[] = {
      {"/home/u/Projects/Line 1.ptp", "/home/u/Projects", "Line 1", "Line 1.ptp"},
      {"Line 1.ptp", "", "Line 1", "Line 1.ptp"},
      {"a/b.d/c", "a/b.d", "", "c"},
      {"a/c.tar.gz", "a", "c.tar", "c.tar.gz"},
      {"a/", "a", "", ""},
      {"/x.xml", "", "x", "x.xml"},
      {".hidden", "", "", ".hidden"},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    std::string folder = "junk", title = "junk", fileName = "junk";
    EXPECT_EQ(SplitFilePath(c.path, folder, title, fileName), 1);
    EXPECT_EQ(folder, c.folder) << c.path;
    EXPECT_EQ(title, c.title) << c.path;
    EXPECT_EQ(fileName, c.fileName) << c.path;
  }
}

}  // namespace
