// What a failed exported call leaves for its caller: the cause, in errno
// (POSIX) or in the thread's last-error code (Windows).
#pragma once

#include "frame/platform.h"

namespace ovel {

// Declared first in an exported function, so that it is destroyed last:
// the cause is left after every clean-up step (closing files, unlocking
// records), which may itself change errno or the last-error code.
class CallErrors {
 public:
  CallErrors() { PlatformClearError(); }
  ~CallErrors() {
    if (outcome_ == Outcome::kFailed) PlatformRaiseError();
    if (outcome_ == Outcome::kEmpty) PlatformRaiseNoError();
  }
  CallErrors(const CallErrors&) = delete;
  CallErrors& operator=(const CallErrors&) = delete;

  // `result` as a failure whose cause was noted where it arose.
  template <typename T>
  T Fail(T result) {
    outcome_ = Outcome::kFailed;
    return result;
  }
  // `result` as a failure for `cause`.
  template <typename T>
  T Fail(Cause cause, T result) {
    PlatformNoteCause(cause);
    return Fail(result);
  }
  // A null `result` that is no failure (a group without members): the
  // caller reads "no error".
  template <typename T>
  T Empty(T result) {
    outcome_ = Outcome::kEmpty;
    return result;
  }

 private:
  enum class Outcome { kSucceeded, kFailed, kEmpty };
  Outcome outcome_ = Outcome::kSucceeded;
};

}  // namespace ovel
