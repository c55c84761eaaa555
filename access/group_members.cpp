// OvelAddGroupMember and OvelRemoveGroupMember: an entry a view shows made
// a member of a group, or taken out of it, and the book saved.
#include "access/view.h"
#include "frame/call_errors.h"
#include "ovel.h"
#include "store/book_call.h"
#include "store/group_change.h"
#include "store/list_change.h"

namespace ovel {
namespace {

// The link to the first group named `name` (any case), or null.
Entry** LinkToGroupNamed(Book* book, const char* name) {
  Entry* group = FindGroupByName(book, name);
  if (!group) return nullptr;
  Entry** link = &book->entries;
  while (*link != group) link = &(*link)->next;
  return link;
}

// Adds the entry at `index` of `view` to the group named `groupName`, or
// takes it out; 1 when it is, or is not, a member afterwards and the book
// is saved.
int ChangeMembership(ViewHandle view, const char* groupName, int index, bool add) {
  CallErrors errors;
  ViewSnapshot snapshot;
  if (!ProveView(view, &snapshot)) return errors.Fail(Cause::kInvalidHandle, 0);
  if (IsEmptyString(groupName)) return errors.Fail(Cause::kInvalidArgument, 0);
  BookCall call(snapshot.client, BookAccess::kChange);
  Book* book = call.book();
  if (!book) return errors.Fail(0);
  Entry** groupLink = LinkToGroupNamed(book, groupName);
  if (!groupLink) return errors.Fail(Cause::kNotFound, 0);
  ViewTarget target;
  if (!FindViewTarget(book, snapshot, index, &target)) return errors.Fail(0);
  if (!target.link) {
    // No entry, or one another program has deleted: no member either way.
    return add ? errors.Fail(Cause::kInvalidArgument, 0) : 1;
  }
  const Entry* member = *target.link;
  if (add && member == *groupLink) return errors.Fail(Cause::kInvalidArgument, 0);
  if (HasMember(*groupLink, EntryId(member)) == add) return 1;
  Entry* copy = GroupWithMember(book, *groupLink, EntryId(member), add);
  if (!copy) return errors.Fail(0);
  ListChange change;
  ReplaceEntry(book, groupLink, copy, &change);
  return SaveListChange(book, change) ? 1 : errors.Fail(0);
}

}  // namespace
}  // namespace ovel

using namespace ovel;

extern "C" OVEL_EXPORT int OVELAPI OvelAddGroupMember(ViewHandle view, const char* groupName,
                                                      int index) {
  return ChangeMembership(view, groupName, index, true);
}

extern "C" OVEL_EXPORT int OVELAPI OvelRemoveGroupMember(ViewHandle view, const char* groupName,
                                                         int index) {
  return ChangeMembership(view, groupName, index, false);
}
