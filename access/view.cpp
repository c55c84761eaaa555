#include "access/view.h"

#include "access/copy_out.h"
#include "frame/allocator.h"
#include "frame/local_lock.h"
#include "ovel.h"
#include "store/book_call.h"
#include "store/book_file.h"

namespace ovel {

RecordChain gViewChain;

namespace {

LocalRef AsLocal(ViewHandle view) { return reinterpret_cast<LocalRef>(view); }

// What an exported view operation reads from a proven view.
struct ViewSnapshot {
  LocalRef handle;
  Client* client;
  bool includeGroups;
  uint32_t seenLoads;
};

bool ProveView(ViewHandle view, ViewSnapshot* out) {
  LocalRef handle = ChainFindBySelf(gViewChain, AsLocal(view));
  if (!handle) return false;
  LocalLock<View> record(handle);
  if (!record) return false;
  *out = {handle, record->client, record->includeGroups != 0, record->seenLoads};
  return true;
}

bool Shows(const Entry* entry, bool includeGroups) { return includeGroups || !IsGroup(entry); }

// The link in `*list` to the index-th entry a view shows, or null.
Entry** LinkToShown(Entry** list, int32_t index, bool includeGroups) {
  if (index < 0) return nullptr;
  for (Entry** link = list; *link; link = &(*link)->next) {
    if (Shows(*link, includeGroups) && index-- == 0) return link;
  }
  return nullptr;
}

// The link in `*list` that points at `entry`.
Entry** LinkTo(Entry** list, const Entry* entry) {
  Entry** link = list;
  while (*link != entry) link = &(*link)->next;
  return link;
}

// What a delete through a view deletes: the entry the index named in the
// list the view last read.  When the file was read again since, that entry
// is looked for in the new list by its content; when the view read a list
// older than the one before, nothing tells which entry it meant.
struct DeleteTarget {
  bool known;
  Entry** link;      // to the entry in the current list; null when it names none
  Entry** seenLink;  // to it in the previous list, when the view read that one
};

DeleteTarget FindDeleteTarget(Book* book, const ViewSnapshot& view, int32_t index) {
  if (view.seenLoads == book->loads) {
    return {true, LinkToShown(&book->entries, index, view.includeGroups), nullptr};
  }
  if (!book->hasPrevious || view.seenLoads != book->previousLoads) return {false, nullptr, nullptr};
  Entry** seenLink = LinkToShown(&book->previousEntries, index, view.includeGroups);
  if (!seenLink) return {true, nullptr, nullptr};
  Entry* entry = FindSameEntry(book->entries, *seenLink, book->previousEntries);
  return {true, entry ? LinkTo(&book->entries, entry) : nullptr, seenLink};
}

// Takes a deleted entry out of the list a stale view read too, so that its
// later indexes shift as after any delete.
void ForgetSeen(Entry** seenLink) {
  if (!seenLink) return;
  Entry* seen = *seenLink;
  *seenLink = seen->next;
  FreeEntry(seen);
}

ViewItem* CopyOut(const Entry* entry) {
  ViewItem* item = static_cast<ViewItem*>(AllocBlock(sizeof(ViewItem)));
  if (!item) return nullptr;
  if (!CopyEntryFields(item, entry, "<Group>")) {
    OvelFreeItem(item);
    return nullptr;
  }
  return item;
}

}  // namespace

Entry* FindViewEntry(const Book* book, int32_t index, bool includeGroups, ViewCursor* cursor) {
  if (index < 0) return nullptr;
  Entry* entry = book->entries;
  int32_t counter = 0;
  if (cursor && cursor->entry && cursor->stamp == book->changeCount && cursor->index <= index) {
    entry = cursor->entry;
    counter = cursor->index;
  }
  for (; entry; entry = entry->next) {
    if (!Shows(entry, includeGroups)) continue;
    if (counter == index) {
      if (cursor) *cursor = {book->changeCount, index, entry};
      return entry;
    }
    ++counter;
  }
  return nullptr;
}

void FreeViewsOfClient(const Client* client, Book* book) {
  for (LocalRef handle = gViewChain; handle;) {
    LocalRef next;
    bool ours;
    {
      LocalLock<View> view(handle);
      if (!view) return;
      next = view->link.next;
      ours = view->client == client;
    }
    if (ours) {
      ReleaseBook(book);
      ChainRemove(&gViewChain, handle);
    }
    handle = next;
  }
}

}  // namespace ovel

using namespace ovel;

extern "C" OVEL_EXPORT ViewHandle OVELAPI OvelInitView(Client* client, int includeGroups) {
  if (!ClientIsOpen(client)) return nullptr;
  BookCall call(client, BookAccess::kRead);
  Book* book = call.book();
  if (!book || !call.fresh() || AcquireBook(book) != kBookLoaded) return nullptr;
  LocalRef handle = ChainPush(&gViewChain, sizeof(View));
  if (!handle) {
    ReleaseBook(book);
    return nullptr;
  }
  LocalLock<View> view(handle);
  view->client = client;
  view->includeGroups = includeGroups ? 1 : 0;
  view->count = -1;
  view->seenLoads = book->loads;
  return reinterpret_cast<ViewHandle>(handle);
}

extern "C" OVEL_EXPORT int OVELAPI OvelGetViewCount(ViewHandle view) {
  ViewSnapshot snapshot;
  if (!ProveView(view, &snapshot)) return -1;
  // A list that could not be read again is counted as it is.
  BookCall call(snapshot.client, BookAccess::kRead);
  const Book* book = call.book();
  if (!book) return -1;
  LocalLock<View> record(snapshot.handle);
  record->seenLoads = book->loads;
  if (record->count < 0 || record->countStamp != book->changeCount) {
    int32_t count = 0;
    for (const Entry* entry = book->entries; entry; entry = entry->next) {
      if (Shows(entry, snapshot.includeGroups)) ++count;
    }
    record->count = count;
    record->countStamp = book->changeCount;
  }
  return record->count;
}

extern "C" OVEL_EXPORT ViewItem* OVELAPI OvelGetViewItem(ViewHandle view, int index) {
  ViewSnapshot snapshot;
  if (!ProveView(view, &snapshot)) return nullptr;
  const Entry* entry;
  {
    // A walk reads the list in memory: no file lock, no look at the file.
    LockedBook locked(snapshot.client);
    const Book* book = locked.book();
    if (!book) return nullptr;
    LocalLock<View> record(snapshot.handle);
    record->seenLoads = book->loads;
    entry = FindViewEntry(book, index, snapshot.includeGroups, &record->cursor);
  }
  // Entries live in blocks that do not move; the copy needs no lock.
  return entry ? CopyOut(entry) : nullptr;
}

extern "C" OVEL_EXPORT void OVELAPI OvelFreeItem(ViewItem* item) {
  if (!item) return;
  FreeCopiedFields(item);
  FreeBlock(item);
}

extern "C" OVEL_EXPORT int OVELAPI OvelDeleteViewItem(ViewHandle view, int index) {
  ViewSnapshot snapshot;
  if (!ProveView(view, &snapshot)) return 0;
  BookCall call(snapshot.client, BookAccess::kChange);
  Book* book = call.book();
  if (!book) return 0;
  DeleteTarget target = FindDeleteTarget(book, snapshot, index);
  if (!target.known) return 0;
  if (!target.link) {
    // No entry, or one that another program has deleted already.
    ForgetSeen(target.seenLink);
    return 1;
  }
  Entry** link = target.link;
  Entry* entry = *link;
  *link = entry->next;
  int32_t wasDirty = book->dirty;
  book->dirty = 1;
  --book->entryCount;
  ++book->changeCount;
  if (SaveBook(book)) {
    FreeEntry(entry);
    ForgetSeen(target.seenLink);
    return 1;
  }
  // The save left the list as it was: the entry goes back to its place.
  *link = entry;
  ++book->entryCount;
  ++book->changeCount;
  book->dirty = wasDirty;
  return 0;
}

extern "C" OVEL_EXPORT int OVELAPI OvelFreeView(ViewHandle view) {
  ViewSnapshot snapshot;
  if (!ProveView(view, &snapshot)) return 0;
  {
    LockedBook locked(snapshot.client);
    if (Book* book = locked.book()) ReleaseBook(book);
  }
  ChainRemove(&gViewChain, snapshot.handle);
  return 1;
}
