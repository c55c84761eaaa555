// Fault injection for test builds: makes the Nth call of a platform service
// fail.  Without OVEL_FAULT_INJECTION nothing ever fails on purpose and the
// checks compile away.
#pragma once

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

#if defined(OVEL_FAULT_INJECTION)
// True when this call of `point` is the one armed to fail.
bool FaultTrips(FaultPoint point);
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
inline bool FaultTrips(FaultPoint) { return false; }
#endif

}  // namespace ovel
