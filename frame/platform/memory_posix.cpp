// POSIX: movable local memory, fixed blocks, and the identity of the
// process that owns them.
#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

#include "frame/platform/posix_internal.h"

namespace ovel {

using posix::Injected;

namespace {

// Movable local memory is a table of slots.  A handle carries its slot and
// the slot's generation, which changes whenever the slot is freed, so a
// stale handle never names a later record.
struct LocalSlot {
  void* address;
  uintptr_t generation;
  uint32_t nextFree;  // free list, slot index + 1; 0 ends it
  bool inUse;
};

constexpr unsigned kSlotBits = 20;
constexpr uintptr_t kSlotMask = (uintptr_t{1} << kSlotBits) - 1;

LocalSlot* gSlots;
uint32_t gSlotCapacity;
uint32_t gSlotsUsed;  // slots ever handed out
uint32_t gFirstFree;  // slot index + 1; 0 when none
long gLiveLocals;
long gLiveBlocks;

LocalSlot* SlotOf(LocalRef handle) {
  uintptr_t index = handle & kSlotMask;
  if (index == 0 || index > gSlotsUsed) return nullptr;
  LocalSlot* slot = &gSlots[index - 1];
  if (!slot->inUse || slot->generation != (handle >> kSlotBits)) return nullptr;
  return slot;
}

bool GrowSlots() {
  uint32_t capacity = gSlotCapacity ? gSlotCapacity * 2 : 64;
  if (capacity > kSlotMask) return false;
  void* grown = realloc(gSlots, capacity * sizeof(LocalSlot));
  if (!grown) return false;
  gSlots = static_cast<LocalSlot*>(grown);
  gSlotCapacity = capacity;
  return true;
}

}  // namespace

LocalRef PlatformLocalAlloc(size_t size, bool zeroFill) {
  if (Injected(FaultPoint::kLocalAlloc, ENOMEM)) return 0;
  uint32_t index;
  if (gFirstFree) {
    index = gFirstFree - 1;
  } else {
    if (gSlotsUsed == gSlotCapacity && !GrowSlots()) {
      PlatformNoteCause(Cause::kNoMemory);
      return 0;
    }
    index = gSlotsUsed;
  }
  void* address = zeroFill ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
  if (!address) {
    PlatformNoteCause(Cause::kNoMemory);
    return 0;
  }
  LocalSlot* slot = &gSlots[index];
  if (index == gSlotsUsed) {
    ++gSlotsUsed;
    slot->generation = 1;
  } else {
    gFirstFree = slot->nextFree;
  }
  slot->address = address;
  slot->inUse = true;
  slot->nextFree = 0;
  ++gLiveLocals;
  return (slot->generation << kSlotBits) | (index + 1);
}

void* PlatformLocalLock(LocalRef handle) {
  LocalSlot* slot = SlotOf(handle);
  return slot ? slot->address : nullptr;
}

void PlatformLocalUnlock(LocalRef) {}

void PlatformLocalFree(LocalRef handle) {
  LocalSlot* slot = SlotOf(handle);
  if (!slot) return;
  free(slot->address);
  slot->address = nullptr;
  slot->inUse = false;
  // Generations stay inside the bits a handle has for them and never 0.
  slot->generation = (slot->generation + 1) & (~uintptr_t{0} >> kSlotBits);
  if (slot->generation == 0) slot->generation = 1;
  slot->nextFree = gFirstFree;
  gFirstFree = static_cast<uint32_t>(slot - gSlots) + 1;
  --gLiveLocals;
}

void* PlatformBlockAlloc(size_t size) {
  if (Injected(FaultPoint::kBlockAlloc, ENOMEM)) return nullptr;
  void* address = malloc(size);
  if (!address) {
    PlatformNoteCause(Cause::kNoMemory);
    return nullptr;
  }
  ++gLiveBlocks;
  return address;
}

void PlatformBlockFree(void* address) {
  if (!address) return;
  free(address);
  --gLiveBlocks;
}

namespace {

// getpid() is a system call, and the allocator asks for the identity at
// every block; the identity is cached and renewed in a forked child.
pid_t gProcessId;

void RenewProcessId() { gProcessId = getpid(); }

}  // namespace

ProcessId PlatformCurrentProcess() {
  if (gProcessId == 0) {
    RenewProcessId();
    pthread_atfork(nullptr, nullptr, RenewProcessId);
  }
  return static_cast<ProcessId>(gProcessId);
}

long PlatformLiveBlocks() { return gLiveBlocks; }
long PlatformLiveLocals() { return gLiveLocals; }

}  // namespace ovel
