// Transactions: many changes to a book, saved once.
#pragma once

#include "frame/book.h"

namespace ovel {

// Transactions open in this process.  While there is one, no call waits
// for a book's lock: the lock may be this process's own.
extern int gOpenTransactions;

// Ends the open transaction of a Book, discarding its changes.
void DiscardTransaction(Book* book);

}  // namespace ovel
