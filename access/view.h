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
};

extern RecordChain gViewChain;

// The index-th entry the view shows (0-based), or null.  A cursor, when
// given and still valid, lets a walk in rising order go on where it stopped.
Entry* FindViewEntry(const Book* book, int32_t index, bool includeGroups, ViewCursor* cursor);
// The list position of the index-th plain entry, or -1 when there is none.
int32_t ViewIndexToPosition(const Book* book, int32_t index);

// Closes every view still open on `client`, dropping their load references.
void FreeViewsOfClient(const Client* client, Book* book);

}  // namespace ovel
