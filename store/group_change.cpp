#include "store/group_change.h"

#include "frame/allocator.h"

namespace ovel {

bool HasMember(const Entry* group, uint16_t id) {
  for (unsigned i = 1; i <= group->members[0]; ++i) {
    if (group->members[i] == id) return true;
  }
  return false;
}

Entry* GroupWithMember(const Book* book, const Entry* group, uint16_t memberId, bool add) {
  // Ids of entries deleted since the last save linger in member lists until
  // the save drops them; they take no place in the copy.
  auto* live = static_cast<bool*>(AllocBlock(kIdMask + 1));
  auto* words = static_cast<uint8_t*>(AllocBlock(2 * (kMaxMembers + 1)));
  Entry* copy = nullptr;
  if (live && words) {
    for (const Entry* entry = book->entries; entry; entry = entry->next)
      live[EntryId(entry)] = true;
    size_t count = 0;
    bool full = false;
    auto keep = [&](uint16_t id) {
      if (count == kMaxMembers) {
        full = true;
        return;
      }
      words[2 * count] = static_cast<uint8_t>(id & 0xFF);
      words[2 * count + 1] = static_cast<uint8_t>(id >> 8);
      ++count;
    };
    for (unsigned i = 1; i <= group->members[0]; ++i) {
      uint16_t id = group->members[i];
      if (live[id & kIdMask] && id != memberId) keep(id);
    }
    if (add) keep(memberId);
    if (full) {
      PlatformNoteCause(Cause::kGroupFull);
    } else {
      EntryFields fields{};
      fields.flags = group->flags;
      fields.name = group->storedName;
      fields.nameLength = group->nameLength;
      fields.memberWords = words;
      fields.memberCount = count;
      fields.comment = group->comment;
      fields.commentLength = group->commentLength;
      copy = NewEntry(fields);
    }
  }
  FreeBlock(words);
  FreeBlock(live);
  return copy;
}

}  // namespace ovel
