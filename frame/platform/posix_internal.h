// What the POSIX files of the platform layer share among themselves.
// Nothing above the platform layer includes this.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include "frame/fault_injection.h"
#include "frame/platform.h"

namespace ovel::posix {

// True when the armed fault trips here; the failure then looks like the
// system's own, with `error` (an errno value), noted as the call's cause.
bool Injected(FaultPoint point, int error);

// True when the open file is a regular file; else the cause is noted: a
// directory, FIFO, device or socket cannot hold a book or a lock.
bool IsRegular(int fd, struct stat* info);

// Gives a file the owner and group of another, as far as the caller may:
// root gives both; an ordinary user keeps the file and may give it one of
// their own groups.
void TakeOwner(int fd, uid_t owner, gid_t group);

// Writes all `size` bytes to `fd`, at offset `at` (at the file's offset
// when negative); false, the cause noted, when the system refuses.
bool WriteWhole(int fd, const void* buffer, size_t size, off_t at);

// The process's file mode creation mask.
mode_t CurrentUmask();

// Gives a file made to stand in for `likeFile` (the book) its owner, group
// and mode.  Where there is no book yet, the file gets the mode a plain
// creation would give it, and when root makes it, the directory's owner:
// a book that root starts in a user's directory stays the user's.
void TakeModeOf(int fd, const char* likeFile, const char* directory);

}  // namespace ovel::posix
