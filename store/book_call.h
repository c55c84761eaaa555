// The entry and exit steps of every exported call that works on a book:
// lock the Book record of a proven Client (one the caller passed and
// ClientIsOpen accepted, or the Client of a proven view), take the book's
// lock file, and bring the entry list up to date with the file; then
// release them again.
#pragma once

#include "frame/client.h"
#include "store/book_file.h"

namespace ovel {

// Calls that only read or free what is in memory (copying an item out,
// freeing a view) lock the Book record alone (LockedBook): a walk never
// looks at the file.
enum class BookAccess {
  kRead,    // the list as the file is now: a shared lock, and a reload when
            // another program changed the file (without the lock where the
            // lock file cannot be opened: a read-only directory)
  kChange,  // the same under the exclusive lock, for a change to be saved
};

// The one entry step of a call or a transaction on a Book: finds the
// book's files (named in `files`, which must outlive the lock), takes the
// book's lock, shared to read or exclusive to change, and reads the file
// again where another program changed it.  A change needs both the lock
// and an up-to-date list: false, with the cause noted and nothing held,
// when either cannot be had.  A read goes on without them (`*fresh` false
// when the list is not the file's); false only when the files cannot be
// named.
bool EnterBook(Book* book, BookFiles* files, BookAccess access, bool* fresh);
// Releases the lock EnterBook took and forgets the files.
void LeaveBook(Book* book);

// While a transaction is open on the Book, its list is the book: calls read
// it without looking at the file, and only the transaction's Client may
// change it.
class BookCall {
 public:
  BookCall(Client* client, BookAccess access);
  ~BookCall();
  BookCall(const BookCall&) = delete;
  BookCall& operator=(const BookCall&) = delete;

  // The locked Book; null when the call cannot go on (the record cannot be
  // locked, or a change cannot have the lock or an up-to-date list).
  Book* book() const { return book_; }
  // False when the file changed but could not be read again: the list in
  // memory is the one last read.
  bool fresh() const { return fresh_; }

 private:
  LockedBook locked_;
  BookFiles files_;
  Book* book_ = nullptr;
  bool fresh_ = true;
  bool tookLock_ = false;  // this call set the Book's files and lock (not a transaction)
};

}  // namespace ovel
