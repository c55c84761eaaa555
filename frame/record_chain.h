// Registries of movable records found again by handle or key: the Book chain
// and the View chain.  Records are locked only while a field is read or
// written.
#pragma once

#include <cstdint>

#include "frame/platform.h"

namespace ovel {

// The first two fields of every chain record.
struct ChainLink {
  LocalRef next;
  LocalRef self;
};

// The handle of the first record, or 0 for an empty chain.
using RecordChain = LocalRef;

// Pushes a zero-filled record of `size` bytes at the head; 0 when no memory.
LocalRef ChainPush(RecordChain* chain, uint16_t size);
// `handle` when a record of the chain bears it, else 0.  Never locks a
// handle that is not in the chain.
LocalRef ChainFindBySelf(RecordChain chain, LocalRef handle);
// The first Book record of the calling process whose key equals `path`
// (case-sensitive), else 0.
LocalRef ChainFindByPath(RecordChain chain, const char* path);
// Unlinks and frees the record; false when it is not in the chain.
bool ChainRemove(RecordChain* chain, LocalRef handle);

}  // namespace ovel
