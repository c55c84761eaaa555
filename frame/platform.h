// The platform layer: the only code that knows the operating system.
// Everything above it is the same source on Windows and on POSIX.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ovel {

// A movable local-memory record.  Zero is "none".  A freed handle is never
// found again by the chains; on POSIX a stale value never locks.
using LocalRef = uintptr_t;

// The identity of the calling process.
using ProcessId = uintptr_t;

// An open file; kNoFile when none.
using FileRef = intptr_t;
inline constexpr FileRef kNoFile = -1;

#if defined(_WIN32)
inline constexpr size_t kPathMax = 260;  // MAX_PATH
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr size_t kPathMax = 4096;  // PATH_MAX on Linux
inline constexpr char kPathSeparator = '/';
#endif

// The longest file name the library creates in a book's directory: that of
// the book file, "ADDRBOOK.DAT", and of its lock file.  Temporary files have
// names no longer.
inline constexpr size_t kLongestFileName = 12;

// What tells one version of a file from another: a file put in its place,
// or the same file rewritten, has another stamp.
struct FileStamp {
  uint64_t volume;  // device, or volume serial number
  uint64_t file;    // inode, or file index
  int64_t size;
  int64_t modified;  // last write time, in the platform's finest unit
  // Last change of the file's data or attributes, which no program can set
  // back: a rewrite in place that keeps the size and restores the write
  // time still changes it.
  int64_t changed;
  bool exists;
  bool operator==(const FileStamp&) const = default;
};

// Why a call failed.  Where a service of the system fails, the platform
// layer notes the system's own error; the library notes the causes that it
// finds itself.  The last noted cause is what the failing call reports.
enum class Cause {
  kInvalidArgument,  // a null, empty, overlong or out-of-range argument
  kInvalidHandle,    // not an open Client or a live view
  kNoMemory,
  kNameTooLong,     // a directory whose path does not fit
  kMalformedBook,   // the book file is not a book
  kBookFull,        // the book holds as many entries as its file can
  kGroupFull,       // the group holds as many members as its record can
  kAlreadyExists,   // a group of that name is in the book
  kIsDirectory,     // the book file or the lock file is a directory
  kNotRegularFile,  // ... or a FIFO, device or socket
  kStaleView,       // the view read a list too old to tell what it showed
  kNotFound,        // no group has the name; a link names no file
  kBusy,            // a transaction of this program holds the book
  kReadOnlyBook,    // the book's owner made it read-only
  kIoError,
};
void PlatformNoteCause(Cause cause);
// Notes the error of the system service that has just failed.
void PlatformNoteSystemError();
// Forgets the noted cause: each exported call starts with none.
void PlatformClearError();
// Leaves the noted cause where callers read it (errno, or the thread's
// last-error code); an I/O error when none was noted.
void PlatformRaiseError();
// Leaves "no error" there: for a null result that is no failure.
void PlatformRaiseNoError();
// The noted cause, to be put back after a clean-up step that may note
// another.
long PlatformNotedCause();
void PlatformRestoreCause(long noted);

// Movable local memory.
LocalRef PlatformLocalAlloc(size_t size, bool zeroFill);
void* PlatformLocalLock(LocalRef handle);
void PlatformLocalUnlock(LocalRef handle);
void PlatformLocalFree(LocalRef handle);

// Blocks that stay at one address for their whole life.  Not zero-filled.
void* PlatformBlockAlloc(size_t size);
void PlatformBlockFree(void* address);

ProcessId PlatformCurrentProcess();

// Strings.  The case-insensitive comparison is a total order on 8-bit
// strings; it orders sort keys and matches group names.
int PlatformCompareNoCase(const char* a, const char* b);
bool PlatformEqual(const char* a, const char* b);

// The absolute form of `path` in `out` (of `outSize` bytes), as the system
// resolves it where the path exists; the part that does not exist is
// resolved by text.  False when it cannot be formed or does not fit.
bool PlatformFullPath(char* out, const char* path, size_t outSize);

// The file that `path` names, in `out` (kPathMax bytes): the end of its
// chain of symbolic links where the platform has them.  False when the chain
// does not end, ends in nothing (kNotFound: a link names no book until its
// file exists) or the result does not fit.
bool PlatformResolveFile(const char* path, char* out);

// Turns an absolute path into the key under which books are shared: upper
// case on Windows (its file names are case-insensitive), unchanged on POSIX.
// Only whole characters of the system's code page are changed.
void PlatformPathKey(char* path);

// The length of an absolute path without its trailing separators; a root
// ("/" or "C:\") keeps its own.  Only whole characters are separators: in
// a double-byte code page a trail byte may have a separator's value.
size_t PlatformTrimmedLength(const char* path);
bool PlatformIsSeparator(char c);

// Files.
enum class OpenResult { kOpened, kMissing, kFailed };
// Opens a regular file for reading and gives its stamp (its size among it).
// Never blocks on a FIFO or device: anything but a regular file fails.
OpenResult PlatformOpenRead(const char* path, FileRef* file, FileStamp* stamp);
// Bytes read, fewer than `size` only at the end of the file; -1 on error.
long PlatformRead(FileRef file, void* buffer, size_t size);
// The stamp of the file at `path` (exists false when there is none); false
// when it cannot be had.
bool PlatformStampAt(const char* path, FileStamp* stamp);
void PlatformCloseRead(FileRef file);
// Creates a new, uniquely named file in `directory` (which ends in a
// separator) and stores its path in `pathOut` (kPathMax bytes).  Where the
// platform has file modes and owners, the file gets those of `likeFile`
// when it exists (the owner where the caller may give it), so that
// replacing a file keeps who may read and write it.
bool PlatformCreateUnique(const char* directory, const char* likeFile, char* pathOut,
                          FileRef* file);
bool PlatformWrite(FileRef file, const void* buffer, size_t size);
bool PlatformFlush(FileRef file);
// Closes a file from PlatformCreateUnique; false when the close failed.
bool PlatformClose(FileRef file);
// False when the caller may not write `target`, an existing file, so that
// replacing it would override its owner's wish (a read-only book).
bool PlatformMayReplace(const char* target);
// Replaces `target` (a file in `directory`) by `source` in one step and
// makes the replacement durable.  On failure `target` holds what it held
// (its change time may differ), unless `*undoFailed` is set: the
// replacement was made but neither flushed nor undone.
bool PlatformReplaceDurably(const char* source, const char* target, const char* directory,
                            bool* undoFailed);
// Removes a file where it can: a clean-up step, which notes no cause.
void PlatformRemove(const char* path);
// Removes what saves that died left in `directory`: their temporary files
// and the copies they kept of the file they were replacing.  Only for a
// caller that holds the directory's lock file exclusively.
void PlatformRemoveStaleFiles(const char* directory);

// The lock that orders every process's loads and changes of a book.  It is
// taken on the book's directory where the system locks directories (a lock
// that removing or renaming a name inside cannot take away), and as a
// byte-range lock on a lock file beside the book, which is never replaced
// and reaches where directory locks do not (network shares).  Both go with
// their process.  The lock file also keeps a count of the saves made under
// it.
enum class LockMode { kShared, kExclusive };
struct BookLock {
  FileRef directory;  // the locked directory, or kNoFile
  FileRef file;       // the locked lock file, or kNoFile
  bool exclusive;     // held exclusively: the holder may change the book
  bool writable;      // the lock file is open for writing: its count can be stored
};
inline constexpr BookLock kNoLock = {kNoFile, kNoFile, false, false};
// Waits for the lock of the book `likeFile` in `directory`, whose lock file
// is `path`; where `wait` is false, fails at once (kBusy) instead.  A
// change creates a missing lock file (owned and readable like the book,
// writable by whoever may write the book or the directory); a lock file
// that is a symbolic link or not a regular file is refused.  False, with
// the cause noted, when the lock cannot be had: a shared lock is then had
// by no one (a book on a read-only medium still loads).
bool PlatformLock(const char* directory, const char* path, const char* likeFile, LockMode mode,
                  bool wait, BookLock* lock);
// The count kept in a locked lock file; false when it cannot be read (the
// system's cause noted where reading failed).
bool PlatformReadLockCount(const BookLock& lock, uint64_t* count);
// Stores a new count; only under an exclusive lock.  False where the lock
// file is not writable, and (the system's cause noted) where writing fails.
bool PlatformWriteLockCount(const BookLock& lock, uint64_t count);
// Releases the lock and closes what it holds.
void PlatformUnlock(BookLock* lock);
// Drops a lock this process inherited from the one it was forked from,
// never releasing it: the lock stays that process's.
void PlatformForgetLock(BookLock* lock);

// Blocks and local records alive now, for leak checks.
long PlatformLiveBlocks();
long PlatformLiveLocals();

}  // namespace ovel
