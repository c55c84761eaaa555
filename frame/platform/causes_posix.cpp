// POSIX: the causes a failing call reports, in errno.
#include <errno.h>

#include "frame/platform/posix_internal.h"

namespace ovel {
namespace {

// The errno value a failing call reports; 0 when none was noted.
int gNotedError;

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
    case Cause::kGroupFull:
      return E2BIG;
    case Cause::kAlreadyExists:
      return EEXIST;
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

namespace posix {

bool Injected(FaultPoint point, int error) {
  if (!FaultTrips(point, static_cast<long>(error))) return false;
  errno = error;
  gNotedError = error;
  return true;
}

}  // namespace posix

void PlatformNoteCause(Cause cause) { gNotedError = ErrnoOf(cause); }
void PlatformNoteSystemError() { gNotedError = errno ? errno : EIO; }
void PlatformClearError() { gNotedError = 0; }
void PlatformRaiseError() { errno = gNotedError ? gNotedError : EIO; }
void PlatformRaiseNoError() { errno = 0; }
long PlatformNotedCause() { return gNotedError; }
void PlatformRestoreCause(long noted) { gNotedError = static_cast<int>(noted); }

}  // namespace ovel
