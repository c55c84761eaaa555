// Transactions: many changes to a book, saved once.
#pragma once

#include "frame/book.h"

namespace ovel {

// True while this process has a transaction open: no call then waits for
// a book's lock, which may be this process's own.  A forked child starts
// with none (those it inherited are its parent's).
bool TransactionOpenHere();

// Ends the open transaction of a Book, discarding its changes.
void DiscardTransaction(Book* book);
// Forgets the transaction of a Book inherited from the process this one
// was forked from, in memory only: its lock stays that process's, and
// nothing is read or written.
void ForgetTransaction(Book* book);

}  // namespace ovel
