// POSIX implementation of the platform layer.
#include <errno.h>
#include <fcntl.h>
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

int PlatformCompareNoCase(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  for (;; ++x, ++y) {
    int cx = (*x >= 'A' && *x <= 'Z') ? *x + ('a' - 'A') : *x;
    int cy = (*y >= 'A' && *y <= 'Z') ? *y + ('a' - 'A') : *y;
    if (cx != cy) return cx < cy ? -1 : 1;
    if (cx == 0) return 0;
  }
}

bool PlatformEqual(const char* a, const char* b) { return strcmp(a, b) == 0; }

bool PlatformIsSeparator(char c) { return c == '/'; }

size_t PlatformRootLength(const char* path) { return path[0] == '/' ? 1 : 0; }

void PlatformPathKey(char*) {}

bool PlatformFullPath(char* out, const char* path, size_t outSize) {
  if (outSize < 2) return false;
  // Components are copied one at a time into `out`; ".." removes the last.
  size_t length = 0;
  out[length++] = '/';
  out[length] = '\0';
  char cwd[kPathMax];
  const char* sources[2] = {nullptr, path};
  if (path[0] != '/') {
    if (!getcwd(cwd, sizeof cwd)) return false;
    sources[0] = cwd;
  }
  for (const char* source : sources) {
    if (!source) continue;
    const char* p = source;
    while (*p) {
      while (*p == '/') ++p;
      const char* start = p;
      while (*p && *p != '/') ++p;
      size_t n = static_cast<size_t>(p - start);
      if (n == 0 || (n == 1 && start[0] == '.')) continue;
      if (n == 2 && start[0] == '.' && start[1] == '.') {
        while (length > 1 && out[length - 1] != '/') --length;
        if (length > 1) --length;  // the separator before the component
        out[length] = '\0';
        continue;
      }
      size_t needed = (length > 1 ? 1 : 0) + n;
      if (length + needed + 1 > outSize) return false;
      if (length > 1) out[length++] = '/';
      memcpy(out + length, start, n);
      length += n;
      out[length] = '\0';
    }
  }
  return true;
}

OpenResult PlatformOpenRead(const char* path, FileRef* file) {
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

long long PlatformFileSize(FileRef file) {
  struct stat info;
  return fstat(static_cast<int>(file), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

void PlatformCloseRead(FileRef file) { close(static_cast<int>(file)); }

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
  // mkostemp makes the file private; it takes the mode of the file it will
  // replace, or the mode a plain creation would give it.
  struct stat existing;
  if (stat(likeFile, &existing) == 0) {
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
  return true;
}

bool PlatformFlush(FileRef file) {
  if (FaultTrips(FaultPoint::kFlush)) return false;
  return fsync(static_cast<int>(file)) == 0;
}

bool PlatformClose(FileRef file) { return close(static_cast<int>(file)) == 0; }

void PlatformRemove(const char* path) { unlink(path); }

namespace {

bool FlushDirectory(const char* directory) {
  if (FaultTrips(FaultPoint::kFlush)) return false;
  int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool flushed = fsync(fd) == 0;
  close(fd);
  return flushed;
}

}  // namespace

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
  }
  if (FaultTrips(FaultPoint::kRename) || rename(source, target) != 0) {
    if (haveBackup) unlink(backup);
    return false;
  }
  if (!FlushDirectory(directory)) {
    if (haveBackup) {
      rename(backup, target);
    } else if (targetMissing) {
      unlink(target);
    }
    return false;
  }
  if (haveBackup) unlink(backup);
  return true;
}

long PlatformLiveBlocks() { return gLiveBlocks; }
long PlatformLiveLocals() { return gLiveLocals; }

}  // namespace ovel
