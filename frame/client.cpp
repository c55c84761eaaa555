// OvelInitialize and OvelTerminate: where a caller enters the library.
#include "frame/client.h"

#include "frame/allocator.h"
#include "frame/call_errors.h"
#include "ovel.h"

namespace ovel {
namespace {

Client* gOpenClients;

void RegisterClient(Client* client) {
  client->nextLive = gOpenClients;
  gOpenClients = client;
}

void UnregisterClient(Client* client) {
  for (Client** link = &gOpenClients; *link; link = &(*link)->nextLive) {
    if (*link == client) {
      *link = client->nextLive;
      return;
    }
  }
}

bool IsRegistered(const Client* client) {
  if (!client) return false;
  for (const Client* open = gOpenClients; open; open = open->nextLive) {
    if (open == client) return true;
  }
  return false;
}

}  // namespace

bool ClientIsOpen(const Client* client) {
  return IsRegistered(client) && client->process == PlatformCurrentProcess();
}

bool ClientIsInherited(const Client* client) {
  return IsRegistered(client) && client->process != PlatformCurrentProcess();
}

void CloseClient(Client* client) {
  CloseBook(client->book);
  UnregisterClient(client);
  FreeBlock(client);
  ProcessContextTerm();
}

LockedBook::LockedBook(Client* client) : client_(client) {
  if (client) client->bookAddress = static_cast<Book*>(PlatformLocalLock(client->book));
}

LockedBook::~LockedBook() {
  if (!client_) return;
  if (client_->bookAddress) PlatformLocalUnlock(client_->book);
  client_->bookAddress = nullptr;
}

}  // namespace ovel

using namespace ovel;

extern "C" OVEL_EXPORT int OVELAPI OvelInitialize(Client** clientOut, const char* directory) {
  CallErrors errors;
  if (!clientOut) return errors.Fail(Cause::kInvalidArgument, 0);
  *clientOut = nullptr;
  if (!directory || !*directory) return errors.Fail(Cause::kInvalidArgument, 0);
  ProcessContextInit();
  Client* client = static_cast<Client*>(AllocBlock(sizeof(Client)));
  if (!client) return errors.Fail(0);
  LocalRef book = OpenBook(directory);
  if (!book) {
    FreeBlock(client);
    return errors.Fail(0);
  }
  client->book = book;
  client->process = PlatformCurrentProcess();
  RegisterClient(client);
  *clientOut = client;
  return 1;
}
