// Helpers shared by the test programs: temporary folders, copies of the staged
// program folder, small file utilities, names of table cases.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace qmx::test {

// Sets (a value) or clears (nullptr) one environment variable for the
// scope and puts the old value back.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value);
  ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  const char* name_;
  std::optional<std::string> old_;
};

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

// A case's text as a test name: letters and digits kept, anything else '_'.
std::string TestName(const std::string& text);
// The name generator of a table of cases that carry their text as `name`.
struct CaseName {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return TestName(info.param.name);
  }
};

}  // namespace qmx::test
