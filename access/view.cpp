#include "access/view.h"

#include "access/copy_out.h"
#include "frame/allocator.h"
#include "frame/local_lock.h"
#include "ovel.h"
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
};

bool ProveView(ViewHandle view, ViewSnapshot* out) {
  LocalRef handle = ChainFindBySelf(gViewChain, AsLocal(view));
  if (!handle) return false;
  LocalLock<View> record(handle);
  if (!record) return false;
  *out = {handle, record->client, record->includeGroups != 0};
  return true;
}

bool Shows(const Entry* entry, bool includeGroups) { return includeGroups || !IsGroup(entry); }

// Unlinks the entry at `position`; returns it with the link that pointed at
// it, so that it can be put back.  Null when no entry has that position.
Entry* UnlinkEntryAt(Book* book, int32_t position, Entry*** linkOut) {
  if (position < 0) return nullptr;
  Entry** link = &book->entries;
  for (int32_t i = 0; *link; link = &(*link)->next, ++i) {
    if (i == position) {
      Entry* entry = *link;
      *link = entry->next;
      *linkOut = link;
      return entry;
    }
  }
  return nullptr;
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

int32_t ViewIndexToPosition(const Book* book, int32_t index) {
  if (index < 0) return -1;
  int32_t position = 0;
  int32_t plain = 0;
  for (const Entry* entry = book->entries; entry; entry = entry->next, ++position) {
    if (IsGroup(entry)) continue;
    if (plain == index) return position;
    ++plain;
  }
  return -1;
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
  LockedBook locked(client);
  Book* book = locked.book();
  if (!book || AcquireBook(book) != kBookLoaded) return nullptr;
  LocalRef handle = ChainPush(&gViewChain, sizeof(View));
  if (!handle) {
    ReleaseBook(book);
    return nullptr;
  }
  LocalLock<View> view(handle);
  view->client = client;
  view->includeGroups = includeGroups ? 1 : 0;
  view->count = -1;
  return reinterpret_cast<ViewHandle>(handle);
}

extern "C" OVEL_EXPORT int OVELAPI OvelGetViewCount(ViewHandle view) {
  ViewSnapshot snapshot;
  if (!ProveView(view, &snapshot)) return -1;
  LockedBook locked(snapshot.client);
  const Book* book = locked.book();
  if (!book) return -1;
  LocalLock<View> record(snapshot.handle);
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
    LockedBook locked(snapshot.client);
    const Book* book = locked.book();
    if (!book) return nullptr;
    LocalLock<View> record(snapshot.handle);
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
  LockedBook locked(snapshot.client);
  Book* book = locked.book();
  if (!book) return 0;
  int32_t position = snapshot.includeGroups ? index : ViewIndexToPosition(book, index);
  Entry** link;
  Entry* entry = UnlinkEntryAt(book, position, &link);
  if (!entry) return 1;

  int32_t wasDirty = book->dirty;
  book->dirty = 1;
  --book->entryCount;
  ++book->changeCount;
  if (SaveBook(book)) {
    FreeEntry(entry);
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
