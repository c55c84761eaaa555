// Win32: movable local memory (LocalAlloc), fixed blocks (GlobalAlloc),
// and the identity of the process that owns them.
#include "frame/platform/win32_internal.h"

namespace ovel {

using win32::Injected;

namespace {

long gLiveLocals;
long gLiveBlocks;

}  // namespace

LocalRef PlatformLocalAlloc(size_t size, bool zeroFill) {
  if (Injected(FaultPoint::kLocalAlloc, ERROR_NOT_ENOUGH_MEMORY)) return 0;
  HLOCAL handle = LocalAlloc(LMEM_MOVEABLE | (zeroFill ? LMEM_ZEROINIT : 0), size);
  if (!handle) {
    PlatformNoteCause(Cause::kNoMemory);
    return 0;
  }
  ++gLiveLocals;
  return reinterpret_cast<LocalRef>(handle);
}

void* PlatformLocalLock(LocalRef handle) {
  return handle ? LocalLock(reinterpret_cast<HLOCAL>(handle)) : nullptr;
}

void PlatformLocalUnlock(LocalRef handle) {
  if (handle) LocalUnlock(reinterpret_cast<HLOCAL>(handle));
}

void PlatformLocalFree(LocalRef handle) {
  if (!handle) return;
  LocalFree(reinterpret_cast<HLOCAL>(handle));
  --gLiveLocals;
}

void* PlatformBlockAlloc(size_t size) {
  if (Injected(FaultPoint::kBlockAlloc, ERROR_NOT_ENOUGH_MEMORY)) return nullptr;
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, size);
  void* address = handle ? GlobalLock(handle) : nullptr;
  if (!address) {
    if (handle) GlobalFree(handle);
    PlatformNoteCause(Cause::kNoMemory);
    return nullptr;
  }
  ++gLiveBlocks;
  return address;
}

void PlatformBlockFree(void* address) {
  if (!address) return;
  HGLOBAL handle = GlobalHandle(address);
  if (!handle) return;
  GlobalUnlock(handle);
  GlobalFree(handle);
  --gLiveBlocks;
}

ProcessId PlatformCurrentProcess() { return reinterpret_cast<ProcessId>(GetCurrentProcess()); }

long PlatformLiveBlocks() { return gLiveBlocks; }
long PlatformLiveLocals() { return gLiveLocals; }

}  // namespace ovel
