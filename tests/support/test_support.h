// Helpers shared by the test programs: temporary folders, copies of the staged
// program folder, small file utilities.
#pragma once

#include <filesystem>
#include <string>

namespace qmx::test {

// A folder under the system's temporary directory, removed with its contents
// when the object goes out of scope.
class TempDir {
public:
  explicit TempDir(const std::string& prefix = "qmx");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
  std::filesystem::path path_;
};

// The staged program folder of this build (QMX_DIST_DIR, or the folder the
// build configured).
std::filesystem::path DistDir();

// Copies the staged program folder into `dest` (which is created), so a test
// runs the programs from a folder of its own and never writes into the build.
void CopyDist(const std::filesystem::path& dest);

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// Absolute path of a file under the source tree.
std::filesystem::path SourcePath(const std::string& relative);

}  // namespace qmx::test
