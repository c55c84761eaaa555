// Win32: the causes a failing call reports, in the thread's last-error code.
#include "frame/platform/win32_internal.h"

namespace ovel {
namespace {

// The last-error code a failing call reports; 0 when none was noted.
DWORD gNotedError;

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
    case Cause::kGroupFull:
      return ERROR_FILE_TOO_LARGE;
    case Cause::kAlreadyExists:
      return ERROR_ALREADY_EXISTS;
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

}  // namespace

namespace win32 {

bool Injected(FaultPoint point, DWORD error) {
  if (!FaultTrips(point, static_cast<long>(error))) return false;
  SetLastError(error);
  gNotedError = error;
  return true;
}

}  // namespace win32

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

}  // namespace ovel
