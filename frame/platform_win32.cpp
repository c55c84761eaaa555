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

bool IsRefusedByAnotherProgram(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION;
}

HANDLE AsHandle(FileRef file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

LocalRef PlatformLocalAlloc(size_t size, bool zeroFill) {
  if (FaultTrips(FaultPoint::kLocalAlloc)) return 0;
  HLOCAL handle = LocalAlloc(LMEM_MOVEABLE | (zeroFill ? LMEM_ZEROINIT : 0), size);
  if (handle) ++gLiveLocals;
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
  if (FaultTrips(FaultPoint::kBlockAlloc)) return nullptr;
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!handle) return nullptr;
  void* address = GlobalLock(handle);
  if (!address) {
    GlobalFree(handle);
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

size_t PlatformRootLength(const char* path) {
  if (path[0] && path[1] == ':') return PlatformIsSeparator(path[2]) ? 3 : 2;
  if (PlatformIsSeparator(path[0]) && PlatformIsSeparator(path[1])) return 2;
  return PlatformIsSeparator(path[0]) ? 1 : 0;
}

void PlatformPathKey(char* path) { _strupr(path); }

bool PlatformFullPath(char* out, const char* path, size_t outSize) {
  return _fullpath(out, path, outSize) != nullptr;
}

OpenResult PlatformOpenRead(const char* path, FileRef* file) {
  *file = kNoFile;
  if (FaultTrips(FaultPoint::kOpen)) return OpenResult::kFailed;
  HFILE handle = _lopen(path, OF_READ);
  if (handle == HFILE_ERROR) {
    DWORD error = GetLastError();
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? OpenResult::kMissing
                                                                            : OpenResult::kFailed;
  }
  *file = handle;
  return OpenResult::kOpened;
}

long PlatformRead(FileRef file, void* buffer, size_t size) {
  if (FaultTrips(FaultPoint::kRead)) return -1;
  size_t done = 0;
  while (done < size) {
    UINT chunk = size - done > 0x10000000 ? 0x10000000 : static_cast<UINT>(size - done);
    UINT n = _lread(static_cast<HFILE>(file), static_cast<char*>(buffer) + done, chunk);
    if (n == static_cast<UINT>(HFILE_ERROR)) return -1;
    if (n == 0) break;
    done += n;
  }
  return static_cast<long>(done);
}

long long PlatformFileSize(FileRef file) {
  HFILE handle = static_cast<HFILE>(file);
  LONG end = _llseek(handle, 0, FILE_END);
  if (end == HFILE_ERROR || _llseek(handle, 0, FILE_BEGIN) == HFILE_ERROR) return -1;
  return end;
}

void PlatformCloseRead(FileRef file) { _lclose(static_cast<HFILE>(file)); }

bool PlatformCreateUnique(const char* directory, const char*, char* pathOut, FileRef* file) {
  *file = kNoFile;
  if (FaultTrips(FaultPoint::kCreate)) return false;
  size_t length = strlen(directory);
  // "OVL" + five hex digits + ".TMP": as long as "ADDRBOOK.DAT", so the
  // name fits wherever the book file's does.
  if (length + 13 > kPathMax) return false;
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
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool PlatformWrite(FileRef file, const void* buffer, size_t size) {
  if (FaultTrips(FaultPoint::kWrite)) return false;
  size_t done = 0;
  while (done < size) {
    DWORD chunk = size - done > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size - done);
    DWORD written = 0;
    if (!WriteFile(AsHandle(file), static_cast<const char*>(buffer) + done, chunk, &written,
                   nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

bool PlatformFlush(FileRef file) {
  if (FaultTrips(FaultPoint::kFlush)) return false;
  return FlushFileBuffers(AsHandle(file)) != 0;
}

bool PlatformClose(FileRef file) { return CloseHandle(AsHandle(file)) != 0; }

bool PlatformReplaceDurably(const char* source, const char* target, const char*) {
  if (FaultTrips(FaultPoint::kRename)) return false;
  // An indexer or a virus scanner may hold the book open for a moment.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    if (attempt == 4 || !IsRefusedByAnotherProgram(GetLastError())) return false;
    Sleep(20 << attempt);
  }
}

void PlatformRemove(const char* path) { DeleteFileA(path); }

long PlatformLiveBlocks() { return gLiveBlocks; }
long PlatformLiveLocals() { return gLiveLocals; }

}  // namespace ovel
