// Every change of a Book's entry list: an entry linked in, unlinked or
// replaced by a copy with other members, the counts and flags that follow
// it, its save, and its undo when the save fails.  Views and calls ask for changes here; nothing
// else touches the list, its counts or its dirty flag.
#pragma once

#include "frame/book.h"
#include "store/entry.h"

namespace ovel {

// One change of the list, as much as its undo needs.
enum class ChangeKind { kInserted, kUnlinked, kReplaced };
struct ListChange {
  Entry** link;     // the link that points at the entry (inserted, replaced) or pointed at it
  Entry* entry;     // the entry inserted, unlinked or put in another's place
  Entry* replaced;  // the entry `entry` replaced, or null
  ChangeKind kind;
  int32_t wasDirty;  // the Book's flag and next id before the change
  int16_t wasNextId;
};

// Makes an entry of `fields` with the Book's next id (the id in `fields`
// is ignored) and links it in before the first entry whose key is not
// smaller.  False, nothing changed, when the book is full (kBookFull) or
// there is no memory.
bool InsertEntry(Book* book, const EntryFields& fields, ListChange* change);

// Unlinks the entry `*link` points at; it is freed once the change is
// saved.
void UnlinkEntry(Book* book, Entry** link, ListChange* change);

// Puts `replacement`, a group with the id, name and comment of the entry
// `*link` points at, in that entry's place; the entry it replaces is freed
// once the change is saved.
void ReplaceEntry(Book* book, Entry** link, Entry* replacement, ListChange* change);

// Puts the list back as it was before `change`: an inserted entry is freed,
// an unlinked one goes back to its place, a replaced one takes its place
// back from its replacement, which is freed.
void UndoChange(Book* book, const ListChange& change);

// Saves a change just made (within a transaction: keeps it in memory for
// the transaction's end) and frees an unlinked or replaced entry; on failure undoes it,
// so that nothing has changed.
bool SaveListChange(Book* book, const ListChange& change);

// Takes an entry that was deleted, or found deleted, out of the list before
// the last reload (Book::previousEntries), where `seenLink` points at it, so
// that a view that read that list sees its later indexes shift as after any
// delete.  Nothing for null.
void ForgetPreviousEntry(Entry** seenLink);

}  // namespace ovel
