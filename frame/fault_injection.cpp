#include "frame/fault_injection.h"

#include <map>
#include <utility>

namespace ovel {
namespace {

constexpr int kPoints = static_cast<int>(FaultPoint::kCount);
long gCalls[kPoints];
long gArmedAt[kPoints];  // call number that fails; 0 when disarmed
long gCallsAll;
long gArmedAllAt;
long gInjectedCause;

bool gRecording;
std::vector<RecordedFileOp> gRecorded;
std::map<intptr_t, std::string> gOpenedFiles;
bool gSkipFlushes;
bool gNoHardLinks;
bool gNoDirectoryLocks;
bool gCollideStamps;

}  // namespace

bool FaultTrips(FaultPoint point, long cause) {
  int i = static_cast<int>(point);
  ++gCalls[i];
  ++gCallsAll;
  bool trips = gCalls[i] == gArmedAt[i] || gCallsAll == gArmedAllAt;
  if (trips) {
    gArmedAt[i] = 0;
    gArmedAllAt = 0;
    gInjectedCause = cause;
  }
  return trips;
}

void FaultArm(FaultPoint point, long nth) {
  int i = static_cast<int>(point);
  gArmedAt[i] = nth > 0 ? gCalls[i] + nth : 0;
}

void FaultArmAny(long nth) { gArmedAllAt = nth > 0 ? gCallsAll + nth : 0; }

void FaultReset() {
  for (int i = 0; i < kPoints; ++i) {
    gCalls[i] = 0;
    gArmedAt[i] = 0;
  }
  gCallsAll = 0;
  gArmedAllAt = 0;
  gInjectedCause = 0;
}

long InjectedCause() { return gInjectedCause; }

long FaultCalls(FaultPoint point) { return gCalls[static_cast<int>(point)]; }
long FaultCallsAll() { return gCallsAll; }

void StartRecordingFileOps() {
  gRecorded.clear();
  gRecording = true;
}

std::vector<RecordedFileOp> StopRecordingFileOps() {
  gRecording = false;
  return std::move(gRecorded);
}

void RecordFileOp(FileOp op, const char* path, const char* target) {
  if (gRecording) gRecorded.push_back({op, path, target ? target : "", ""});
}

void RecordFileOpOn(FileOp op, intptr_t file, const void* bytes, size_t size) {
  if (!gRecording) return;
  auto opened = gOpenedFiles.find(file);
  std::string path = opened == gOpenedFiles.end() ? "" : opened->second;
  std::string data = bytes ? std::string(static_cast<const char*>(bytes), size) : std::string();
  gRecorded.push_back({op, path, "", data});
  if (op == FileOp::kClose && opened != gOpenedFiles.end()) gOpenedFiles.erase(opened);
}

void RecordOpenedFile(intptr_t file, const char* path) {
  gOpenedFiles[file] = path;
  RecordFileOp(FileOp::kCreate, path);
}

void SkipFileFlushes(bool skip) { gSkipFlushes = skip; }
bool FileFlushesSkipped() { return gSkipFlushes; }
void SimulateNoHardLinks(bool simulate) { gNoHardLinks = simulate; }
bool NoHardLinks() { return gNoHardLinks; }
void SimulateNoDirectoryLocks(bool simulate) { gNoDirectoryLocks = simulate; }
bool NoDirectoryLocks() { return gNoDirectoryLocks; }
void CollideStamps(bool collide) { gCollideStamps = collide; }
bool StampsCollide() { return gCollideStamps; }

}  // namespace ovel
