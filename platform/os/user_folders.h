// Where the programs of the suite write. The program folder holds what is
// shipped (programs, catalogue, pictures, help, example projects) and, when
// the running user may write to it, also what the programs write: log files,
// the documentation work folder and the settings file. An installed program
// folder (/opt/qmx410tools) is not writable by a normal user; then those live
// in per-user folders instead, and the settings file starts as a copy of the
// shipped one. The choice is made here, once, for every program of the suite.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qmx::os {

// Name of the per-user folders below the XDG data and config folders.
inline constexpr const char* kUserFolderName = "qmx410tools";

struct WritableFolders {
  std::filesystem::path data;    // holds Log/, ~tmp/ and, per user, Projects/
  std::filesystem::path config;  // holds the settings file
  bool perUser = false;          // the program folder is not writable: the per-user folders
};

// Whether the running user may create files in `folder` (an existing folder on
// a file system mounted for writing).
bool IsWritableFolder(const std::filesystem::path& folder);

// The program folder for both when it is writable; else
// $XDG_DATA_HOME/qmx410tools and $XDG_CONFIG_HOME/qmx410tools (defaults
// ~/.local/share and ~/.config; relative values are ignored, as the XDG rules
// say). Nothing is created.
WritableFolders ChooseWritableFolders(const std::filesystem::path& programFolder);

// The user's home folder: $HOME when absolute, else the password database's.
std::filesystem::path HomeFolder();

// A folder under which the suite keeps a cache folder that no other user
// may plant, take or remove.
struct CacheBase {
  std::filesystem::path base;  // $XDG_CACHE_HOME, or the home folder's .cache
  std::string refusal;         // empty when it qualifies, else why not ("others may write to it")
};

// The user's cache folder of the suite, <base>/qmx410tools, and the bases
// passed over on the way to it. A base qualifies when it is a folder owned
// by the user (or by root) that neither group nor others may write to (a
// link to such a folder counts as the folder); one that does not exist yet
// when the nearest folder above it that exists qualifies, so that nobody
// else can make it first. The bases are tried in order: $XDG_CACHE_HOME
// (when absolute, as the XDG rules say), then the home folder's .cache; the
// first that qualifies is taken, else the last all the same. Nothing is
// created.
struct CacheFolderChoice {
  std::filesystem::path folder;
  std::vector<CacheBase> tried;  // in order; the last is the base of `folder`
  bool fellBack() const { return tried.size() > 1 || !tried.back().refusal.empty(); }
};
CacheFolderChoice ChooseUserCacheFolder();
// ChooseUserCacheFolder().folder.
std::filesystem::path UserCacheFolder();

// Makes `folder` a folder only the running user may write to, for files
// another user must neither plant nor replace (the single-instance lock, the
// backups of files rewritten in place): made with mode 0700 when missing,
// and so are its missing parents; an existing one must be a folder, not a
// symbolic link, and the user's own, and loses any access rights of others.
// 0, or -errno (-EPERM: another user's; -ENOTDIR: a link or a file).
int MakePrivateFolder(const std::filesystem::path& folder);

// Whether `folder` is a folder of the running user's own that nobody else
// may enter or write to (not a symbolic link, owner the user, no rights for
// group or others), as $XDG_RUNTIME_DIR must be.
bool IsPrivateFolder(const std::filesystem::path& folder);

// Copies `shipped` to `copy` when `copy` does not exist yet, making its
// folder. The copy is written beside its final name and renamed into place,
// so an interrupted first start never leaves half a file. 1 copied, 0 `copy`
// was there already, -errno when the copy could not be made (-ENOENT when
// `shipped` is missing).
int SeedFile(const std::filesystem::path& shipped, const std::filesystem::path& copy);

}  // namespace qmx::os
