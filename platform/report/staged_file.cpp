#include "platform/report/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace qmx::report {
namespace {

namespace fs = std::filesystem;

// Distinct staged names for writes of one process that overlap.
std::atomic<unsigned> stagedCounter{0};

constexpr int kNameAttempts = 100;

}  // namespace

StagedFile::StagedFile(std::string target) : target_(std::move(target)) {
  std::error_code ec;
  // A link is replaced where it points, so the link itself stays.
  if (fs::is_symlink(target_, ec)) {
    const fs::path resolved = fs::canonical(target_, ec);
    if (!ec) target_ = resolved.string();
  }
  const fs::path targetPath(target_);
  if (target_.empty() || !targetPath.has_filename()) {
    error_ = "no file name";
    return;
  }
  struct stat old {};
  const bool exists = ::stat(target_.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) {
    error_ = std::strerror(EISDIR);
    return;
  }
  const fs::path folder = targetPath.has_parent_path() ? targetPath.parent_path() : fs::path(".");
  int fd = -1;
  std::string staged;
  for (int n = 0; n < kNameAttempts && fd < 0; ++n) {
    std::string name(1, '.');
    name.append(targetPath.filename().string()).append(".").append(std::to_string(::getpid()));
    name.append(".").append(std::to_string(stagedCounter++)).append(".part");
    staged = (folder / name).string();
    fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error_ = std::strerror(errno);
    return;
  }
  // A replaced file keeps its permissions; a new one gets the user's default.
  if (exists) (void)::fchmod(fd, old.st_mode & 07777);
  ::close(fd);
  path_ = staged;
}

StagedFile::~StagedFile() {
  if (!path_.empty() && !committed_) ::unlink(path_.c_str());
}

bool StagedFile::Commit() {
  if (path_.empty() || committed_) return committed_;
  const auto fail = [this](int code) {
    error_ = std::strerror(code);
    return false;
  };
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(errno);
  if (::fsync(fd) != 0) {
    const int code = errno;
    ::close(fd);
    return fail(code);
  }
  ::close(fd);
  if (::rename(path_.c_str(), target_.c_str()) != 0) return fail(errno);
  committed_ = true;
  // The new name is durable only once the folder is.
  const fs::path folder = fs::path(target_).has_parent_path() ? fs::path(target_).parent_path() : fs::path(".");
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace qmx::report
