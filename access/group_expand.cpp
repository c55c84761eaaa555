#include "access/group_expand.h"

#include <algorithm>

#include "access/copy_out.h"
#include "frame/allocator.h"
#include "frame/call_errors.h"
#include "frame/client.h"
#include "store/book_call.h"
#include "store/book_file.h"

namespace ovel {
namespace {

struct Frame {
  const Entry* group;
  uint16_t nextMember;  // index into the member list, from 1
};

// Entries by id, for the many lookups of an expansion; the first entry in
// list order owns a repeated id.
struct IdIndex {
  const Entry** byId = nullptr;
  uint32_t size = 0;

  bool Build(const Book* book) {
    uint32_t highest = 0;
    for (const Entry* e = book->entries; e; e = e->next)
      highest = std::max<uint32_t>(highest, EntryId(e));
    size = highest + 1;
    byId = static_cast<const Entry**>(AllocBlock(size * static_cast<uint32_t>(sizeof(Entry*))));
    if (!byId) return false;
    for (const Entry* e = book->entries; e; e = e->next) {
      if (!byId[EntryId(e)]) byId[EntryId(e)] = e;
    }
    return true;
  }
  const Entry* Find(uint16_t id) const { return id < size ? byId[id] : nullptr; }
  ~IdIndex() { FreeBlock(byId); }
};

bool IsOnPath(const Frame* stack, uint32_t depth, const Entry* group) {
  for (uint32_t i = 0; i < depth; ++i) {
    if (stack[i].group == group) return true;
  }
  return false;
}

}  // namespace

MemberItem* ExpandMembers(const Book* book, const Entry* group, bool recursive, bool* failedOut) {
  *failedOut = true;
  // A path holds each group at most once, so the book's entry count bounds
  // its depth.  The walk is iterative: nesting can be OVEL_MAX_ENTRIES deep.
  uint32_t capacity = book->entryCount ? book->entryCount : 1;
  IdIndex index;
  if (!index.Build(book)) return nullptr;
  Frame* stack = static_cast<Frame*>(AllocBlock(capacity * static_cast<uint32_t>(sizeof(Frame))));
  if (!stack) return nullptr;
  uint32_t depth = 0;
  stack[depth++] = {group, 1};

  MemberItem* head = nullptr;
  MemberItem** tail = &head;
  uint32_t listed = 0;
  bool failed = false;
  while (depth > 0) {
    Frame* top = &stack[depth - 1];
    if (top->nextMember > top->group->members[0]) {
      --depth;
      continue;
    }
    const Entry* member = index.Find(top->group->members[top->nextMember++]);
    if (!member) continue;
    if (IsGroup(member) && recursive) {
      if (!IsOnPath(stack, depth, member) && depth < capacity) stack[depth++] = {member, 1};
      continue;
    }
    if (listed == kMaxMemberItems) PlatformNoteCause(Cause::kNoMemory);
    MemberItem* item =
        listed < kMaxMemberItems ? CopyEntry<MemberItem>(member, "", OvelFreeGroup) : nullptr;
    if (!item) {
      failed = true;
      break;
    }
    ++listed;
    *tail = item;
    tail = &item->next;
  }
  FreeBlock(stack);
  if (failed) {
    OvelFreeGroup(head);
    return nullptr;
  }
  *failedOut = false;
  return head;
}

}  // namespace ovel

using namespace ovel;

extern "C" OVEL_EXPORT MemberItem* OVELAPI OvelExpandGroup(Client* client, const char* groupName,
                                                           int recursive) {
  CallErrors errors;
  if (!ClientIsOpen(client)) return errors.Fail(Cause::kInvalidHandle, nullptr);
  if (!groupName) return errors.Fail(Cause::kInvalidArgument, nullptr);
  BookCall call(client, BookAccess::kRead);
  Book* book = call.book();
  if (!book || !call.fresh() || AcquireBook(book) != kBookLoaded) return errors.Fail(nullptr);
  MemberItem* list = nullptr;
  bool failed = true;
  if (const Entry* group = FindGroupByName(book, groupName)) {
    list = ExpandMembers(book, group, recursive != 0, &failed);
  } else {
    PlatformNoteCause(Cause::kNotFound);
  }
  ReleaseBook(book);
  if (failed) return errors.Fail(nullptr);
  // A group whose members are all gone is no failure.
  return list ? list : errors.Empty(list);
}

extern "C" OVEL_EXPORT void OVELAPI OvelFreeGroup(MemberItem* list) {
  while (list) {
    MemberItem* next = list->next;
    FreeCopiedFields(list);
    FreeBlock(list);
    list = next;
  }
}
