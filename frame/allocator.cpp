#include "frame/allocator.h"

#include <cstring>

#include "frame/local_lock.h"
#include "frame/platform.h"
#include "frame/record_chain.h"

namespace ovel {
namespace {

struct ProcessContext {
  ChainLink link;
  ProcessId process;
  // Wider than the 16 bits a count of Clients would seem to need, so that
  // it cannot wrap and destroy the context under open Clients.
  uint32_t useCount;
};

RecordChain gContextChain;

// The handle of the calling process's context, or 0.
LocalRef FindContext() {
  ProcessId self = PlatformCurrentProcess();
  for (LocalRef handle = gContextChain; handle;) {
    LocalLock<ProcessContext> context(handle);
    if (!context) return 0;
    if (context->process == self) return handle;
    handle = context->link.next;
  }
  return 0;
}

// Drops the contexts of other processes: a forked child's copy of its
// parent's, of no use to it.
void DropOtherContexts() {
  ProcessId self = PlatformCurrentProcess();
  for (LocalRef handle = gContextChain; handle;) {
    LocalRef next;
    bool other;
    {
      LocalLock<ProcessContext> context(handle);
      if (!context) return;
      next = context->link.next;
      other = context->process != self;
    }
    if (other) ChainRemove(&gContextChain, handle);
    handle = next;
  }
}

}  // namespace

void ProcessContextInit() {
  if (LocalRef found = FindContext()) {
    LocalLock<ProcessContext> context(found);
    ++context->useCount;
    return;
  }
  DropOtherContexts();
  LocalRef handle = ChainPush(&gContextChain, sizeof(ProcessContext));
  if (!handle) return;
  LocalLock<ProcessContext> context(handle);
  context->process = PlatformCurrentProcess();
  context->useCount = 1;
}

void ProcessContextTerm() {
  LocalRef found = FindContext();
  if (!found) return;
  {
    LocalLock<ProcessContext> context(found);
    if (context->useCount > 1) {
      --context->useCount;
      return;
    }
  }
  ChainRemove(&gContextChain, found);
}

bool ProcessContextExists() { return FindContext() != 0; }

void* AllocScratchBlock(uint32_t size) {
  if (size == 0 || !ProcessContextExists()) {
    PlatformNoteCause(Cause::kNoMemory);
    return nullptr;
  }
  return PlatformBlockAlloc(size);
}

void* AllocBlock(uint32_t size) {
  void* address = AllocScratchBlock(size);
  if (address) memset(address, 0, size);
  return address;
}

void FreeBlock(void* address) {
  if (!address || !ProcessContextExists()) return;
  PlatformBlockFree(address);
}

char* DupString(const char* text) {
  if (!text) return nullptr;
  size_t length = strlen(text);
  if (length >= UINT32_MAX) return nullptr;
  char* copy = static_cast<char*>(AllocBlock(static_cast<uint32_t>(length + 1)));
  if (copy) memcpy(copy, text, length + 1);
  return copy;
}

}  // namespace ovel
