// Win32 implementation of the platform layer: the system's own services.
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "frame/fault_injection.h"
#include "frame/platform.h"

namespace ovel {
namespace {

long gLiveLocals;
long gLiveBlocks;

// The last-error code a failing call reports; 0 when none was noted.
DWORD gNotedError;

// True when the armed fault trips here; the failure then looks like the
// system's own, with `error`.
bool Injected(FaultPoint point, DWORD error) {
  if (!FaultTrips(point)) return false;
  SetLastError(error);
  gNotedError = error;
  return true;
}

DWORD ErrorOf(Cause cause) {
  switch (cause) {
    case Cause::kInvalidArgument:
      return ERROR_INVALID_PARAMETER;
    case Cause::kInvalidHandle:
      return ERROR_INVALID_HANDLE;
    case Cause::kNoMemory:
      return ERROR_NOT_ENOUGH_MEMORY;
    case Cause::kNameTooLong:
      return ERROR_FILENAME_EXCED_RANGE;
    case Cause::kMalformedBook:
      return ERROR_FILE_CORRUPT;
    case Cause::kBookFull:
      return ERROR_FILE_TOO_LARGE;
    case Cause::kIsDirectory:
    case Cause::kReadOnlyBook:
      return ERROR_ACCESS_DENIED;
    case Cause::kNotRegularFile:
      return ERROR_BAD_FILE_TYPE;
    case Cause::kStaleView:
      return ERROR_FILE_INVALID;
    case Cause::kNotFound:
      return ERROR_NOT_FOUND;
    case Cause::kBusy:
      return ERROR_LOCK_VIOLATION;
    case Cause::kIoError:
      break;
  }
  return ERROR_IO_DEVICE;
}

bool IsRefusedByAnotherProgram(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION;
}

HANDLE AsHandle(FileRef file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

void PlatformNoteCause(Cause cause) { gNotedError = ErrorOf(cause); }
void PlatformNoteSystemError() {
  DWORD error = GetLastError();
  gNotedError = error ? error : ERROR_IO_DEVICE;
}
void PlatformClearError() { gNotedError = 0; }
void PlatformRaiseError() { SetLastError(gNotedError ? gNotedError : ERROR_IO_DEVICE); }
void PlatformRaiseNoError() { SetLastError(ERROR_SUCCESS); }
long PlatformNotedCause() { return static_cast<long>(gNotedError); }
void PlatformRestoreCause(long noted) { gNotedError = static_cast<DWORD>(noted); }

LocalRef PlatformLocalAlloc(size_t size, bool zeroFill) {
  if (Injected(FaultPoint::kLocalAlloc, ERROR_NOT_ENOUGH_MEMORY)) return 0;
  HLOCAL handle = LocalAlloc(LMEM_MOVEABLE | (zeroFill ? LMEM_ZEROINIT : 0), size);
  if (!handle) {
    PlatformNoteCause(Cause::kNoMemory);
    return 0;
  }
  ++gLiveLocals;
  return reinterpret_cast<LocalRef>(handle);
}

void* PlatformLocalLock(LocalRef handle) {
  return handle ? LocalLock(reinterpret_cast<HLOCAL>(handle)) : nullptr;
}

void PlatformLocalUnlock(LocalRef handle) {
  if (handle) LocalUnlock(reinterpret_cast<HLOCAL>(handle));
}

void PlatformLocalFree(LocalRef handle) {
  if (!handle) return;
  LocalFree(reinterpret_cast<HLOCAL>(handle));
  --gLiveLocals;
}

void* PlatformBlockAlloc(size_t size) {
  if (Injected(FaultPoint::kBlockAlloc, ERROR_NOT_ENOUGH_MEMORY)) return nullptr;
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, size);
  void* address = handle ? GlobalLock(handle) : nullptr;
  if (!address) {
    if (handle) GlobalFree(handle);
    PlatformNoteCause(Cause::kNoMemory);
    return nullptr;
  }
  ++gLiveBlocks;
  return address;
}

void PlatformBlockFree(void* address) {
  if (!address) return;
  HGLOBAL handle = GlobalHandle(address);
  if (!handle) return;
  GlobalUnlock(handle);
  GlobalFree(handle);
  --gLiveBlocks;
}

ProcessId PlatformCurrentProcess() { return reinterpret_cast<ProcessId>(GetCurrentProcess()); }

int PlatformCompareNoCase(const char* a, const char* b) { return lstrcmpiA(a, b); }

bool PlatformEqual(const char* a, const char* b) { return lstrcmpA(a, b) == 0; }

bool PlatformIsSeparator(char c) { return c == '\\' || c == '/'; }

namespace {

// Length of the root prefix of an absolute path ("C:\\", "\\\\", "\\"),
// which keeps its separator when trailing separators are dropped.  Its
// characters are all single bytes.
size_t RootLength(const char* path) {
  if (path[0] && path[1] == ':') return PlatformIsSeparator(path[2]) ? 3 : 2;
  if (PlatformIsSeparator(path[0]) && PlatformIsSeparator(path[1])) return 2;
  return PlatformIsSeparator(path[0]) ? 1 : 0;
}

}  // namespace

size_t PlatformTrimmedLength(const char* path) {
  size_t root = RootLength(path);
  // Walked a character at a time: the trail byte of a double-byte
  // character may be 0x5C, a backslash's value.
  size_t end = root;
  for (const char* at = path + root; *at;) {
    const char* next = CharNextA(at);
    if (next == at) break;
    if (next - at > 1 || !PlatformIsSeparator(*at)) end = static_cast<size_t>(next - path);
    at = next;
  }
  return end;
}

void PlatformPathKey(char* path) {
  // The system's own case mapping for its code page; byte-wise upper
  // casing would change trail bytes in 0x61-0x7A and name another file.
  CharUpperBuffA(path, static_cast<DWORD>(strlen(path)));
}

bool PlatformFullPath(char* out, const char* path, size_t outSize) {
  if (_fullpath(out, path, outSize)) return true;
  PlatformNoteCause(Cause::kNameTooLong);
  return false;
}

bool PlatformResolveFile(const char* path, char* out) {
  size_t length = strlen(path);
  if (length + 1 > kPathMax) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  memcpy(out, path, length + 1);
  return true;
}

namespace {

bool StampOfHandle(HANDLE handle, FileStamp* stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO times;
  if (!GetFileInformationByHandle(handle, &info) ||
      !GetFileInformationByHandleEx(handle, FileBasicInfo, &times, sizeof times)) {
    PlatformNoteSystemError();
    return false;
  }
  int64_t size =
      static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  if (StampsCollide()) {
    *stamp = {0, 0, size, 0, 0, true};
    return true;
  }
  *stamp = {info.dwVolumeSerialNumber,
            (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
            size,
            times.LastWriteTime.QuadPart,
            times.ChangeTime.QuadPart,
            true};
  return true;
}

}  // namespace

OpenResult PlatformOpenRead(const char* path, FileRef* file, FileStamp* stamp) {
  *file = kNoFile;
  if (Injected(FaultPoint::kOpen, ERROR_READ_FAULT)) return OpenResult::kFailed;
  HFILE handle = _lopen(path, OF_READ);
  if (handle == HFILE_ERROR) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return OpenResult::kMissing;
    PlatformNoteSystemError();
    return OpenResult::kFailed;
  }
  // A Win32 HFILE is the file's handle.
  if (!StampOfHandle(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(handle)), stamp)) {
    _lclose(handle);
    return OpenResult::kFailed;
  }
  *file = handle;
  return OpenResult::kOpened;
}

long PlatformRead(FileRef file, void* buffer, size_t size) {
  if (Injected(FaultPoint::kRead, ERROR_READ_FAULT)) return -1;
  size_t done = 0;
  while (done < size) {
    UINT chunk = size - done > 0x10000000 ? 0x10000000 : static_cast<UINT>(size - done);
    UINT n = _lread(static_cast<HFILE>(file), static_cast<char*>(buffer) + done, chunk);
    if (n == static_cast<UINT>(HFILE_ERROR)) {
      PlatformNoteSystemError();
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  return static_cast<long>(done);
}

void PlatformCloseRead(FileRef file) { _lclose(static_cast<HFILE>(file)); }

bool PlatformStampAt(const char* path, FileStamp* stamp) {
  *stamp = {};
  HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    PlatformNoteSystemError();
    return false;
  }
  bool stamped = StampOfHandle(handle, stamp);
  CloseHandle(handle);
  return stamped;
}

bool PlatformCreateUnique(const char* directory, const char*, char* pathOut, FileRef* file) {
  *file = kNoFile;
  if (Injected(FaultPoint::kCreate, ERROR_DISK_FULL)) return false;
  size_t length = strlen(directory);
  // "OVL" + five hex digits + ".TMP": as long as "ADDRBOOK.DAT", so the
  // name fits wherever the book file's does.
  if (length + 13 > kPathMax) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  static DWORD sequence;
  DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 8);
  for (int attempt = 0; attempt < 64; ++attempt) {
    DWORD number = (seed + ++sequence) & 0xFFFFF;
    memcpy(pathOut, directory, length);
    static const char kHex[] = "0123456789ABCDEF";
    char* name = pathOut + length;
    name[0] = 'O';
    name[1] = 'V';
    name[2] = 'L';
    for (int i = 0; i < 5; ++i) name[3 + i] = kHex[(number >> (4 * (4 - i))) & 0xF];
    memcpy(name + 8, ".TMP", 5);
    HANDLE handle =
        CreateFileA(pathOut, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      *file = reinterpret_cast<FileRef>(handle);
      RecordOpenedFile(*file, pathOut);
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  PlatformNoteSystemError();
  return false;
}

bool PlatformWrite(FileRef file, const void* buffer, size_t size) {
  if (Injected(FaultPoint::kWrite, ERROR_DISK_FULL)) return false;
  size_t done = 0;
  while (done < size) {
    DWORD chunk = size - done > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size - done);
    DWORD written = 0;
    if (!WriteFile(AsHandle(file), static_cast<const char*>(buffer) + done, chunk, &written,
                   nullptr) ||
        written == 0) {
      if (written == 0 && GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_DISK_FULL);
      PlatformNoteSystemError();
      return false;
    }
    done += written;
  }
  RecordFileOpOn(FileOp::kWrite, file, buffer, size);
  return true;
}

bool PlatformFlush(FileRef file) {
  if (Injected(FaultPoint::kFlush, ERROR_WRITE_FAULT)) return false;
  if (FileFlushesSkipped()) return true;
  if (!FlushFileBuffers(AsHandle(file))) {
    PlatformNoteSystemError();
    return false;
  }
  RecordFileOpOn(FileOp::kFlush, file);
  return true;
}

bool PlatformClose(FileRef file) {
  RecordFileOpOn(FileOp::kClose, file);
  if (CloseHandle(AsHandle(file))) return true;
  PlatformNoteSystemError();
  return false;
}

bool PlatformMayReplace(const char* target) {
  // Wine does not refuse to replace a read-only file; Windows does.
  DWORD attributes = GetFileAttributesA(target);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return true;
  PlatformNoteCause(Cause::kReadOnlyBook);
  return false;
}

namespace {

// Retries an operation that an indexer or a virus scanner holding the file
// open for a moment may refuse.
template <typename Operation>
bool Retried(Operation operation) {
  for (int attempt = 0;; ++attempt) {
    if (operation()) return true;
    if (attempt == 4 || !IsRefusedByAnotherProgram(GetLastError())) return false;
    Sleep(20 << attempt);
  }
}

// Gives `file` the attributes and the security (owner, group and access
// list, as far as the caller may set them) of `like`, which it is about to
// replace.
void TakeAttributesAndSecurity(const char* file, const char* like) {
  DWORD attributes = GetFileAttributesA(like);
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kept)) {
    SetFileAttributesA(file, attributes & kept);
  }
  alignas(8) char descriptor[4096];
  DWORD needed = 0;
  SECURITY_INFORMATION all =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (GetFileSecurityA(like, all, descriptor, sizeof descriptor, &needed) &&
      !SetFileSecurityA(file, all, descriptor)) {
    SetFileSecurityA(file, DACL_SECURITY_INFORMATION, descriptor);
  }
}

}  // namespace

bool PlatformReplaceDurably(const char* source, const char* target, const char* directory,
                            bool* undoFailed) {
  *undoFailed = false;
  if (Injected(FaultPoint::kRename, ERROR_WRITE_FAULT)) return false;
  // One move replaces the book, and MOVEFILE_WRITE_THROUGH returns once it
  // is on disk: a crash leaves the old book or the new one.  (ReplaceFileA
  // would keep attributes and security itself, but it moves the old book
  // aside and the new one in as two steps, between which a crash leaves
  // no book.)
  TakeAttributesAndSecurity(source, target);
  bool moved = Retried([&] {
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  });
  if (!moved) {
    PlatformNoteSystemError();
    return false;
  }
  RecordFileOp(FileOp::kRename, source, target);
  RecordFileOp(FileOp::kFlushDirectory, directory);
  return true;
}

void PlatformRemove(const char* path) {
  if (DeleteFileA(path)) RecordFileOp(FileOp::kUnlink, path);
}

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// "OVL", five hex digits, and ".TMP" (a temporary file) or ".OLD" (the
// book an earlier version kept aside during a replace).
bool IsSaveLeftover(const char* name) {
  if (strlen(name) != 12 || memcmp(name, "OVL", 3) != 0) return false;
  for (int i = 3; i < 8; ++i) {
    if (!IsHexDigit(name[i])) return false;
  }
  return lstrcmpiA(name + 8, ".TMP") == 0 || lstrcmpiA(name + 8, ".OLD") == 0;
}

}  // namespace

void PlatformRemoveStaleFiles(const char* directory) {
  char path[kPathMax];
  size_t length = strlen(directory);
  if (length + 13 > kPathMax) return;
  memcpy(path, directory, length);
  memcpy(path + length, "OVL*", 5);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (IsSaveLeftover(found.cFileName)) {
      memcpy(path + length, found.cFileName, 13);
      PlatformRemove(path);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

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
  // A reader on a read-only directory or medium can still share the lock.
  if (handle == INVALID_HANDLE_VALUE && mode == LockMode::kShared) {
    handle = OpenLockFile(path, GENERIC_READ, OPEN_EXISTING);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    PlatformNoteSystemError();
    return false;
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
  return true;
}

bool PlatformReadLockCount(const BookLock& lock, uint64_t* count) {
  if (lock.file == kNoFile) return false;
  uint8_t bytes[8] = {};
  DWORD got = 0;
  if (SetFilePointer(AsHandle(lock.file), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
      !ReadFile(AsHandle(lock.file), bytes, sizeof bytes, &got, nullptr)) {
    return false;
  }
  *count = 0;
  for (int i = 7; i >= 0; --i) *count = (*count << 8) | bytes[i];
  return true;
}

bool PlatformWriteLockCount(const BookLock& lock, uint64_t count) {
  if (lock.file == kNoFile) return false;
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(count >> (8 * i));
  DWORD written = 0;
  return SetFilePointer(AsHandle(lock.file), 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         WriteFile(AsHandle(lock.file), bytes, sizeof bytes, &written, nullptr) &&
         written == sizeof bytes;
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

long PlatformLiveBlocks() { return gLiveBlocks; }
long PlatformLiveLocals() { return gLiveLocals; }

}  // namespace ovel
