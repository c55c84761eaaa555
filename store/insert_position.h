// Where a new entry goes in the sorted list: before the first entry whose
// key is not smaller.  Many adds in a row (a transaction's, an import's)
// start each search at an anchor found by a binary search, not at the
// list's head, so that they do not cost the square of the list's length.
#pragma once

#include "frame/book.h"
#include "store/entry.h"

namespace ovel {

// The link (Book::entries or an entry's `next`) that points at the first
// entry whose key is not smaller than `key`, or at the list's end: the
// same link as a walk from the head finds.
Entry** InsertionLink(Book* book, const char* key);

// Tells the anchors that the one change just made (Book::changeCount
// bumped) was an insertion at the link InsertionLink gave: they still hold.
void AnchorsKeptByInsertion(Book* book);

}  // namespace ovel
