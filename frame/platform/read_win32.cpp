// Win32: reading a file (with _lopen and _lread), and the stamps that tell
// its versions apart.
#include "frame/platform/win32_internal.h"

namespace ovel {

using win32::Injected;

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

}  // namespace ovel
