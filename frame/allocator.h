// The per-process allocator: every block of book data and every block handed
// to a caller comes from here, and only while the process is counted in.
#pragma once

#include <cstdint>

namespace ovel {

// Counts the calling process in, creating its context at the first call.
void ProcessContextInit();
// Counts the calling process out, destroying its context at the last call.
void ProcessContextTerm();
// True while the calling process is counted in.
bool ProcessContextExists();

// A zero-filled block of `size` bytes; null for size 0, when the process is
// not counted in, or when there is no memory.
void* AllocBlock(uint32_t size);
// A block like AllocBlock's but not zero-filled, for buffers that are
// written whole before they are read (file contents).
void* AllocScratchBlock(uint32_t size);
// Frees a block from AllocBlock or AllocScratchBlock; nothing for null or when the process is not
// counted in.
void FreeBlock(void* address);
// A copy of `text` in its own block; null for null or when no memory.
char* DupString(const char* text);

}  // namespace ovel
