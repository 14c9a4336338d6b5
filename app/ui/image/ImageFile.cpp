#include "app/ui/image/ImageFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/ui/image/ImageLog.h"

namespace qmx {

bool WritePictureFile(const std::filesystem::path& path,
                      std::initializer_list<std::span<const uint8_t>> parts, std::string& reason) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    reason = std::strerror(errno);
    return false;
  }
  // Only a regular file is removed again after a failure (never a device).
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  bool ok = true;
  for (const auto& part : parts) {
    const uint8_t* p = part.data();
    size_t left = part.size();
    while (ok && left > 0) {
      ssize_t n = ::write(fd, p, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        reason = std::strerror(errno);
        ok = false;
      } else if (n == 0) {
        reason = "nothing was written";
        ok = false;
      } else {
        p += n;
        left -= static_cast<size_t>(n);
      }
    }
    if (!ok) break;
  }
  if (::close(fd) != 0 && ok) {
    reason = std::strerror(errno);
    ok = false;
  }
  if (!ok && regular) ::unlink(path.c_str());
  return ok;
}

void LogPictureSaveError(const char* func, const std::filesystem::path& path, const std::string& reason) {
  ImageLog(kLogError, kImageLogSource,
           FormatImageText("[Error Code: %d] Failed to save the picture file. File: %s. Reason: %s. Func: %s.",
                           kImageErrFileSave, path.c_str(), reason.c_str(), func));
}

}  // namespace qmx
