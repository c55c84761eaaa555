// Copying an entry out to a caller: the fields a ViewItem and a MemberItem
// share.
#pragma once

#include "frame/allocator.h"
#include "store/entry.h"

namespace ovel {

// Fills `item` with copies of the entry's fields; a group's address is
// `groupAddress`.  False when memory ran out (the item is then partly
// filled; FreeCopiedFields frees what there is).
template <typename Item>
bool CopyEntryFields(Item* item, const Entry* entry, const char* groupAddress) {
  item->group = IsGroup(entry) ? 1 : 0;
  item->surnameOffset = entry->surnameOffset;
  item->name = DupString(entry->displayName);
  item->address = DupString(IsGroup(entry) ? groupAddress : entry->address);
  item->comment = DupString(entry->comment);
  return item->name && item->address && item->comment;
}

template <typename Item>
void FreeCopiedFields(Item* item) {
  FreeBlock(item->name);
  FreeBlock(item->address);
  FreeBlock(item->comment);
}

// A new item holding copies of the entry's fields; null when memory ran
// out, with nothing left allocated (`freeItem` frees a partial copy).
template <typename Item, typename FreeItem>
Item* CopyEntry(const Entry* entry, const char* groupAddress, FreeItem freeItem) {
  Item* item = static_cast<Item*>(AllocBlock(sizeof(Item)));
  if (!item) return nullptr;
  if (!CopyEntryFields(item, entry, groupAddress)) {
    freeItem(item);
    return nullptr;
  }
  return item;
}

}  // namespace ovel
