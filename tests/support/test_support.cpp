#include "tests/support/test_support.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qmx::test {

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  if (value) ::setenv(name, value, 1);
  else ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (old_) ::setenv(name_, old_->c_str(), 1);
  else ::unsetenv(name_);
}

TempDir::TempDir(const std::string& prefix) {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() /
                         (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only or odd entries; removal is best effort.
  fs::remove_all(path_, ec);
}

fs::path DistDir() {
  if (const char* env = std::getenv("QMX_DIST_DIR"); env && *env) return env;
  return QMX_BUILD_DIST_DIR;
}

void CopyDist(const fs::path& dest) {
  fs::create_directories(dest);
  fs::copy(DistDir(), dest, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out << bytes;
}

fs::path SourcePath(const std::string& relative) { return fs::path(QMX_SOURCE_DIR) / relative; }

std::string TestName(const std::string& text) {
  std::string name = text;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

}  // namespace qmx::test
