#include "store/entry.h"

#include <cstring>

#include "frame/allocator.h"

namespace ovel {

uint16_t SurnameOffset(const char* name) {
  size_t length = strlen(name);
  if (length == 0) return 0;
  size_t i = length - 1;
  while (i > 0 && (name[i] == ' ' || name[i] == '%')) --i;
  while (i > 0) {
    if (name[i] == ' ') return static_cast<uint16_t>(i + 1);
    --i;
  }
  return 0;
}

char* DisplayName(const char* storedName) {
  char* display = DupString(storedName);
  if (!display) return nullptr;
  for (char* c = display; *c; ++c) {
    if (*c == '%') *c = ' ';
  }
  return display;
}

Entry* FindEntryById(const Book* book, uint16_t id) {
  for (Entry* entry = book->entries; entry; entry = entry->next) {
    if (EntryId(entry) == id) return entry;
  }
  return nullptr;
}

Entry* FindGroupByName(const Book* book, const char* name) {
  for (Entry* entry = book->entries; entry; entry = entry->next) {
    if (IsGroup(entry) && PlatformCompareNoCase(entry->displayName, name) == 0) return entry;
  }
  return nullptr;
}

void FreeEntry(Entry* entry) {
  if (!entry) return;
  FreeBlock(entry->displayName);
  FreeBlock(entry->storedName);
  FreeBlock(IsGroup(entry) ? static_cast<void*>(entry->members) : entry->address);
  FreeBlock(entry->comment);
  FreeBlock(entry);
}

void FreeEntryList(Entry* head) {
  while (head) {
    Entry* next = head->next;
    FreeEntry(head);
    head = next;
  }
}

}  // namespace ovel
