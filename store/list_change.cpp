#include "store/list_change.h"

#include "store/book_file.h"
#include "store/insert_position.h"

namespace ovel {
namespace {

void StartChange(Book* book, ListChange* change, Entry** link, Entry* entry, bool inserted) {
  *change = {link, entry, inserted, book->dirty, book->nextId};
  book->dirty = 1;
  ++book->changeCount;
}

}  // namespace

bool InsertEntry(Book* book, const EntryFields& fields, ListChange* change) {
  // Ids grow within a transaction (a save renumbers them); they must stay
  // within their bits.
  if (book->entryCount >= kMaxEntries || book->nextId > static_cast<int16_t>(kIdMask)) {
    PlatformNoteCause(Cause::kBookFull);
    return false;
  }
  EntryFields numbered = fields;
  numbered.flags = (fields.flags & kGroupFlag) | (static_cast<uint16_t>(book->nextId) & kIdMask);
  Entry* entry = NewEntry(numbered);
  if (!entry) return false;
  Entry** link = InsertionLink(book, SortKey(entry));
  StartChange(book, change, link, entry, true);
  entry->next = *link;
  *link = entry;
  AnchorsKeptByInsertion(book);
  ++book->entryCount;
  ++book->nextId;
  return true;
}

void UnlinkEntry(Book* book, Entry** link, ListChange* change) {
  Entry* entry = *link;
  StartChange(book, change, link, entry, false);
  *link = entry->next;
  --book->entryCount;
}

void UndoChange(Book* book, const ListChange& change) {
  if (change.inserted) {
    *change.link = change.entry->next;
    FreeEntry(change.entry);
    --book->entryCount;
  } else {
    *change.link = change.entry;
    ++book->entryCount;
  }
  ++book->changeCount;
  book->dirty = change.wasDirty;
  book->nextId = change.wasNextId;
}

bool SaveListChange(Book* book, const ListChange& change) {
  if (!SaveChange(book)) {
    UndoChange(book, change);
    return false;
  }
  if (!change.inserted) FreeEntry(change.entry);
  return true;
}

void ForgetPreviousEntry(Entry** seenLink) {
  if (!seenLink) return;
  Entry* seen = *seenLink;
  *seenLink = seen->next;
  FreeEntry(seen);
}

}  // namespace ovel
