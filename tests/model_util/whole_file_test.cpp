// The bounded read of a whole file: read up to the bound, refused past it
// before anything is read (with the file's name and size), and files that
// tell no size or never end read no further than one byte past the bound.
#include "common/WholeFile.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using qmx::test::TempDir;
using qmx::test::WriteFile;

TEST(WholeFile, ReadUpToTheBoundAndRefusedPastIt) {
  TempDir dir("qmx-whole");
  WriteFile(dir / "ten", "0123456789");
  WriteFile(dir / "empty", "");
  // Sparse: 8 MB that take no room and must never be read.
  WriteFile(dir / "big", "");
  fs::resize_file(dir / "big", 8ull * 1024 * 1024);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const struct {
    const char* name;
    fs::path path;
    std::uint64_t limit;
    int result;
    const char* bytes;
    std::string reason;
  } cases[] = {
      {"below the bound", dir / "ten", 11, 1, "0123456789", ""},
      {"at the bound", dir / "ten", 10, 1, "0123456789", ""},
      {"empty", dir / "empty", 0, 1, "", ""},
      {"one byte past", dir / "ten", 9, 0, "",
       "The file " + (dir / "ten").string() +
           " is too large to be read: 10 bytes, more than the 9 bytes a file of its kind may have"},
      {"large", dir / "big", 4ull * 1024 * 1024, 0, "",
       "The file " + (dir / "big").string() +
           " is too large to be read: 8388608 bytes, more than the 4194304 bytes a file of its kind may have"},
      {"endless, no size told", "/dev/zero", 1000, 0, "",
       "The file /dev/zero is too large to be read: 1001 bytes, more than the 1000 bytes a file of its kind may have"},
      {"a FIFO nobody writes", dir / "fifo", 1000, 1, "", ""},
      {"missing", dir / "missing", 1000, -ENOENT, "",
       "Cannot open the file " + (dir / "missing").string() + ": No such file or directory"},
      {"a folder", dir.path(), 1000, -EISDIR, "", "Cannot open the file " + dir.path().string() + ": it is a folder"},
  };
  for (const auto& c : cases) {
    std::string bytes = "left over", reason;
    EXPECT_EQ(ReadWholeFile(c.path.string(), c.limit, bytes, &reason), c.result) << c.name;
    EXPECT_EQ(bytes, c.bytes) << c.name;
    EXPECT_EQ(reason, c.reason) << c.name;
  }
  // A file of /proc tells no size and is read whole all the same.
  std::string status;
  EXPECT_EQ(ReadWholeFile("/proc/self/status", 1024 * 1024, status), 1);
  EXPECT_NE(status.find("Pid:"), std::string::npos);
}
