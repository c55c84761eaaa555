// Views: positional windows on a Book's sorted entry list.
#pragma once

#include "frame/client.h"
#include "frame/record_chain.h"
#include "store/entry.h"

namespace ovel {

// The last position a view found, valid while the Book's list is unchanged.
struct ViewCursor {
  uint32_t stamp;  // Book::changeCount when taken
  int32_t index;
  Entry* entry;  // null: no cursor
};

struct View {
  ChainLink link;
  Client* client;
  int32_t includeGroups;
  ViewCursor cursor;
  uint32_t countStamp;  // Book::changeCount when count was taken
  int32_t count;        // -1: not counted yet
  // Book::loads of the list the view last read: its indexes name entries
  // of that list.
  uint32_t seenLoads;
};

extern RecordChain gViewChain;

// The index-th entry the view shows (0-based), or null.  A cursor, when
// given and still valid, lets a walk in rising order go on where it stopped.
Entry* FindViewEntry(const Book* book, int32_t index, bool includeGroups, ViewCursor* cursor);

// Closes every view still open on `client`, dropping their load references.
void FreeViewsOfClient(const Client* client, Book* book);

}  // namespace ovel
