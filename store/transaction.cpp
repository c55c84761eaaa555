// OvelBeginChanges and OvelEndChanges: a transaction holds the book's
// exclusive lock and a load reference from its begin to its end; the
// changes made meanwhile stay in memory and are saved once at the end.
#include "store/transaction.h"

#include "frame/allocator.h"
#include "frame/call_errors.h"
#include "frame/client.h"
#include "ovel.h"
#include "store/book_call.h"
#include "store/book_file.h"

namespace ovel {

namespace {

// Transactions open in gCountedProcess: a forked child counts its own.
int gOpenTransactions;
ProcessId gCountedProcess;

int& OpenTransactions() {
  ProcessId self = PlatformCurrentProcess();
  if (gCountedProcess != self) {
    gCountedProcess = self;
    gOpenTransactions = 0;
  }
  return gOpenTransactions;
}

// Frees what a transaction holds but its lock.
void DropTransaction(Book* book) {
  FreeBlock(book->heldFiles);
  book->heldFiles = nullptr;
  book->transaction = nullptr;
  ReleaseBook(book);
}

void EndTransaction(Book* book) {
  LeaveBook(book);
  --OpenTransactions();
  DropTransaction(book);
}

// Takes the lock and a load reference for a transaction; false (the cause
// noted, nothing held) when either cannot be had.
bool HoldBook(Book* book, BookFiles* files) {
  bool fresh;
  if (!EnterBook(book, files, BookAccess::kChange, &fresh)) return false;
  if (AcquireBook(book) == kBookLoaded) return true;
  LeaveBook(book);
  return false;
}

}  // namespace

bool TransactionOpenHere() { return OpenTransactions() > 0; }

void DiscardTransaction(Book* book) {
  RevertBook(book);
  EndTransaction(book);
}

void ForgetTransaction(Book* book) {
  PlatformForgetLock(&book->lock);
  book->files = nullptr;
  DropTransaction(book);
}

}  // namespace ovel

using namespace ovel;

extern "C" OVEL_EXPORT int OVELAPI OvelBeginChanges(Client* client) {
  CallErrors errors;
  if (!ClientIsOpen(client)) return errors.Fail(Cause::kInvalidHandle, 0);
  LockedBook locked(client);
  Book* book = locked.book();
  if (!book) return errors.Fail(Cause::kInvalidHandle, 0);
  if (book->transaction) return errors.Fail(Cause::kBusy, 0);
  BookFiles* files = static_cast<BookFiles*>(AllocScratchBlock(sizeof(BookFiles)));
  if (!files) return errors.Fail(0);
  if (!HoldBook(book, files)) {
    FreeBlock(files);
    return errors.Fail(0);
  }
  book->heldFiles = files;
  book->transaction = client;
  ++OpenTransactions();
  return 1;
}

extern "C" OVEL_EXPORT int OVELAPI OvelEndChanges(Client* client, int keep) {
  CallErrors errors;
  if (!ClientIsOpen(client)) return errors.Fail(Cause::kInvalidHandle, 0);
  LockedBook locked(client);
  Book* book = locked.book();
  if (!book || book->transaction != client) return errors.Fail(Cause::kInvalidArgument, 0);
  // All or nothing: a save that fails leaves the list as the file is.
  bool saved = !keep || SaveBook(book);
  if (!keep || !saved) RevertBook(book);
  EndTransaction(book);
  return saved ? 1 : errors.Fail(0);
}
