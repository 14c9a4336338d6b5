#include "platform/os/user_folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

namespace {

// Why `folder` cannot hold a folder that is the user's alone; empty when it
// can. A folder of root's counts only where root may have made it for the
// user (`rootsToo`): the user could not make anything in it.
std::string FolderRefusal(const fs::path& folder, bool rootsToo) {
  const std::string name = folder.string();
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return name + " cannot be examined (" + std::strerror(errno) + ")";
  if (!S_ISDIR(st.st_mode)) return name + " is not a folder";
  if (st.st_uid != ::geteuid() && !(rootsToo && st.st_uid == 0)) {
    return name + " is owned by user " + std::to_string(st.st_uid);
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "group or others may write to " + name;
  return {};
}

std::string CacheBaseRefusal(const fs::path& base) {
  struct stat st {};
  if (::lstat(base.c_str(), &st) == 0 || errno != ENOENT) return FolderRefusal(base, true);
  fs::path above = base.parent_path();
  while (above.has_relative_path() && ::lstat(above.c_str(), &st) != 0 && errno == ENOENT) above = above.parent_path();
  const std::string refusal = FolderRefusal(above, false);
  if (refusal.empty()) return {};
  return base.string() + " does not exist, and " + refusal + ", where it would be made";
}

}  // namespace

CacheFolderChoice ChooseUserCacheFolder() {
  std::vector<fs::path> bases;
  if (const char* value = std::getenv("XDG_CACHE_HOME"); value && value[0] == '/') bases.emplace_back(value);
  const fs::path home = HomeFolder() / ".cache";
  if (bases.empty() || fs::path(bases.front()).lexically_normal() != home.lexically_normal()) bases.push_back(home);
  CacheFolderChoice choice;
  for (const fs::path& base : bases) {
    choice.tried.push_back({base, CacheBaseRefusal(base)});
    if (choice.tried.back().refusal.empty()) break;
  }
  choice.folder = choice.tried.back().base / kUserFolderName;
  return choice;
}

fs::path UserCacheFolder() { return ChooseUserCacheFolder().folder; }

int MakePrivateFolder(const fs::path& folder) {
  // Folders made on the way are the user's alone too, so that the cache
  // folder made under them qualifies at the next start whatever the umask.
  std::vector<fs::path> missing;
  struct stat st {};
  for (fs::path above = folder.parent_path(); above.has_relative_path() && ::lstat(above.c_str(), &st) != 0;
       above = above.parent_path()) {
    if (errno != ENOENT) return -errno;
    missing.push_back(above);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) return -errno;
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return -errno;
  // Opened without following a link planted in the user's place, and
  // checked and mended through that one descriptor.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno == ELOOP ? -ENOTDIR : -errno;
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
