// OvelTerminate: where a caller leaves the library.
#include "access/view.h"
#include "frame/call_errors.h"
#include "frame/client.h"
#include "ovel.h"
#include "store/book_file.h"
#include "store/transaction.h"

using namespace ovel;

extern "C" OVEL_EXPORT int OVELAPI OvelTerminate(Client* client) {
  CallErrors errors;
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
