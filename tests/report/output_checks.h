// What the report tests look at the written files with: the independent
// readers run through the shell, the names in a folder, and a small disk of
// the test's own that a report fills.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

namespace qmx::rendaval::test {

// The standard output of a shell command.
inline std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

inline std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

inline std::set<std::string> FilesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// A tmpfs of `bytes` (whole pages) on `folder`, mounted in a mount namespace
// of the calling thread's own: it, the threads it starts later and the
// programs they run see the small disk, the rest of the machine does not.
// Needs root; see ok() and why().
class SmallDisk {
public:
  SmallDisk(const std::filesystem::path& folder, uint64_t bytes) : folder_(folder) {
    if (::unshare(CLONE_NEWNS) != 0) {
      why_ = std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
      return;
    }
    // Nothing mounted here reaches the namespace this one came from.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      why_ = std::string("private mounts: ") + std::strerror(errno);
      return;
    }
    std::filesystem::create_directories(folder);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
      why_ = std::string("mount tmpfs: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool ok() const { return mounted_; }
  const std::string& why() const { return why_; }
  // Free bytes: a file that is removed but still open keeps its own.
  uint64_t Free() const {
    struct statvfs s {};
    return ::statvfs(folder_.c_str(), &s) == 0 ? uint64_t(s.f_bfree) * s.f_frsize : 0;
  }

private:
  std::filesystem::path folder_;
  std::string why_;
  bool mounted_ = false;
};

}  // namespace qmx::rendaval::test
