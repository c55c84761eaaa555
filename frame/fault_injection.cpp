#include "frame/fault_injection.h"

namespace ovel {
namespace {

constexpr int kPoints = static_cast<int>(FaultPoint::kCount);
long gCalls[kPoints];
long gArmedAt[kPoints];  // call number that fails; 0 when disarmed
long gCallsAll;
long gArmedAllAt;

}  // namespace

bool FaultTrips(FaultPoint point) {
  int i = static_cast<int>(point);
  ++gCalls[i];
  ++gCallsAll;
  bool trips = gCalls[i] == gArmedAt[i] || gCallsAll == gArmedAllAt;
  if (trips) {
    gArmedAt[i] = 0;
    gArmedAllAt = 0;
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
}

long FaultCalls(FaultPoint point) { return gCalls[static_cast<int>(point)]; }
long FaultCallsAll() { return gCallsAll; }

}  // namespace ovel
