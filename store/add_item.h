// Adding plain entries.
#pragma once

#include "frame/client.h"
#include "store/entry.h"

namespace ovel {

// Makes an entry from the Client's name, address and comment buffers and
// links it in before the first entry whose key is not smaller; null when no
// memory.
Entry* InsertEntry(Client* client, Book* book, uint16_t id);

// Unlinks `entry` from the list and frees it: the undoing of InsertEntry.
void RemoveInsertedEntry(Book* book, Entry* entry);

}  // namespace ovel
