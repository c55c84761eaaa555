// A caller's open book.
#pragma once

#include "frame/book.h"
#include "frame/platform.h"
#include "ovel.h"

extern "C" {
struct Client {
  Client* nextLive;         // registry of open Clients
  ovel::ProcessId process;  // the process that opened it
  ovel::LocalRef book;
  ovel::Book* bookAddress;  // the locked Book, during one exported call
  char comment[OVEL_MAX_TEXT + 1];
  char address[OVEL_MAX_TEXT + 1];
  char name[OVEL_MAX_NAME + 1];
};
}

namespace ovel {

// True when `client` is a Client that OvelInitialize returned in this
// process and OvelTerminate has not closed.  Reads through the pointer only
// once it is found among the open Clients.
bool ClientIsOpen(const Client* client);
// True when `client` is an open Client of the process this one was forked
// from: a copy whose book, lock and transaction are that process's, which
// this process may only free.
bool ClientIsInherited(const Client* client);

// Closes an open Client: detaches it from its Book (freeing the Book with
// its last Client), frees it and counts the process out.
void CloseClient(Client* client);

// Locks a Client's Book for the length of one exported call and keeps its
// address in the Client meanwhile.  A null Client locks nothing.
class LockedBook {
 public:
  explicit LockedBook(Client* client);
  ~LockedBook();
  LockedBook(const LockedBook&) = delete;
  LockedBook& operator=(const LockedBook&) = delete;

  // The locked Book; null when it could not be locked.
  Book* book() const { return client_ ? client_->bookAddress : nullptr; }

 private:
  Client* client_;
};

}  // namespace ovel
