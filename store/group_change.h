// A group's members changed: the copy of a group that a change puts in its
// place (see ReplaceEntry), since an entry's members live in its own block.
#pragma once

#include "frame/book.h"
#include "store/entry.h"

namespace ovel {

// True when `id` is among the group's members.
bool HasMember(const Entry* group, uint16_t id);

// A copy of `group` (its id, name and comment) whose members are its
// members that still name an entry of the book, in their order, with
// `memberId` added at the end (`add`) or left out.  Null, the cause noted,
// when there is no memory or an added member would be one too many
// (kGroupFull).
Entry* GroupWithMember(const Book* book, const Entry* group, uint16_t memberId, bool add);

}  // namespace ovel
