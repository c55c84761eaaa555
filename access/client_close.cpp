// OvelTerminate: where a caller leaves the library.
#include "access/view.h"
#include "frame/allocator.h"
#include "frame/call_errors.h"
#include "frame/client.h"
#include "ovel.h"
#include "store/book_file.h"
#include "store/transaction.h"

using namespace ovel;

namespace {

// A Client inherited from the process this one was forked from: its Book,
// lock and transaction are that process's.  This process frees its copy of
// their memory and nothing else: no unlock, no save, no look at the file.
void CloseInheritedClient(Client* client) {
  // Blocks are freed only while the process is counted in; CloseClient
  // counts it out again.
  ProcessContextInit();
  {
    LockedBook locked(client);
    if (Book* book = locked.book()) {
      FreeViewsOfClient(client, book);
      if (book->transaction == client) ForgetTransaction(book);
    }
  }
  CloseClient(client);
}

}  // namespace

extern "C" OVEL_EXPORT int OVELAPI OvelTerminate(Client* client) {
  CallErrors errors;
  if (ClientIsInherited(client)) {
    CloseInheritedClient(client);
    return 1;
  }
  if (!ClientIsOpen(client)) return errors.Fail(Cause::kInvalidHandle, 0);
  {
    LockedBook locked(client);
    if (Book* book = locked.book()) {
      // A transaction left open is discarded, as when a program dies.
      if (book->transaction == client) DiscardTransaction(book);
      // Every other change is saved within its own call, so the book is
      // never dirty here and nothing is written (another Client's open
      // transaction is that Client's to save).
      if (!book->transaction) SaveBook(book);
      FreeViewsOfClient(client, book);
    }
  }
  CloseClient(client);
  return 1;
}
