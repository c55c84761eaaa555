// POSIX implementation of the platform layer.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frame/fault_injection.h"
#include "frame/platform.h"

namespace ovel {
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
  if (FaultTrips(FaultPoint::kLocalAlloc)) return 0;
  uint32_t index;
  if (gFirstFree) {
    index = gFirstFree - 1;
  } else {
    if (gSlotsUsed == gSlotCapacity && !GrowSlots()) return 0;
    index = gSlotsUsed;
  }
  void* address = zeroFill ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
  if (!address) return 0;
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
  if (FaultTrips(FaultPoint::kBlockAlloc)) return nullptr;
  void* address = malloc(size);
  if (address) ++gLiveBlocks;
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
  if (length + 1 > kPathMax) return false;
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
    if (keep + static_cast<size_t>(n) + 1 > kPathMax) return false;
    memcpy(out + keep, target, static_cast<size_t>(n) + 1);
  }
  return false;
}

namespace {

FileStamp StampFrom(const struct stat& info) {
  return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
          static_cast<int64_t>(info.st_size),
          static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec, true};
}

}  // namespace

OpenResult PlatformOpenRead(const char* path, FileRef* file, FileStamp* stamp) {
  *file = kNoFile;
  if (FaultTrips(FaultPoint::kOpen)) return OpenResult::kFailed;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? OpenResult::kMissing : OpenResult::kFailed;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return OpenResult::kFailed;
  }
  *stamp = StampFrom(info);
  *file = fd;
  return OpenResult::kOpened;
}

long PlatformRead(FileRef file, void* buffer, size_t size) {
  if (FaultTrips(FaultPoint::kRead)) return -1;
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(static_cast<int>(file), static_cast<char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
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
    return errno == ENOENT || errno == ENOTDIR;
  }
  *stamp = StampFrom(info);
  return true;
}

bool PlatformCreateUnique(const char* directory, const char* likeFile, char* pathOut,
                          FileRef* file) {
  *file = kNoFile;
  if (FaultTrips(FaultPoint::kCreate)) return false;
  // The backup link of a replace adds one character to this name.
  static const char kPattern[] = ".ovelXXXXXX";
  static_assert(sizeof kPattern <= kLongestFileName);
  size_t length = strlen(directory);
  if (length + sizeof kPattern > kPathMax) return false;
  memcpy(pathOut, directory, length);
  memcpy(pathOut + length, kPattern, sizeof kPattern);
  int fd = mkostemp(pathOut, O_CLOEXEC);
  if (fd < 0) return false;
  RecordOpenedFile(fd, pathOut);
  // mkostemp makes the file private and the caller's; it takes the owner
  // and mode of the file it will replace, or the mode a plain creation
  // would give it.  An ordinary user cannot give a file away, and may only
  // give it a group of their own; the file then stays theirs.
  struct stat existing;
  if (stat(likeFile, &existing) == 0) {
    if (existing.st_uid != geteuid() || existing.st_gid != getegid()) {
      if (fchown(fd, existing.st_uid, existing.st_gid) != 0 &&
          fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
        // Neither is allowed: the new file keeps the caller's owner and group.
      }
    }
    fchmod(fd, existing.st_mode & 07777);
  } else {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  *file = fd;
  return true;
}

bool PlatformWrite(FileRef file, const void* buffer, size_t size) {
  if (FaultTrips(FaultPoint::kWrite)) return false;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(static_cast<int>(file), static_cast<const char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  RecordFileOpOn(FileOp::kWrite, file, buffer, size);
  return true;
}

bool PlatformFlush(FileRef file) {
  if (FaultTrips(FaultPoint::kFlush)) return false;
  if (FileFlushesSkipped()) return true;
  if (fsync(static_cast<int>(file)) != 0) return false;
  RecordFileOpOn(FileOp::kFlush, file);
  return true;
}

bool PlatformClose(FileRef file) {
  RecordFileOpOn(FileOp::kClose, file);
  return close(static_cast<int>(file)) == 0;
}

void PlatformRemove(const char* path) {
  if (unlink(path) == 0) RecordFileOp(FileOp::kUnlink, path);
}

bool PlatformMayReplace(const char* target) {
  // The check an open for writing would make, with the effective ids.
  return faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

namespace {

// The temporary files of saves, and the second links they keep of the book
// they replace: ".ovel" and six characters of mkostemp's, and a "b".
bool IsSaveLeftover(const char* name) {
  if (strncmp(name, ".ovel", 5) != 0) return false;
  size_t length = strlen(name);
  return length == 11 || (length == 12 && name[11] == 'b');
}

bool FlushDirectory(const char* directory) {
  if (FaultTrips(FaultPoint::kFlush)) return false;
  int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // A directory the caller may write and search but not read cannot be
  // opened to flush; the rename is done and the system writes it in time.
  if (fd < 0) return errno == EACCES;
  bool flushed = fsync(fd) == 0;
  if (flushed) RecordFileOp(FileOp::kFlushDirectory, directory);
  // Some file systems cannot flush a directory, and say so; that is no
  // failure of the save.  An I/O error is.
  if (!flushed && (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP)) flushed = true;
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

bool SetLock(int fd, short type) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = kLockedByte;
  lock.l_len = 1;
#if defined(F_OFD_SETLKW)
  // Open-file-description locks belong to this open of the file, not to
  // the process: another Book of this process on the same directory is
  // excluded too, and closing some other descriptor of the file keeps them.
  int command = F_OFD_SETLKW;
#else
  int command = F_SETLKW;
#endif
  while (fcntl(fd, command, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

FileRef PlatformLock(const char* path, const char* likeFile, LockMode mode) {
  int fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    // Whoever may change the book may take its lock; and its maker may,
    // even while the book is read-only.
    struct stat book;
    if (fd >= 0 && stat(likeFile, &book) == 0) fchmod(fd, (book.st_mode & 0666) | 0600);
    if (fd < 0 && errno == EEXIST) fd = open(path, O_RDWR | O_CLOEXEC);
  }
  // A reader in a directory it may not write can still share the lock.
  if (fd < 0 && mode == LockMode::kShared) fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kNoFile;
  if (!SetLock(fd, mode == LockMode::kExclusive ? F_WRLCK : F_RDLCK)) {
    close(fd);
    return kNoFile;
  }
  return fd;
}

bool PlatformReadLockCount(FileRef lock, uint64_t* count) {
  uint8_t bytes[8] = {};
  ssize_t n = pread(static_cast<int>(lock), bytes, sizeof bytes, 0);
  if (n < 0) return false;
  *count = 0;
  for (int i = 7; i >= 0; --i) *count = (*count << 8) | bytes[i];
  return true;
}

bool PlatformWriteLockCount(FileRef lock, uint64_t count) {
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(count >> (8 * i));
  return pwrite(static_cast<int>(lock), bytes, sizeof bytes, 0) == sizeof bytes;
}

void PlatformUnlock(FileRef lock) {
  // Closing the only descriptor of this open releases its lock.
  close(static_cast<int>(lock));
}

bool PlatformReplaceDurably(const char* source, const char* target, const char* directory) {
  // A second link to the old file lets a replacement whose directory flush
  // fails be undone, so a failed save leaves the old file in place.
  char backup[kPathMax];
  size_t length = strlen(source);
  bool haveBackup = false;
  bool targetMissing = false;
  if (length + 2 <= sizeof backup) {
    memcpy(backup, source, length);
    backup[length] = 'b';
    backup[length + 1] = '\0';
    haveBackup = link(target, backup) == 0;
    targetMissing = !haveBackup && errno == ENOENT;
    if (haveBackup) RecordFileOp(FileOp::kLink, target, backup);
  }
  if (FaultTrips(FaultPoint::kRename) || rename(source, target) != 0) {
    if (haveBackup) PlatformRemove(backup);
    return false;
  }
  RecordFileOp(FileOp::kRename, source, target);
  if (!FlushDirectory(directory)) {
    if (haveBackup) {
      if (rename(backup, target) == 0) RecordFileOp(FileOp::kRename, backup, target);
    } else if (targetMissing) {
      PlatformRemove(target);
    }
    return false;
  }
  if (haveBackup) PlatformRemove(backup);
  return true;
}

long PlatformLiveBlocks() { return gLiveBlocks; }
long PlatformLiveLocals() { return gLiveLocals; }

}  // namespace ovel
