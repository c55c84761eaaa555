// Holds a movable local record locked for one scope.
#pragma once

#include "frame/platform.h"

namespace ovel {

template <typename Record>
class LocalLock {
 public:
  explicit LocalLock(LocalRef handle)
      : handle_(handle), record_(static_cast<Record*>(PlatformLocalLock(handle))) {}
  ~LocalLock() {
    if (record_) PlatformLocalUnlock(handle_);
  }
  LocalLock(const LocalLock&) = delete;
  LocalLock& operator=(const LocalLock&) = delete;

  Record* get() const { return record_; }
  Record* operator->() const { return record_; }
  explicit operator bool() const { return record_ != nullptr; }

 private:
  LocalRef handle_;
  Record* record_;
};

}  // namespace ovel
