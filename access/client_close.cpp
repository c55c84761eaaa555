// OvelTerminate: where a caller leaves the library.
#include "access/view.h"
#include "frame/call_errors.h"
#include "frame/client.h"
#include "ovel.h"
#include "store/book_file.h"

using namespace ovel;

extern "C" OVEL_EXPORT int OVELAPI OvelTerminate(Client* client) {
  CallErrors errors;
  if (!ClientIsOpen(client)) return errors.Fail(Cause::kInvalidHandle, 0);
  {
    LockedBook locked(client);
    if (Book* book = locked.book()) {
      // Every change is saved within its own call, so the book is never
      // dirty here and nothing is written.
      SaveBook(book);
      FreeViewsOfClient(client, book);
    }
  }
  CloseClient(client);
  return 1;
}
