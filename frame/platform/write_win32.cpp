// Win32: new files (uniquely named, written, flushed and closed), and the
// sweep of those that saves which died left behind.
#include <string.h>

#include "frame/platform/win32_internal.h"

namespace ovel {

using win32::AsHandle;
using win32::Injected;

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

}  // namespace ovel
