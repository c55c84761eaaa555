// Expanding a group into the list of its members.
#pragma once

#include "ovel.h"
#include "store/entry.h"

namespace ovel {

// More items than any sensible expansion yields; a file whose groups nest
// into more (repeated diamonds multiply) fails instead of exhausting memory.
inline constexpr uint32_t kMaxMemberItems = 65535;

// Copies of the members of `group`, depth first; nested groups replaced by
// their members when `recursive`, except a group already being expanded on
// the current path, which is left out.  Null when there are none, or when
// memory runs out (`failed` then true, the cause noted).
MemberItem* ExpandMembers(const Book* book, const Entry* group, bool recursive, bool* failed);

}  // namespace ovel
