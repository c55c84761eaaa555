#include "store/list_change.h"

#include "store/book_file.h"
#include "store/insert_position.h"

namespace ovel {
namespace {

void StartChange(Book* book, ListChange* change, Entry** link, Entry* entry, ChangeKind kind) {
  *change = {link, entry, nullptr, kind, book->dirty, book->nextId};
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
  StartChange(book, change, link, entry, ChangeKind::kInserted);
  entry->next = *link;
  *link = entry;
  AnchorsKeptByInsertion(book);
  ++book->entryCount;
  ++book->nextId;
  return true;
}

void UnlinkEntry(Book* book, Entry** link, ListChange* change) {
  Entry* entry = *link;
  StartChange(book, change, link, entry, ChangeKind::kUnlinked);
  *link = entry->next;
  --book->entryCount;
}

void ReplaceEntry(Book* book, Entry** link, Entry* replacement, ListChange* change) {
  Entry* replaced = *link;
  StartChange(book, change, link, replacement, ChangeKind::kReplaced);
  change->replaced = replaced;
  replacement->next = replaced->next;
  *link = replacement;
}

void UndoChange(Book* book, const ListChange& change) {
  switch (change.kind) {
    case ChangeKind::kInserted:
      *change.link = change.entry->next;
      FreeEntry(change.entry);
      --book->entryCount;
      break;
    case ChangeKind::kUnlinked:
      *change.link = change.entry;
      ++book->entryCount;
      break;
    case ChangeKind::kReplaced:
      *change.link = change.replaced;
      FreeEntry(change.entry);
      break;
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
  if (change.kind == ChangeKind::kUnlinked) FreeEntry(change.entry);
  if (change.kind == ChangeKind::kReplaced) FreeEntry(change.replaced);
  return true;
}

void ForgetPreviousEntry(Entry** seenLink) {
  if (!seenLink) return;
  Entry* seen = *seenLink;
  *seenLink = seen->next;
  FreeEntry(seen);
}

}  // namespace ovel
