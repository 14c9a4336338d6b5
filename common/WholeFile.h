// The one road by which the suite reads a file of outside bytes whole
// (catalogue, settings, project and documentation files, pictures, message
// files, system files): the file is refused before it is read when it is
// larger than the caller's bound, so a huge or endless file can never take
// the memory that reading and parsing it would need. Each kind of file
// names its bound once, where its reader lives.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Reads the whole file at `path` into `bytes`. 1: read. 0: refused, larger
// than `limit` bytes. Negative: -errno when it cannot be opened or read
// (-EISDIR for a folder). On failure `bytes` is empty and `reason` (when
// given) says why in one line naming the file; a refusal also gives the
// file's size (for a file whose size the system does not tell, such as those
// of /proc, the bytes read up to the bound). A FIFO or device never blocks
// the read: it reads as what it holds at once.
int ReadWholeFile(const std::string& path, std::uint64_t limit, std::string& bytes, std::string* reason = nullptr);

// Tests and fuzz targets read outside bytes from memory: while a source is
// set, ReadWholeFile asks it first; the bytes it holds for a path are read as
// that file's (under the same bound), a path it holds nothing for (nullptr)
// is read from the disk. Set before the readers run, not while they do.
using WholeFileSource = std::function<const std::string*(const std::string& path)>;
void SetWholeFileSource(WholeFileSource source);
