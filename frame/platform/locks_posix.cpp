// POSIX: the lock that orders every process's loads and changes of a book
// (a lock on its directory and a byte-range lock on its lock file), and the
// count of saves that the lock file keeps.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frame/platform/lock_count.h"
#include "frame/platform/posix_internal.h"

namespace ovel {

using posix::CurrentUmask;
using posix::IsRegular;
using posix::TakeOwner;

namespace {

// The byte that is locked: far past the count that the file holds, so that
// (on platforms whose locks are mandatory) locking never stands in the way
// of reading the count.
constexpr off_t kLockedByte = 0x40000000;

bool SetLock(int fd, short type, bool wait) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = kLockedByte;
  lock.l_len = 1;
#if defined(F_OFD_SETLKW)
  // Open-file-description locks belong to this open of the file, not to
  // the process: another Book of this process on the same directory is
  // excluded too, and closing some other descriptor of the file keeps them.
  int command = wait ? F_OFD_SETLKW : F_OFD_SETLK;
#else
  int command = wait ? F_SETLKW : F_SETLK;
#endif
  while (fcntl(fd, command, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Locks the directory open as `fd`; false with errno set when the lock
// cannot be had (or, for tests, the file system is to look as if it locked
// no directories).
bool LockDirectory(int fd, int operation, bool wait) {
  if (NoDirectoryLocks()) {
    errno = EOPNOTSUPP;
    return false;
  }
  if (!wait) operation |= LOCK_NB;
  while (flock(fd, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Errors of flock that mean the file system does not lock directories
// (network file systems); the lock file alone orders the calls there.
bool MeansNoDirectoryLocks(int error) {
  return error == EBADF || error == ENOLCK || error == EOPNOTSUPP || error == EINVAL ||
         error == ENOSYS;
}

// A new lock file belongs to the book's owner and group (where the caller
// may give it away), and may be read by whoever may read or change the
// book and written by whoever may write the book or the directory: the
// exclusive lock that a change takes needs the file open for writing where
// directories cannot be locked.
void GiveLockFileOwners(int fd, const char* likeFile, const char* directory) {
  struct stat book, parent;
  bool haveParent = stat(directory, &parent) == 0;
  mode_t bookMode;
  if (stat(likeFile, &book) == 0) {
    TakeOwner(fd, book.st_uid, book.st_gid);
    bookMode = book.st_mode;
  } else {
    if (geteuid() == 0 && haveParent) TakeOwner(fd, parent.st_uid, parent.st_gid);
    bookMode = 0666 & ~CurrentUmask();
  }
  mode_t writers = (bookMode & 0222) | (haveParent ? parent.st_mode & 0022 : 0);
  mode_t readers = (bookMode & 0444) | (writers << 1);
  fchmod(fd, 0600 | (readers & 0444) | (writers & 0222));
}

// Opens the lock file, never through a symbolic link and only when it is a
// regular file with no other name; for writing where the caller may, else
// for reading.  A missing one is made when `create`.  -1 (the cause noted)
// when none can be had; `*foreign` when what the name names is no lock file
// of ours (a link, a hard link to some other file, a directory, a FIFO).
// `*info` is the opened file's.
int OpenLockFile(const char* path, const char* likeFile, const char* directory, bool create,
                 bool* writable, bool* foreign, struct stat* info) {
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  *writable = true;
  *foreign = false;
  int fd = open(path, O_RDWR | flags);
  if (fd < 0 && errno == ENOENT && create) {
    fd = open(path, O_RDWR | O_CREAT | O_EXCL | flags, 0600);
    if (fd >= 0) {
      GiveLockFileOwners(fd, likeFile, directory);
    } else if (errno == EEXIST) {
      fd = open(path, O_RDWR | flags);
    }
  }
  // A lock file that the caller may read only still takes a lock.
  if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    *writable = false;
    fd = open(path, O_RDONLY | flags);
  }
  if (fd < 0) {
    *foreign = errno == ELOOP || errno == EISDIR || errno == ENXIO;
    PlatformNoteSystemError();
    return -1;
  }
  // A second name makes it some other file, perhaps another user's, whose
  // first bytes the count of saves would overwrite: refused as a link is.
  bool regular = IsRegular(fd, info);
  if (regular && info->st_nlink > 1) {
    errno = ELOOP;
    PlatformNoteSystemError();
    regular = false;
  }
  if (!regular) {
    *foreign = true;
    close(fd);
    return -1;
  }
  return fd;
}

// True when the lock file opened as `held` is still the file its name
// names: one that was removed while the caller waited for its lock orders
// nothing.
bool StillNamed(const struct stat& held, const char* path) {
  struct stat named;
  return lstat(path, &named) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// Notes the failure of a lock that was not waited for.
void NoteLockFailure() {
  if (errno == EWOULDBLOCK || errno == EAGAIN || errno == EACCES) {
    PlatformNoteCause(Cause::kBusy);
  } else {
    PlatformNoteSystemError();
  }
}

}  // namespace

bool PlatformLock(const char* directory, const char* path, const char* likeFile, LockMode mode,
                  bool wait, BookLock* lock) {
  *lock = kNoLock;
  bool exclusive = mode == LockMode::kExclusive;
  // First the directory: every process takes the two locks in this order.
  int dir = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0 && !LockDirectory(dir, exclusive ? LOCK_EX : LOCK_SH, wait)) {
    int error = errno;
    close(dir);
    dir = -1;
    if (!MeansNoDirectoryLocks(error)) {
      errno = error;
      NoteLockFailure();
      return false;
    }
  }
  lock->directory = dir;

  // Then the lock file.  A reader never makes one: the file is made by
  // those who may change the book, with their modes.
  int fd = -1;
  bool writable = false;
  bool foreign = false;
  for (int attempt = 0; attempt < 16; ++attempt) {
    if (fd >= 0) close(fd);
    struct stat held;
    fd = OpenLockFile(path, likeFile, directory, exclusive, &writable, &foreign, &held);
    if (fd < 0) break;
    if (!SetLock(fd, exclusive && writable ? F_WRLCK : F_RDLCK, wait)) {
      NoteLockFailure();
      close(fd);
      if (!wait) {
        if (dir >= 0) close(dir);
        *lock = kNoLock;
        return false;
      }
      fd = -1;
      break;
    }
    if (StillNamed(held, path)) break;
  }
  lock->file = fd;
  lock->writable = fd >= 0 && writable;
  // The directory's lock excludes every local process; without it, only a
  // write lock on the lock file excludes others.  A lock file that is not
  // ours (planted as a link, or a FIFO) lets no change through: programs
  // on other machines would not be excluded.
  lock->exclusive = exclusive && !foreign && (dir >= 0 || (fd >= 0 && writable));
  if (exclusive && !lock->exclusive) {
    if (fd >= 0) PlatformNoteCause(Cause::kReadOnlyBook);
    PlatformUnlock(lock);
    return false;
  }
  return dir >= 0 || fd >= 0;
}

bool PlatformReadLockCount(const BookLock& lock, uint64_t* count) {
  if (lock.file == kNoFile) return false;
  uint8_t bytes[kLockCountBytes] = {};
  ssize_t n;
  do {
    n = pread(static_cast<int>(lock.file), bytes, sizeof bytes, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    PlatformNoteSystemError();
    return false;
  }
  *count = DecodeLockCount(bytes);
  return true;
}

bool PlatformWriteLockCount(const BookLock& lock, uint64_t count) {
  if (lock.file == kNoFile || !lock.writable) return false;
  uint8_t bytes[kLockCountBytes];
  EncodeLockCount(count, bytes);
  return posix::WriteWhole(static_cast<int>(lock.file), bytes, sizeof bytes, 0);
}

void PlatformUnlock(BookLock* lock) {
  // Released before the descriptors are closed: a child forked meanwhile
  // shares them, and would otherwise hold the locks until it ends.
  if (lock->file != kNoFile) {
    SetLock(static_cast<int>(lock->file), F_UNLCK, false);
    close(static_cast<int>(lock->file));
  }
  if (lock->directory != kNoFile) {
    flock(static_cast<int>(lock->directory), LOCK_UN);
    close(static_cast<int>(lock->directory));
  }
  *lock = kNoLock;
}

void PlatformForgetLock(BookLock* lock) {
  // Both locks are on open file descriptions that the parent shares and
  // keeps open: closing this process's descriptors releases neither.
  // Where record locks belong to the process instead, closing any
  // descriptor of the lock file would drop this process's own (a Client of
  // its own in a transaction): that descriptor stays open.
#if defined(F_OFD_SETLKW)
  if (lock->file != kNoFile) close(static_cast<int>(lock->file));
#endif
  if (lock->directory != kNoFile) close(static_cast<int>(lock->directory));
  *lock = kNoLock;
}

}  // namespace ovel
