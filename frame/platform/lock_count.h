// The count of saves that a book's lock file keeps: its first eight bytes,
// least significant first.  It is odd while a save is under way.  Both
// systems encode it here, so that a book on a share used from both agrees
// on its count.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovel {

inline constexpr size_t kLockCountBytes = 8;

// The count in the bytes read from the lock file.  The caller zero-fills
// them first: a file shorter than the count (a new one) reads as zeros
// past its end.
inline uint64_t DecodeLockCount(const uint8_t (&bytes)[kLockCountBytes]) {
  uint64_t count = 0;
  for (size_t i = kLockCountBytes; i-- > 0;) count = (count << 8) | bytes[i];
  return count;
}

inline void EncodeLockCount(uint64_t count, uint8_t (&bytes)[kLockCountBytes]) {
  for (size_t i = 0; i < kLockCountBytes; ++i) bytes[i] = static_cast<uint8_t>(count >> (8 * i));
}

}  // namespace ovel
