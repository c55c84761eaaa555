// POSIX implementation of the platform layer.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frame/fault_injection.h"
#include "frame/platform.h"

namespace ovel {
namespace {

// The errno value a failing call reports; 0 when none was noted.
int gNotedError;

// True when the armed fault trips here; the failure then looks like the
// system's own, with `error`.
bool Injected(FaultPoint point, int error) {
  if (!FaultTrips(point)) return false;
  errno = error;
  gNotedError = error;
  return true;
}

int ErrnoOf(Cause cause) {
  switch (cause) {
    case Cause::kInvalidArgument:
    case Cause::kInvalidHandle:
      return EINVAL;
    case Cause::kNoMemory:
      return ENOMEM;
    case Cause::kNameTooLong:
      return ENAMETOOLONG;
    case Cause::kMalformedBook:
      return EBADMSG;
    case Cause::kBookFull:
      return E2BIG;
    case Cause::kIsDirectory:
      return EISDIR;
    case Cause::kNotRegularFile:
      return ENXIO;
    case Cause::kStaleView:
      return ESTALE;
    case Cause::kNotFound:
      return ENOENT;
    case Cause::kBusy:
      return EBUSY;
    case Cause::kReadOnlyBook:
      return EACCES;
    case Cause::kIoError:
      break;
  }
  return EIO;
}

}  // namespace

void PlatformNoteCause(Cause cause) { gNotedError = ErrnoOf(cause); }
void PlatformNoteSystemError() { gNotedError = errno ? errno : EIO; }
void PlatformClearError() { gNotedError = 0; }
void PlatformRaiseError() { errno = gNotedError ? gNotedError : EIO; }
void PlatformRaiseNoError() { errno = 0; }
long PlatformNotedCause() { return gNotedError; }
void PlatformRestoreCause(long noted) { gNotedError = static_cast<int>(noted); }

namespace {

// Movable local memory is a table of slots.  A handle carries its slot and
// the slot's generation, which changes whenever the slot is freed, so a
// stale handle never names a later record.
struct LocalSlot {
  void* address;
  uintptr_t generation;
  uint32_t nextFree;  // free list, slot index + 1; 0 ends it
  bool inUse;
};

constexpr unsigned kSlotBits = 20;
constexpr uintptr_t kSlotMask = (uintptr_t{1} << kSlotBits) - 1;

LocalSlot* gSlots;
uint32_t gSlotCapacity;
uint32_t gSlotsUsed;  // slots ever handed out
uint32_t gFirstFree;  // slot index + 1; 0 when none
long gLiveLocals;
long gLiveBlocks;

LocalSlot* SlotOf(LocalRef handle) {
  uintptr_t index = handle & kSlotMask;
  if (index == 0 || index > gSlotsUsed) return nullptr;
  LocalSlot* slot = &gSlots[index - 1];
  if (!slot->inUse || slot->generation != (handle >> kSlotBits)) return nullptr;
  return slot;
}

bool GrowSlots() {
  uint32_t capacity = gSlotCapacity ? gSlotCapacity * 2 : 64;
  if (capacity > kSlotMask) return false;
  void* grown = realloc(gSlots, capacity * sizeof(LocalSlot));
  if (!grown) return false;
  gSlots = static_cast<LocalSlot*>(grown);
  gSlotCapacity = capacity;
  return true;
}

}  // namespace

LocalRef PlatformLocalAlloc(size_t size, bool zeroFill) {
  if (Injected(FaultPoint::kLocalAlloc, ENOMEM)) return 0;
  uint32_t index;
  if (gFirstFree) {
    index = gFirstFree - 1;
  } else {
    if (gSlotsUsed == gSlotCapacity && !GrowSlots()) {
      PlatformNoteCause(Cause::kNoMemory);
      return 0;
    }
    index = gSlotsUsed;
  }
  void* address = zeroFill ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
  if (!address) {
    PlatformNoteCause(Cause::kNoMemory);
    return 0;
  }
  LocalSlot* slot = &gSlots[index];
  if (index == gSlotsUsed) {
    ++gSlotsUsed;
    slot->generation = 1;
  } else {
    gFirstFree = slot->nextFree;
  }
  slot->address = address;
  slot->inUse = true;
  slot->nextFree = 0;
  ++gLiveLocals;
  return (slot->generation << kSlotBits) | (index + 1);
}

void* PlatformLocalLock(LocalRef handle) {
  LocalSlot* slot = SlotOf(handle);
  return slot ? slot->address : nullptr;
}

void PlatformLocalUnlock(LocalRef) {}

void PlatformLocalFree(LocalRef handle) {
  LocalSlot* slot = SlotOf(handle);
  if (!slot) return;
  free(slot->address);
  slot->address = nullptr;
  slot->inUse = false;
  // Generations stay inside the bits a handle has for them and never 0.
  slot->generation = (slot->generation + 1) & (~uintptr_t{0} >> kSlotBits);
  if (slot->generation == 0) slot->generation = 1;
  slot->nextFree = gFirstFree;
  gFirstFree = static_cast<uint32_t>(slot - gSlots) + 1;
  --gLiveLocals;
}

void* PlatformBlockAlloc(size_t size) {
  if (Injected(FaultPoint::kBlockAlloc, ENOMEM)) return nullptr;
  void* address = malloc(size);
  if (!address) {
    PlatformNoteCause(Cause::kNoMemory);
    return nullptr;
  }
  ++gLiveBlocks;
  return address;
}

void PlatformBlockFree(void* address) {
  if (!address) return;
  free(address);
  --gLiveBlocks;
}

namespace {

// getpid() is a system call, and the allocator asks for the identity at
// every block; the identity is cached and renewed in a forked child.
pid_t gProcessId;

void RenewProcessId() { gProcessId = getpid(); }

}  // namespace

ProcessId PlatformCurrentProcess() {
  if (gProcessId == 0) {
    RenewProcessId();
    pthread_atfork(nullptr, nullptr, RenewProcessId);
  }
  return static_cast<ProcessId>(gProcessId);
}

bool PlatformEqual(const char* a, const char* b) { return strcmp(a, b) == 0; }

bool PlatformIsSeparator(char c) { return c == '/'; }

size_t PlatformTrimmedLength(const char* path) {
  size_t length = strlen(path);
  while (length > 1 && path[length - 1] == '/') --length;
  return length;
}

void PlatformPathKey(char*) {}

namespace {

// Appends the components of `source` to the absolute path in `out`, by
// text: "." is dropped and ".." removes the last component.
bool AppendLexically(char* out, size_t* length, const char* source, size_t outSize) {
  const char* p = source;
  while (*p) {
    while (*p == '/') ++p;
    const char* start = p;
    while (*p && *p != '/') ++p;
    size_t n = static_cast<size_t>(p - start);
    if (n == 0 || (n == 1 && start[0] == '.')) continue;
    if (n == 2 && start[0] == '.' && start[1] == '.') {
      while (*length > 1 && out[*length - 1] != '/') --*length;
      if (*length > 1) --*length;  // the separator before the component
      out[*length] = '\0';
      continue;
    }
    size_t needed = (*length > 1 ? 1 : 0) + n;
    if (*length + needed + 1 > outSize) return false;
    if (*length > 1) out[(*length)++] = '/';
    memcpy(out + *length, start, n);
    *length += n;
    out[*length] = '\0';
  }
  return true;
}

}  // namespace

bool PlatformFullPath(char* out, const char* path, size_t outSize) {
  if (outSize < 2) return false;
  // The path as given, made absolute without resolving anything.
  char joined[kPathMax];
  size_t length = 0;
  if (path[0] != '/') {
    if (!getcwd(joined, sizeof joined)) return false;
    length = strlen(joined);
    if (length + 1 >= sizeof joined) return false;
    joined[length++] = '/';
  }
  size_t pathLength = strlen(path);
  if (length + pathLength + 1 > sizeof joined) return false;
  memcpy(joined + length, path, pathLength + 1);
  length += pathLength;

  // The longest leading part that the system resolves (through symbolic
  // links, so that "link/.." is where the system would go) ...
  char resolved[PATH_MAX];
  size_t prefix = length;
  for (;;) {
    char saved = joined[prefix];
    joined[prefix] = '\0';
    bool found = realpath(prefix ? joined : "/", resolved) != nullptr;
    joined[prefix] = saved;
    if (found) break;
    while (prefix > 0 && joined[prefix - 1] == '/') --prefix;
    while (prefix > 0 && joined[prefix - 1] != '/') --prefix;
    if (prefix == 0) {
      resolved[0] = '/';
      resolved[1] = '\0';
      break;
    }
  }
  // ... and the rest by text.
  size_t resolvedLength = strlen(resolved);
  if (resolvedLength + 1 > outSize) return false;
  memcpy(out, resolved, resolvedLength + 1);
  return AppendLexically(out, &resolvedLength, joined + prefix, outSize);
}

bool PlatformResolveFile(const char* path, char* out) {
  size_t length = strlen(path);
  if (length + 1 > kPathMax) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  memcpy(out, path, length + 1);
  // Linux gives up after 40 links; so does this.
  for (int links = 0; links < 40; ++links) {
    char target[kPathMax];
    ssize_t n = readlink(out, target, sizeof target - 1);
    if (n < 0) return true;  // not a link (or missing): the file itself
    target[n] = '\0';
    size_t keep = 0;  // a relative target is relative to the link's directory
    if (target[0] != '/') {
      for (size_t i = 0; out[i]; ++i) {
        if (out[i] == '/') keep = i + 1;
      }
    }
    if (keep + static_cast<size_t>(n) + 1 > kPathMax) {
      PlatformNoteCause(Cause::kNameTooLong);
      return false;
    }
    memcpy(out + keep, target, static_cast<size_t>(n) + 1);
  }
  errno = ELOOP;
  PlatformNoteSystemError();
  return false;
}

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

// True when the open file is a regular file; else the cause is noted: a
// directory, FIFO, device or socket cannot hold a book or a lock.
bool IsRegular(int fd, struct stat* info) {
  if (fstat(fd, info) != 0) {
    PlatformNoteSystemError();
    return false;
  }
  if (S_ISREG(info->st_mode)) return true;
  PlatformNoteCause(S_ISDIR(info->st_mode) ? Cause::kIsDirectory : Cause::kNotRegularFile);
  return false;
}

}  // namespace

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

namespace {

// Gives a file the owner and group of another, as far as the caller may:
// root gives both; an ordinary user keeps the file and may give it one of
// their own groups.
void TakeOwner(int fd, uid_t owner, gid_t group) {
  if (owner == geteuid() && group == getegid()) return;
  if (fchown(fd, owner, group) == 0) return;
  if (fchown(fd, static_cast<uid_t>(-1), group) == 0) return;
  // Neither is allowed: the file keeps the caller's owner and group.
}

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// Gives a file made to stand in for `likeFile` (the book) its owner, group
// and mode.  Where there is no book yet, the file gets the mode a plain
// creation would give it, and when root makes it, the directory's owner:
// a book that root starts in a user's directory stays the user's.
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

}  // namespace

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
  // A short write (a full disk, a file size limit) is continued; the call
  // after it reports the error.
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(static_cast<int>(file), static_cast<const char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      PlatformNoteSystemError();
      return false;
    }
    done += static_cast<size_t>(n);
  }
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
  if (unlink(path) == 0) RecordFileOp(FileOp::kUnlink, path);
}

bool PlatformMayReplace(const char* target) {
  // The check an open for writing would make, with the effective ids.
  if (faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) == 0 || errno == ENOENT) return true;
  if (errno == EACCES) {
    PlatformNoteCause(Cause::kReadOnlyBook);
  } else {
    PlatformNoteSystemError();
  }
  return false;
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

bool FlushDirectory(const char* directory) {
  if (Injected(FaultPoint::kFlush, EIO)) return false;
  int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A directory the caller may write and search but not read cannot be
  // opened to flush; the rename is done and the system writes it in time.
  if (fd < 0) return errno == EACCES;
  bool flushed = fsync(fd) == 0;
  if (flushed) RecordFileOp(FileOp::kFlushDirectory, directory);
  // Some file systems cannot flush a directory, and say so; that is no
  // failure of the save.  An I/O error is.
  if (!flushed && (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP)) flushed = true;
  if (!flushed) PlatformNoteSystemError();
  close(fd);
  return flushed;
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

bool Flock(int fd, int operation, bool wait) {
  if (!wait) operation |= LOCK_NB;
  while (flock(fd, operation) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Errors of flock that mean the file system does not lock directories
// (network file systems); the lock file alone orders the calls there.
bool DirectoryLocksUnsupported(int error) {
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
// regular file; for writing where the caller may, else for reading.  A
// missing one is made when `create`.  -1 (the cause noted) when none can be
// had; `*foreign` when what the name names is no lock file of ours (a link,
// a directory, a FIFO).  `*info` is the opened file's.
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
  if (!IsRegular(fd, info)) {
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
  if (dir >= 0 && !Flock(dir, exclusive ? LOCK_EX : LOCK_SH, wait)) {
    int error = errno;
    close(dir);
    dir = -1;
    if (!DirectoryLocksUnsupported(error)) {
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
  uint8_t bytes[8] = {};
  ssize_t n = pread(static_cast<int>(lock.file), bytes, sizeof bytes, 0);
  if (n < 0) return false;
  *count = 0;
  for (int i = 7; i >= 0; --i) *count = (*count << 8) | bytes[i];
  return true;
}

bool PlatformWriteLockCount(const BookLock& lock, uint64_t count) {
  if (lock.file == kNoFile) return false;
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(count >> (8 * i));
  return pwrite(static_cast<int>(lock.file), bytes, sizeof bytes, 0) == sizeof bytes;
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

namespace {

// Copies the book at `target` to `backup` and flushes the copy, for file
// systems that have no hard links.  False (the cause noted, no copy left)
// when it cannot be made.
bool CopyAside(const char* target, const char* backup, const char* directory) {
  int in = open(target, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) {
    PlatformNoteSystemError();
    return false;
  }
  int out = open(backup, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    PlatformNoteSystemError();
    close(in);
    return false;
  }
  RecordOpenedFile(out, backup);
  // Put back in the book's place, the copy must be the book in every way.
  TakeModeOf(out, target, directory);
  bool copied = true;
  char buffer[16384];
  for (;;) {
    long n = PlatformRead(in, buffer, sizeof buffer);
    if (n < 0 || (n > 0 && !PlatformWrite(out, buffer, static_cast<size_t>(n)))) {
      copied = false;
      break;
    }
    if (n < static_cast<long>(sizeof buffer)) break;
  }
  copied = copied && PlatformFlush(out);
  copied = PlatformClose(out) && copied;
  close(in);
  if (!copied) PlatformRemove(backup);
  return copied;
}

enum class Aside { kNoBook, kKept, kFailed };

// Keeps the old book under a second name during a replace, so that a
// replace whose directory flush fails can be undone: a second link, or
// where the file system has no hard links, a flushed copy.
Aside KeepAside(const char* target, const char* backup, const char* directory) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int error = NoHardLinks() ? EPERM : 0;
    if (!error && link(target, backup) == 0) {
      RecordFileOp(FileOp::kLink, target, backup);
      return Aside::kKept;
    }
    if (!error) error = errno;
    if (error == ENOENT) return Aside::kNoBook;
    // A name left by a save that died; the caller holds the lock, so no
    // save is using it.
    if (error == EEXIST && attempt == 0) {
      PlatformRemove(backup);
      continue;
    }
    break;
  }
  return CopyAside(target, backup, directory) ? Aside::kKept : Aside::kFailed;
}

}  // namespace

bool PlatformReplaceDurably(const char* source, const char* target, const char* directory,
                            bool* undoFailed) {
  *undoFailed = false;
  char backup[kPathMax];
  size_t length = strlen(source);
  if (length + 2 > sizeof backup) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  memcpy(backup, source, length);
  backup[length] = 'b';
  backup[length + 1] = '\0';
  Aside aside = KeepAside(target, backup, directory);
  if (aside == Aside::kFailed) return false;
  bool renamed = !Injected(FaultPoint::kRename, EIO);
  if (renamed && rename(source, target) != 0) {
    PlatformNoteSystemError();
    renamed = false;
  }
  if (!renamed) {
    if (aside == Aside::kKept) PlatformRemove(backup);
    return false;
  }
  RecordFileOp(FileOp::kRename, source, target);
  if (!FlushDirectory(directory)) {
    // The old book goes back (or, where there was none, the new one goes),
    // so that a call that reports failure leaves the book as it was.
    if (aside == Aside::kKept) {
      *undoFailed = rename(backup, target) != 0;
      if (!*undoFailed) RecordFileOp(FileOp::kRename, backup, target);
    } else {
      *undoFailed = unlink(target) != 0;
      if (!*undoFailed) RecordFileOp(FileOp::kUnlink, target);
    }
    return false;
  }
  if (aside == Aside::kKept) PlatformRemove(backup);
  return true;
}

long PlatformLiveBlocks() { return gLiveBlocks; }
long PlatformLiveLocals() { return gLiveLocals; }

}  // namespace ovel
