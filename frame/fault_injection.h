// Fault injection for test builds: makes the Nth call of a platform service
// fail, and records the file-system calls of a save.  Without
// OVEL_FAULT_INJECTION nothing ever fails on purpose, nothing is recorded
// and the hooks compile away.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(OVEL_FAULT_INJECTION)
#include <string>
#include <vector>
#endif

namespace ovel {

enum class FaultPoint {
  kBlockAlloc,
  kLocalAlloc,
  kOpen,
  kCreate,
  kRead,
  kWrite,
  kFlush,
  kRename,
  kCount
};

// A file-system call that changes what the storage may keep.
enum class FileOp {
  kCreate,          // path: a new, empty file
  kWrite,           // path, bytes: appended
  kFlush,           // path: the file's data flushed
  kClose,           // path
  kRename,          // path -> target, replacing target
  kLink,            // path -> target, a second name
  kUnlink,          // path
  kFlushDirectory,  // path: the directory's names flushed
};

#if defined(OVEL_FAULT_INJECTION)
struct RecordedFileOp {
  FileOp op;
  std::string path;
  std::string target;
  std::string bytes;
};

// Starts recording file-system calls (and forgets earlier ones).
void StartRecordingFileOps();
// Stops recording and returns what was recorded.
std::vector<RecordedFileOp> StopRecordingFileOps();
// Records a call on a path, or on an open file (by the path it was
// created at).
void RecordFileOp(FileOp op, const char* path, const char* target = nullptr);
void RecordFileOpOn(FileOp op, intptr_t file, const void* bytes = nullptr, size_t size = 0);
// Remembers the path of a file the library created.
void RecordOpenedFile(intptr_t file, const char* path);
// A deliberately broken save for the crash-state tests: file flushes are
// skipped (and reported as done).
void SkipFileFlushes(bool skip);
bool FileFlushesSkipped();
// A file system without hard links (FAT, some network shares): link()
// fails as it does there.
void SimulateNoHardLinks(bool simulate);
bool NoHardLinks();
// A file system that does not lock directories (network file systems):
// flock() on a directory fails as it does there, and the lock file alone
// orders the calls.
void SimulateNoDirectoryLocks(bool simulate);
bool NoDirectoryLocks();
// Stamps that tell files apart by existence and size only, as on a system
// that gives a new file the number and times of an old one: only the count
// of saves can tell versions apart then.
void CollideStamps(bool collide);
bool StampsCollide();

// True when this call of `point` is the one armed to fail, with `cause`
// (the system's error code) then the cause it fails with.
bool FaultTrips(FaultPoint point, long cause = 0);
// The cause of the last call that failed on purpose since the last reset;
// 0 when none did.
long InjectedCause();
// Makes the nth call of `point` from now on fail (1 is the next call).
void FaultArm(FaultPoint point, long nth);
// Makes the nth call of any point from now on fail.
void FaultArmAny(long nth);
// Disarms everything and sets every call counter to zero.
void FaultReset();
// Calls of `point` (or of all points) since the last reset.
long FaultCalls(FaultPoint point);
long FaultCallsAll();
#else
inline bool FaultTrips(FaultPoint, long = 0) { return false; }
inline void RecordFileOp(FileOp, const char*, const char* = nullptr) {}
inline void RecordFileOpOn(FileOp, intptr_t, const void* = nullptr, size_t = 0) {}
inline void RecordOpenedFile(intptr_t, const char*) {}
inline bool FileFlushesSkipped() { return false; }
inline bool NoHardLinks() { return false; }
inline bool NoDirectoryLocks() { return false; }
inline bool StampsCollide() { return false; }
#endif

}  // namespace ovel
