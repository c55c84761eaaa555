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
// the book file, "ADDRBOOK.DAT".  Temporary files have names no longer.
inline constexpr size_t kLongestFileName = 12;

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

// The absolute form of `path` in `out` (of `outSize` bytes), purely
// lexical: the directory need not exist.  False when it cannot be formed or
// does not fit.
bool PlatformFullPath(char* out, const char* path, size_t outSize);

// Turns an absolute path into the key under which books are shared: upper
// case on Windows (its file names are case-insensitive), unchanged on POSIX.
void PlatformPathKey(char* path);

// Length of the root prefix of an absolute path ("/" or "C:\"), which keeps
// its separator when trailing separators are dropped.
size_t PlatformRootLength(const char* path);
bool PlatformIsSeparator(char c);

// Files.
enum class OpenResult { kOpened, kMissing, kFailed };
OpenResult PlatformOpenRead(const char* path, FileRef* file);
// Bytes read, fewer than `size` only at the end of the file; -1 on error.
long PlatformRead(FileRef file, void* buffer, size_t size);
// Length of a file opened for reading; -1 when it cannot be had.
long long PlatformFileSize(FileRef file);
void PlatformCloseRead(FileRef file);
// Creates a new, uniquely named file in `directory` (which ends in a
// separator) and stores its path in `pathOut` (kPathMax bytes).  Where the
// platform has file modes, the file gets those of `likeFile` when it
// exists, so that replacing a file keeps who may read it.
bool PlatformCreateUnique(const char* directory, const char* likeFile, char* pathOut,
                          FileRef* file);
bool PlatformWrite(FileRef file, const void* buffer, size_t size);
bool PlatformFlush(FileRef file);
// Closes a file from PlatformCreateUnique; false when the close failed.
bool PlatformClose(FileRef file);
// Replaces `target` (a file in `directory`) by `source` in one step and
// makes the replacement durable.  On failure `target` is as it was.
bool PlatformReplaceDurably(const char* source, const char* target, const char* directory);
void PlatformRemove(const char* path);

// Blocks and local records alive now, for leak checks.
long PlatformLiveBlocks();
long PlatformLiveLocals();

}  // namespace ovel
