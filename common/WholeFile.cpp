#include "common/WholeFile.h"

#include "common/Utility.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

int Fail(int code, std::string text, std::string& bytes, std::string* reason) {
  bytes.clear();
  bytes.shrink_to_fit();
  if (reason) *reason = std::move(text);
  return code;
}

std::string TooLarge(const std::string& path, std::uint64_t size, std::uint64_t limit) {
  return StrFormat("The file %s is too large to be read: %llu bytes, more than the %llu bytes a file of its kind "
                   "may have",
                   path.c_str(), static_cast<unsigned long long>(size), static_cast<unsigned long long>(limit));
}

WholeFileSource& Source() {
  static WholeFileSource source;
  return source;
}

}  // namespace

void SetWholeFileSource(WholeFileSource source) { Source() = std::move(source); }

int ReadWholeFile(const std::string& path, std::uint64_t limit, std::string& bytes, std::string* reason) {
  bytes.clear();
  if (const WholeFileSource& source = Source()) {
    if (const std::string* held = source(path)) {
      if (held->size() > limit) return Fail(0, TooLarge(path, held->size(), limit), bytes, reason);
      bytes = *held;
      return 1;
    }
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    return Fail(-error, StrFormat("Cannot open the file %s: %s", path.c_str(), std::strerror(error)), bytes, reason);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    return Fail(-error,
                error == EISDIR ? StrFormat("Cannot open the file %s: it is a folder", path.c_str())
                                : StrFormat("Cannot open the file %s: %s", path.c_str(), std::strerror(error)),
                bytes, reason);
  }
  const std::uint64_t told = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  if (told > limit) {
    ::close(fd);
    return Fail(0, TooLarge(path, told, limit), bytes, reason);
  }
  // One byte more than the file says it has: its end (or its growth) shows
  // without a second pass; files that tell no size grow the buffer as they
  // are read, never beyond one byte past the bound.
  const std::uint64_t cap = limit + 1;
  std::uint64_t have = 0;
  bytes.resize(static_cast<size_t>(std::min<std::uint64_t>(told > 0 ? told + 1 : 64 * 1024, cap)));
  for (;;) {
    if (have == bytes.size()) {
      if (have >= cap) break;
      bytes.resize(static_cast<size_t>(std::min<std::uint64_t>(2 * have, cap)));
    }
    const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;  // a FIFO or device with nothing waiting
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      return Fail(-error, StrFormat("Cannot read the file %s: %s", path.c_str(), std::strerror(error)), bytes,
                  reason);
    }
    if (n == 0) break;
    have += static_cast<std::uint64_t>(n);
  }
  ::close(fd);
  if (have > limit) return Fail(0, TooLarge(path, std::max(told, have), limit), bytes, reason);
  bytes.resize(static_cast<size_t>(have));
  return 1;
}
