#include "platform/os/user_folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace qmx::os {
namespace {

// An XDG base folder: the variable when it names an absolute path, else the
// default below the home folder.
fs::path XdgBase(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') return fs::path(value);
  return HomeFolder() / fallback;
}

}  // namespace

bool IsWritableFolder(const fs::path& folder) {
  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec)) return false;
  // access() answers for the real user and sees read-only mounts (EROFS).
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

fs::path HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return fs::path(home);
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/') {
    return fs::path(entry->pw_dir);
  }
  return fs::path("/");
}

bool IsPrivateFolder(const fs::path& folder) {
  struct stat st {};
  return !folder.empty() && ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 077) == 0;
}

fs::path UserCacheFolder() { return XdgBase("XDG_CACHE_HOME", ".cache") / kUserFolderName; }

int MakePrivateFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder.parent_path(), ec);
  if (ec) return -(ec.value() ? ec.value() : EIO);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return -errno;
  // Opened without following a link planted in the user's place, and
  // checked and mended through that one descriptor.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno == ELOOP ? -ENOTDIR : -errno;
  struct stat st {};
  int result = 0;
  if (::fstat(fd, &st) != 0) result = -errno;
  else if (st.st_uid != ::geteuid()) result = -EPERM;
  else if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) result = -errno;
  ::close(fd);
  return result;
}

WritableFolders ChooseWritableFolders(const fs::path& programFolder) {
  if (IsWritableFolder(programFolder)) return {programFolder, programFolder, false};
  return {XdgBase("XDG_DATA_HOME", ".local/share") / kUserFolderName,
          XdgBase("XDG_CONFIG_HOME", ".config") / kUserFolderName, true};
}

int SeedFile(const fs::path& shipped, const fs::path& copy) {
  std::error_code ec;
  if (fs::exists(copy, ec)) return 0;
  if (!fs::is_regular_file(shipped, ec)) return -ENOENT;
  fs::create_directories(copy.parent_path(), ec);
  if (ec) return -(ec.value() ? ec.value() : EIO);
  fs::path part = copy;
  part += ".part";
  fs::remove(part, ec);
  if (!fs::copy_file(shipped, part, fs::copy_options::overwrite_existing, ec) || ec) {
    const int error = ec.value() ? ec.value() : EIO;
    fs::remove(part, ec);
    return -error;
  }
  // The shipped file may be read-only in the program folder; the user's copy
  // is the user's to change.
  fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
  fs::rename(part, copy, ec);
  if (ec) {
    const int error = ec.value();
    fs::remove(part, ec);
    return -error;
  }
  return 1;
}

}  // namespace qmx::os
