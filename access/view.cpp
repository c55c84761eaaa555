#include "access/view.h"

#include "access/copy_out.h"
#include "frame/allocator.h"
#include "frame/call_errors.h"
#include "frame/local_lock.h"
#include "ovel.h"
#include "store/book_call.h"
#include "store/book_file.h"
#include "store/list_change.h"

namespace ovel {

RecordChain gViewChain;

namespace {

LocalRef AsLocal(ViewHandle view) { return reinterpret_cast<LocalRef>(view); }

}  // namespace

bool ProveView(ViewHandle view, ViewSnapshot* out) {
  LocalRef handle = ChainFindBySelf(gViewChain, AsLocal(view));
  if (!handle) return false;
  LocalLock<View> record(handle);
  if (!record) return false;
  *out = {handle, record->client, record->includeGroups != 0, record->seenLoads};
  // A view a forked child inherited is its parent's, as its Client is.
  return ClientIsOpen(out->client);
}

namespace {

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

}  // namespace

bool FindViewTarget(Book* book, const ViewSnapshot& view, int32_t index, ViewTarget* target) {
  *target = {nullptr, nullptr};
  if (view.seenLoads == book->loads) {
    target->link = LinkToShown(&book->entries, index, view.includeGroups);
    return true;
  }
  if (!book->hasPrevious || view.seenLoads != book->previousLoads) {
    PlatformNoteCause(Cause::kStaleView);
    return false;
  }
  target->seenLink = LinkToShown(&book->previousEntries, index, view.includeGroups);
  if (!target->seenLink) return true;
  Entry* entry = nullptr;
  if (FindEntryAgain(book->entries, *target->seenLink, &entry) == Refound::kAmbiguous) {
    PlatformNoteCause(Cause::kStaleView);
    return false;
  }
  if (entry) target->link = LinkTo(&book->entries, entry);
  return true;
}

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
  CallErrors errors;
  if (!ClientIsOpen(client)) return errors.Fail(Cause::kInvalidHandle, nullptr);
  BookCall call(client, BookAccess::kRead);
  Book* book = call.book();
  if (!book || !call.fresh() || AcquireBook(book) != kBookLoaded) return errors.Fail(nullptr);
  LocalRef handle = ChainPush(&gViewChain, sizeof(View));
  if (!handle) {
    ReleaseBook(book);
    return errors.Fail(nullptr);
  }
  LocalLock<View> view(handle);
  view->client = client;
  view->includeGroups = includeGroups ? 1 : 0;
  view->count = -1;
  view->seenLoads = book->loads;
  return reinterpret_cast<ViewHandle>(handle);
}

extern "C" OVEL_EXPORT int OVELAPI OvelGetViewCount(ViewHandle view) {
  CallErrors errors;
  ViewSnapshot snapshot;
  if (!ProveView(view, &snapshot)) return errors.Fail(Cause::kInvalidHandle, -1);
  // A list that could not be read again is counted as it is; one that was
  // dropped (see RevertBook) is not counted at all.
  BookCall call(snapshot.client, BookAccess::kRead);
  const Book* book = call.book();
  if (!book || book->listDropped) return errors.Fail(-1);
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
  CallErrors errors;
  ViewSnapshot snapshot;
  if (!ProveView(view, &snapshot)) return errors.Fail(Cause::kInvalidHandle, nullptr);
  const Entry* entry;
  uint32_t loads;
  {
    // A walk reads the list in memory: no file lock, no look at the file.
    LockedBook locked(snapshot.client);
    const Book* book = locked.book();
    if (!book) return errors.Fail(Cause::kInvalidHandle, nullptr);
    if (book->listDropped) {
      PlatformRestoreCause(book->dropCause);
      return errors.Fail(nullptr);
    }
    LocalLock<View> record(snapshot.handle);
    entry = FindViewEntry(book, index, snapshot.includeGroups, &record->cursor);
    loads = book->loads;
  }
  if (!entry) return errors.Fail(Cause::kInvalidArgument, nullptr);
  // Entries live in blocks that do not move; the copy needs no lock.
  ViewItem* item = CopyEntry<ViewItem>(entry, "<Group>", OvelFreeItem);
  if (!item) return errors.Fail(nullptr);
  // Only an entry copied out makes the view's indexes those of this list:
  // a call that showed nothing leaves the view where it was.
  LocalLock<View>(snapshot.handle)->seenLoads = loads;
  return item;
}

extern "C" OVEL_EXPORT void OVELAPI OvelFreeItem(ViewItem* item) {
  if (!item) return;
  FreeCopiedFields(item);
  FreeBlock(item);
}

extern "C" OVEL_EXPORT int OVELAPI OvelDeleteViewItem(ViewHandle view, int index) {
  CallErrors errors;
  ViewSnapshot snapshot;
  if (!ProveView(view, &snapshot)) return errors.Fail(Cause::kInvalidHandle, 0);
  BookCall call(snapshot.client, BookAccess::kChange);
  Book* book = call.book();
  if (!book) return errors.Fail(0);
  ViewTarget target;
  if (!FindViewTarget(book, snapshot, index, &target)) return errors.Fail(0);
  if (!target.link) {
    // No entry, or one that another program has deleted already.
    ForgetPreviousEntry(target.seenLink);
    return 1;
  }
  ListChange change;
  UnlinkEntry(book, target.link, &change);
  if (!SaveListChange(book, change)) return errors.Fail(0);
  ForgetPreviousEntry(target.seenLink);
  return 1;
}

extern "C" OVEL_EXPORT int OVELAPI OvelFreeView(ViewHandle view) {
  CallErrors errors;
  ViewSnapshot snapshot;
  if (!ProveView(view, &snapshot)) return errors.Fail(Cause::kInvalidHandle, 0);
  {
    LockedBook locked(snapshot.client);
    if (Book* book = locked.book()) ReleaseBook(book);
  }
  ChainRemove(&gViewChain, snapshot.handle);
  return 1;
}
