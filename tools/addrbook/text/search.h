// Finding entries by text.
#pragma once

#include <string>

#include "text/entry.h"

namespace addrbook {

// True when the name, address or comment of `entry` holds `text`, both in
// the book's 8-bit encoding, in any case (ASCII and Latin-1 letters).
bool EntryMatches(const Entry& entry, const std::string& text);

// The stored form of a name the book shows: the spaces within its surname
// become "%" again, so that the name sorts as it did.
std::string StoredName(const Entry& entry);

}  // namespace addrbook
