// Finding entries by text.
#pragma once

#include <string>

#include "text/entry.h"
#include "text/folding.h"

namespace addrbook {

// True when the name, address (not a group's) or comment of `entry` holds
// the text `matcher` looks for.
bool EntryMatches(const Entry& entry, const TextMatcher& matcher);

// The stored form of a name the book shows: the spaces within its surname
// become "%" again, so that the name sorts as it did.
std::string StoredName(const Entry& entry);

}  // namespace addrbook
