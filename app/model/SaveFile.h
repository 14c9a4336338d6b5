// Writing a user's file (the settings, a project) so that a readable copy
// of it is on disk at every moment, wherever the write is cut off.
//
// The usual road replaces the file (qmx::os::ReplaceFile). Where the file's
// folder refuses new files but the file itself may be written, the file is
// rewritten in place beside a backup, and its reader falls back to that
// backup when it finds the file broken.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qmx {

// Where the backup of `file` lies in the user's private cache folder (its
// folder refuses new files, so none can go beside it):
// "<cache>/<file name>.<FNV-1a of the absolute path>.bak", a name of its own
// for every file of that name.
std::string CacheBackupPath(const std::string& file);

// Rewrites the file `path` names (a link followed) where it is, beside a
// backup: the first of `backups` that can be opened for writing, made when
// missing (one in the user's cache folder has that folder made the user's
// alone first, qmx::os::MakePrivateFolder). File and backup get `bytes` one after the other, each whole
// and on disk (the backup's folder too) before the other is cut, and the
// broken one of the two (it does not load as an XML document of at most
// `loadLimit` bytes) goes first: one of them reads at every moment. 1; 0
// after -1003 naming the file, or the first backup when none can be opened
// (nothing is cut then), or -1006 naming the one whose writing failed.
int RewriteInPlaceWithBackup(const std::string& path, std::string_view bytes, const std::vector<std::string>& backups,
                             std::uint64_t loadLimit);

// Whether the file loads as an XML document of at most `loadLimit` bytes;
// the parser's reason when it does not.
bool LoadsAsXml(const std::string& path, std::uint64_t loadLimit, std::string* cause = nullptr);

}  // namespace qmx
