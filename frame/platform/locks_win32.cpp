// Win32: the lock that orders every process's loads and changes of a book
// (a byte-range lock on its lock file, with LockFileEx), and the count of
// saves that the lock file keeps.
#include "frame/platform/lock_count.h"
#include "frame/platform/win32_internal.h"

namespace ovel {

using win32::AsHandle;

namespace {

// The locked byte lies far past the count the file holds: Windows' locks
// are mandatory, and a locked range could not be read by others.
constexpr DWORD kLockedByte = 0x40000000;

// True while another program deletes the file at `path`: it holds it open
// for deletion, or has marked it for deletion (then even its attributes are
// refused), or it has just gone.
bool BeingDeleted(const char* path, DWORD error) {
  if (error == ERROR_SHARING_VIOLATION) return true;
  if (error != ERROR_ACCESS_DENIED) return false;
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return false;  // plainly denied
  DWORD why = GetLastError();
  return why == ERROR_ACCESS_DENIED || why == ERROR_FILE_NOT_FOUND;
}

// Opens the lock file.  No one shares it for deletion, so it cannot be
// deleted or renamed while any program has it open; while another program
// deletes it (when none has it open), opening it fails for a moment.
HANDLE OpenLockFile(const char* path, DWORD access, DWORD disposition) {
  for (int attempt = 0;; ++attempt) {
    HANDLE handle = CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return handle;
    DWORD error = GetLastError();
    if (attempt == 5 || !BeingDeleted(path, error)) {
      SetLastError(error);
      return handle;
    }
    Sleep(10);
  }
}

}  // namespace

bool PlatformLock(const char*, const char* path, const char*, LockMode mode, bool wait,
                  BookLock* lock) {
  *lock = kNoLock;
  HANDLE handle = OpenLockFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  bool writable = handle != INVALID_HANDLE_VALUE;
  // A reader on a read-only directory or medium can still share the lock.
  if (!writable && mode == LockMode::kShared) {
    handle = OpenLockFile(path, GENERIC_READ, OPEN_EXISTING);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    PlatformNoteSystemError();
    return false;
  }
  // A lock file with a second name (a hard link to another file) is never
  // written: the count would go into that file.  It serves readers alone.
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info) && info.nNumberOfLinks > 1) {
    if (mode == LockMode::kExclusive) {
      CloseHandle(handle);
      SetLastError(ERROR_CANT_ACCESS_FILE);
      PlatformNoteSystemError();
      return false;
    }
    writable = false;
  }
  OVERLAPPED at = {};
  at.Offset = kLockedByte;
  DWORD flags = (mode == LockMode::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) |
                (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  if (!LockFileEx(handle, flags, 0, 1, 0, &at)) {
    if (GetLastError() == ERROR_LOCK_VIOLATION) {
      PlatformNoteCause(Cause::kBusy);
    } else {
      PlatformNoteSystemError();
    }
    CloseHandle(handle);
    return false;
  }
  lock->file = reinterpret_cast<FileRef>(handle);
  lock->exclusive = mode == LockMode::kExclusive;
  lock->writable = writable;
  return true;
}

bool PlatformReadLockCount(const BookLock& lock, uint64_t* count) {
  if (lock.file == kNoFile) return false;
  uint8_t bytes[kLockCountBytes] = {};
  DWORD got = 0;
  if (SetFilePointer(AsHandle(lock.file), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
      !ReadFile(AsHandle(lock.file), bytes, sizeof bytes, &got, nullptr)) {
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
  DWORD written = 0;
  if (SetFilePointer(AsHandle(lock.file), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
      WriteFile(AsHandle(lock.file), bytes, sizeof bytes, &written, nullptr)) {
    if (written == sizeof bytes) return true;
    SetLastError(ERROR_WRITE_FAULT);
  }
  PlatformNoteSystemError();
  return false;
}

void PlatformUnlock(BookLock* lock) {
  if (lock->file != kNoFile) {
    OVERLAPPED at = {};
    at.Offset = kLockedByte;
    UnlockFileEx(AsHandle(lock->file), 0, 1, 0, &at);
    CloseHandle(AsHandle(lock->file));
  }
  *lock = kNoLock;
}

// Windows has no fork: every lock is the caller's own, and closing its
// handle releases it.
void PlatformForgetLock(BookLock* lock) { PlatformUnlock(lock); }

}  // namespace ovel
