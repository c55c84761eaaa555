// The entry and exit steps of every exported call that works on a book:
// prove the Client, lock its Book record, take the book's lock file, and
// bring the entry list up to date with the file; then release them again.
#pragma once

#include "frame/client.h"

namespace ovel {

enum class BookAccess {
  kMemory,  // the entry list as it is in memory; no file is looked at
  kRead,    // the list as the file is now: a shared lock, and a reload when
            // another program changed the file (without the lock where the
            // lock file cannot be opened: a read-only directory)
  kChange,  // the same under the exclusive lock, for a change to be saved
};

class BookCall {
 public:
  BookCall(Client* client, BookAccess access);
  ~BookCall();
  BookCall(const BookCall&) = delete;
  BookCall& operator=(const BookCall&) = delete;

  // The locked Book; null when the call cannot go on (the Client is not
  // open, or a change cannot have the lock or an up-to-date list).
  Book* book() const { return book_; }
  // False when the file changed but could not be read again: the list in
  // memory is the one last read.
  bool fresh() const { return fresh_; }

 private:
  LockedBook locked_;
  Book* book_ = nullptr;
  bool fresh_ = true;
};

}  // namespace ovel
