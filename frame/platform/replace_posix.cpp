// POSIX: replacing a book by its new file in one step, made durable by
// flushing the directory, and undone where that flush fails.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "frame/platform/posix_internal.h"

namespace ovel {

using posix::Injected;
using posix::TakeModeOf;

bool PlatformMayReplace(const char* target) {
  // The check an open for writing would make, with the effective ids.
  if (faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) == 0 || errno == ENOENT) return true;
  if (errno == EACCES) {
    PlatformNoteCause(Cause::kReadOnlyBook);
  } else {
    PlatformNoteSystemError();
  }
  return false;
}

namespace {

// Flushes the directory's names; false (the system's cause noted) when it
// cannot be opened or flushed.
bool FlushDirectory(const char* directory) {
  int fd = Injected(FaultPoint::kOpen, EMFILE)
               ? -1
               : open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    // A directory the caller may write and search but not read cannot be
    // opened to flush; the rename is done and the system writes it in time.
    if (errno == EACCES) return true;
    PlatformNoteSystemError();
    return false;
  }
  bool flushed = !Injected(FaultPoint::kFlush, EIO) && fsync(fd) == 0;
  if (flushed) RecordFileOp(FileOp::kFlushDirectory, directory);
  // Some file systems cannot flush a directory, and say so; that is no
  // failure of the save.  An I/O error is.
  if (!flushed && (errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP)) flushed = true;
  if (!flushed) PlatformNoteSystemError();
  close(fd);
  return flushed;
}

// Copies the book at `target` to `backup` and flushes the copy, for file
// systems that have no hard links.  False (the cause noted, no copy left)
// when it cannot be made.
bool CopyAside(const char* target, const char* backup, const char* directory) {
  int in = open(target, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) {
    PlatformNoteSystemError();
    return false;
  }
  int out = open(backup, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    PlatformNoteSystemError();
    close(in);
    return false;
  }
  RecordOpenedFile(out, backup);
  // Put back in the book's place, the copy must be the book in every way.
  TakeModeOf(out, target, directory);
  bool copied = true;
  char buffer[16384];
  for (;;) {
    long n = PlatformRead(in, buffer, sizeof buffer);
    if (n < 0 || (n > 0 && !PlatformWrite(out, buffer, static_cast<size_t>(n)))) {
      copied = false;
      break;
    }
    if (n < static_cast<long>(sizeof buffer)) break;
  }
  copied = copied && PlatformFlush(out);
  copied = PlatformClose(out) && copied;
  close(in);
  if (!copied) PlatformRemove(backup);
  return copied;
}

enum class Aside { kNoBook, kKept, kFailed };

// Keeps the old book under a second name during a replace, so that a
// replace whose directory flush fails can be undone: a second link, or
// where the file system has no hard links, a flushed copy.
Aside KeepAside(const char* target, const char* backup, const char* directory) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int error = NoHardLinks() ? EPERM : 0;
    if (!error && link(target, backup) == 0) {
      RecordFileOp(FileOp::kLink, target, backup);
      return Aside::kKept;
    }
    if (!error) error = errno;
    if (error == ENOENT) return Aside::kNoBook;
    // A name left by a save that died; the caller holds the lock, so no
    // save is using it.
    if (error == EEXIST && attempt == 0) {
      PlatformRemove(backup);
      continue;
    }
    break;
  }
  return CopyAside(target, backup, directory) ? Aside::kKept : Aside::kFailed;
}

}  // namespace

bool PlatformReplaceDurably(const char* source, const char* target, const char* directory,
                            bool* undoFailed) {
  *undoFailed = false;
  char backup[kPathMax];
  size_t length = strlen(source);
  if (length + 2 > sizeof backup) {
    PlatformNoteCause(Cause::kNameTooLong);
    return false;
  }
  memcpy(backup, source, length);
  backup[length] = 'b';
  backup[length + 1] = '\0';
  Aside aside = KeepAside(target, backup, directory);
  if (aside == Aside::kFailed) return false;
  bool renamed = !Injected(FaultPoint::kRename, EIO);
  if (renamed && rename(source, target) != 0) {
    PlatformNoteSystemError();
    renamed = false;
  }
  if (!renamed) {
    if (aside == Aside::kKept) PlatformRemove(backup);
    return false;
  }
  RecordFileOp(FileOp::kRename, source, target);
  if (!FlushDirectory(directory)) {
    // The old book goes back (or, where there was none, the new one goes),
    // so that a call that reports failure leaves the book as it was.
    if (aside == Aside::kKept) {
      *undoFailed = rename(backup, target) != 0;
      if (!*undoFailed) RecordFileOp(FileOp::kRename, backup, target);
    } else {
      *undoFailed = unlink(target) != 0;
      if (!*undoFailed) RecordFileOp(FileOp::kUnlink, target);
    }
    return false;
  }
  if (aside == Aside::kKept) PlatformRemove(backup);
  return true;
}

}  // namespace ovel
