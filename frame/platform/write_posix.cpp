// POSIX: new files (uniquely named, written, flushed and closed, with the
// owner and mode of the file they will replace), and the sweep of those
// that saves which died left behind.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frame/platform/posix_internal.h"

namespace ovel {

namespace posix {

void TakeOwner(int fd, uid_t owner, gid_t group) {
  if (owner == geteuid() && group == getegid()) return;
  if (fchown(fd, owner, group) == 0) return;
  if (fchown(fd, static_cast<uid_t>(-1), group) == 0) return;
  // Neither is allowed: the file keeps the caller's owner and group.
}

bool WriteWhole(int fd, const void* buffer, size_t size, off_t at) {
  // A short write (a full disk, a file size limit) is continued; the call
  // after it reports the error.
  size_t done = 0;
  while (done < size) {
    const char* from = static_cast<const char*>(buffer) + done;
    ssize_t n = at < 0 ? write(fd, from, size - done)
                       : pwrite(fd, from, size - done, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      PlatformNoteSystemError();
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

void TakeModeOf(int fd, const char* likeFile, const char* directory) {
  struct stat existing;
  if (stat(likeFile, &existing) == 0) {
    TakeOwner(fd, existing.st_uid, existing.st_gid);
    fchmod(fd, existing.st_mode & 07777);
    return;
  }
  struct stat parent;
  if (geteuid() == 0 && stat(directory, &parent) == 0) TakeOwner(fd, parent.st_uid, parent.st_gid);
  fchmod(fd, 0666 & ~CurrentUmask());
}

}  // namespace posix

using posix::Injected;
using posix::TakeModeOf;
using posix::WriteWhole;

bool PlatformCreateUnique(const char* directory, const char* likeFile, char* pathOut,
                          FileRef* file) {
  *file = kNoFile;
  if (Injected(FaultPoint::kCreate, ENOSPC)) return false;
  // The backup of a replace adds one character to this name.
  static const char kPattern[] = ".ovelXXXXXX";
  static_assert(sizeof kPattern <= kLongestFileName);
  size_t length = strlen(directory);
  if (length + sizeof kPattern > kPathMax) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  memcpy(pathOut, directory, length);
  memcpy(pathOut + length, kPattern, sizeof kPattern);
  int fd = mkostemp(pathOut, O_CLOEXEC);
  if (fd < 0) {
    PlatformNoteSystemError();
    return false;
  }
  RecordOpenedFile(fd, pathOut);
  // mkostemp makes the file private and the caller's; it takes the owner
  // and mode of the file it will replace.
  TakeModeOf(fd, likeFile, directory);
  *file = fd;
  return true;
}

bool PlatformWrite(FileRef file, const void* buffer, size_t size) {
  if (Injected(FaultPoint::kWrite, ENOSPC)) return false;
  if (!WriteWhole(static_cast<int>(file), buffer, size, -1)) return false;
  RecordFileOpOn(FileOp::kWrite, file, buffer, size);
  return true;
}

bool PlatformFlush(FileRef file) {
  if (Injected(FaultPoint::kFlush, EIO)) return false;
  if (FileFlushesSkipped()) return true;
  if (fsync(static_cast<int>(file)) != 0) {
    PlatformNoteSystemError();
    return false;
  }
  RecordFileOpOn(FileOp::kFlush, file);
  return true;
}

bool PlatformClose(FileRef file) {
  RecordFileOpOn(FileOp::kClose, file);
  if (close(static_cast<int>(file)) == 0) return true;
  PlatformNoteSystemError();
  return false;
}

void PlatformRemove(const char* path) {
  // A clean-up step: what it meets is not the cause of a failure.
  int error = errno;
  if (unlink(path) == 0) RecordFileOp(FileOp::kUnlink, path);
  errno = error;
}

namespace {

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The temporary files of saves, and the copies they keep of the book they
// replace: ".ovel", the six letters and digits mkostemp puts in place of
// "XXXXXX", and for a copy a "b".  Nothing else is ever removed.
bool IsSaveLeftover(const char* name) {
  if (strncmp(name, ".ovel", 5) != 0) return false;
  for (int i = 5; i < 11; ++i) {
    if (!IsNameCharacter(name[i])) return false;
  }
  return name[11] == '\0' || (name[11] == 'b' && name[12] == '\0');
}

}  // namespace

void PlatformRemoveStaleFiles(const char* directory) {
  DIR* listing = opendir(directory);
  if (!listing) return;
  char path[kPathMax];
  size_t length = strlen(directory);
  while (struct dirent* entry = readdir(listing)) {
    if (!IsSaveLeftover(entry->d_name) || length + strlen(entry->d_name) + 1 > sizeof path)
      continue;
    memcpy(path, directory, length);
    memcpy(path + length, entry->d_name, strlen(entry->d_name) + 1);
    PlatformRemove(path);
  }
  closedir(listing);
}

}  // namespace ovel
