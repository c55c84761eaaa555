// POSIX: reading a file, and the stamps that tell its versions apart.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frame/platform/posix_internal.h"

namespace ovel {

using posix::Injected;
using posix::IsRegular;

namespace {

FileStamp StampFrom(const struct stat& info) {
  if (StampsCollide()) return {0, 0, static_cast<int64_t>(info.st_size), 0, 0, true};
  return {static_cast<uint64_t>(info.st_dev),
          static_cast<uint64_t>(info.st_ino),
          static_cast<int64_t>(info.st_size),
          static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
          static_cast<int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec,
          true};
}

}  // namespace

namespace posix {

bool IsRegular(int fd, struct stat* info) {
  if (fstat(fd, info) != 0) {
    PlatformNoteSystemError();
    return false;
  }
  if (S_ISREG(info->st_mode)) return true;
  PlatformNoteCause(S_ISDIR(info->st_mode) ? Cause::kIsDirectory : Cause::kNotRegularFile);
  return false;
}

}  // namespace posix

OpenResult PlatformOpenRead(const char* path, FileRef* file, FileStamp* stamp) {
  *file = kNoFile;
  if (Injected(FaultPoint::kOpen, EIO)) return OpenResult::kFailed;
  // Without O_NONBLOCK, opening a FIFO would wait for a writer forever.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return OpenResult::kMissing;
    PlatformNoteSystemError();
    return OpenResult::kFailed;
  }
  struct stat info;
  if (!IsRegular(fd, &info)) {
    close(fd);
    return OpenResult::kFailed;
  }
  *stamp = StampFrom(info);
  *file = fd;
  return OpenResult::kOpened;
}

long PlatformRead(FileRef file, void* buffer, size_t size) {
  if (Injected(FaultPoint::kRead, EIO)) return -1;
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(static_cast<int>(file), static_cast<char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      PlatformNoteSystemError();
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<long>(done);
}

void PlatformCloseRead(FileRef file) { close(static_cast<int>(file)); }

bool PlatformStampAt(const char* path, FileStamp* stamp) {
  struct stat info;
  if (stat(path, &info) != 0) {
    *stamp = {};
    if (errno == ENOENT || errno == ENOTDIR) return true;
    PlatformNoteSystemError();
    return false;
  }
  *stamp = StampFrom(info);
  return true;
}

}  // namespace ovel
