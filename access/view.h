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

// What an exported view operation reads from a proven view.
struct ViewSnapshot {
  LocalRef handle;
  Client* client;
  bool includeGroups;
  uint32_t seenLoads;
};
// True, with the view's record read into `out`, when `view` is a live view
// of an open Client of this process.
bool ProveView(ViewHandle view, ViewSnapshot* out);

// What an index of a view names for a change (a delete, a member added or
// taken out): the entry the index named in the list the view last read.
struct ViewTarget {
  Entry** link;      // to the entry in the current list; null when it names none
  Entry** seenLink;  // to it in the previous list, when the view read that one
};
// Finds the target.  When the file was read again since the view read the
// list, the entry is looked for in the new list by its content.  False
// (the cause noted) when nothing tells which entry the view meant: it read
// a list older than the one before, or the new list has entries it could
// have meant that differ.
bool FindViewTarget(Book* book, const ViewSnapshot& view, int32_t index, ViewTarget* target);

// The index-th entry the view shows (0-based), or null.  A cursor, when
// given and still valid, lets a walk in rising order go on where it stopped.
Entry* FindViewEntry(const Book* book, int32_t index, bool includeGroups, ViewCursor* cursor);

// Closes every view still open on `client`, dropping their load references.
void FreeViewsOfClient(const Client* client, Book* book);

}  // namespace ovel
