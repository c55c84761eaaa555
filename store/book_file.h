// The book file and the load references that decide when a Book's entry
// list is in memory.
#pragma once

#include "frame/book.h"
#include "store/book_format.h"

namespace ovel {

// Where a book's files are: the book file (the end of its chain of
// symbolic links), the directory that holds it, and the lock file there.
struct BookFiles {
  char file[kPathMax];
  char directory[kPathMax];
  char lock[kPathMax];
};
// Finds them for one call (links may change between calls); false when a
// path does not fit.
bool FindBookFiles(const Book* book, BookFiles* files);

// The loads, reloads and saves below need Book::files.
// The count of saves in the lock file the call holds, into `version`.
void ReadSaves(const Book* book, BookVersion* version);
// Reads the file again when the entry list is loaded and the file is no
// longer the version it was read from or written as; the list it replaces
// is kept as the previous one.  False when the file cannot be read (the
// list is then as it was).
bool RefreshBook(Book* book);

// Takes a load reference, reading the file when none is held.
BookStatus AcquireBook(Book* book);
// Drops a load reference, freeing the entry list with the last one.
void ReleaseBook(Book* book);
// Reads the file into the entry list.  A missing file is an empty book; any
// other failure leaves the book unloaded.
BookStatus LoadBook(Book* book);
// Writes a changed, loaded book to its file atomically and durably, then
// renumbers its entries and compacts its member lists.  Needs the exclusive
// lock; refuses a book whose file its owner made read-only.  True when the
// file holds the book (also when there was nothing to write); on false
// nothing has changed, in memory or on disk.
bool SaveBook(Book* book);
// Saves a change just made to the list; within a transaction, keeps it in
// memory for the transaction's end.  False (nothing saved) as SaveBook.
bool SaveChange(Book* book);
// Puts a changed list back to what the file holds (the list it replaces
// kept as the previous one, since views may name its entries).  Where the
// file cannot be read, the list is dropped (Book::listDropped): no view
// shows a change the file does not hold, and the next call that looks at
// the file reads it.  Keeps the noted cause.
void RevertBook(Book* book);

}  // namespace ovel
