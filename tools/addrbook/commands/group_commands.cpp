// addrbook group: groups made, filled, emptied, deleted and listed.  Each
// command is one save: its changes go in within one transaction, through
// the view that listed the entries, so that an index names what list
// showed even when another program changes the book meanwhile.
#include <algorithm>
#include <iostream>

#include "commands/commands.h"
#include "formats/entry_rules.h"
#include "formats/import_groups.h"

namespace addrbook {
namespace {

// The position of the group named `name` (book text, shown or stored form)
// in `entries`; -1 when there is none.
int GroupPosition(const std::vector<Entry>& entries, const std::string& name) {
  for (const Entry& e : entries) {
    if (e.group && CaseFolded(e.name) == CaseFolded(DisplayName(name))) return e.index;
  }
  return -1;
}

bool IsMember(const std::vector<Entry>& members, const Entry& entry) {
  for (const Entry& m : members) {
    if (m.group == entry.group && m.name == entry.name &&
        (entry.group || m.address == entry.address))
      return true;
  }
  return false;
}

std::string Described(const Settings& settings, const Entry& e) {
  OutputOptions shown = Shown(settings);
  return ShownText(e.name, shown) +
         (e.group ? " (group)" : " <" + ShownText(e.address, shown) + ">");
}

int CreateGroup(BookAccess& book, const Settings& settings, const Arguments& a) {
  auto name = BookText(settings, book, a.group), comment = BookText(settings, book, a.comment);
  if (!name || !comment) return 1;
  auto entries = book.Entries(true);
  if (!entries) return 1;
  std::string why = AddRefusal(*name, "(group)", *comment, entries->size(), settings.encoding);
  if (!why.empty()) return book.Fail(why);
  if (GroupPosition(*entries, *name) >= 0) {
    return book.Fail("a group named " + ArgumentText(settings, a.group) +
                     " is in the book already");
  }
  if (!OvelAddGroup(book.client(), name->c_str(), comment->c_str())) {
    return book.FailCall("the group could not be saved");
  }
  std::cout << "added group " << ShownText(DisplayName(*name), Shown(settings)) << "\n";
  return 0;
}

// The entries the command line names (indexes of list, --name), as
// positions in `entries`, each once; false (reported) when one names none.
bool NamedEntries(const BookAccess& book, const Settings& settings,
                  const std::vector<Entry>& entries, const Arguments& a,
                  std::vector<int>* targets) {
  for (int index : a.indexes) {
    targets->push_back(ListedPosition(book, entries, index, a.groups));
    if (targets->back() < 0) return false;
  }
  for (const std::string& name : a.names) {
    targets->push_back(FindByName(book, settings, entries, name));
    if (targets->back() < 0) return false;
  }
  std::vector<int> once;
  for (int t : *targets) {
    if (std::find(once.begin(), once.end(), t) == once.end()) once.push_back(t);
  }
  *targets = once;
  return true;
}

// A view with groups that lists `entries`, and the position in them of
// the group named `name`; null (reported) when the book cannot be read or
// holds no such group.
ViewHandle GroupListing(BookAccess& book, const Settings& settings, const std::string& name,
                        std::vector<Entry>* entries, int* position) {
  auto wanted = BookText(settings, book, name);
  if (!wanted) return nullptr;
  ViewHandle view = book.Walk(true, entries);
  if (!view) return nullptr;
  *position = GroupPosition(*entries, *wanted);
  if (*position >= 0) return view;
  OvelFreeView(view);
  book.Fail("no group is named " + ArgumentText(settings, name));
  return nullptr;
}

// group add and group remove: every member named changes, or none.
int ChangeMembers(BookAccess& book, const Settings& settings, const Arguments& a, bool add) {
  std::vector<Entry> entries;
  int position = -1;
  ViewHandle view = GroupListing(book, settings, a.group, &entries, &position);
  if (!view) return 1;
  ViewCloser closer{view};
  const Entry group = entries[static_cast<size_t>(position)];
  std::vector<int> targets;
  if (!NamedEntries(book, settings, entries, a, &targets)) return 1;
  std::vector<Entry> members = book.Members(group.name, false);
  std::vector<int> changing;
  std::string names;
  for (int target : targets) {
    const Entry& entry = entries[static_cast<size_t>(target)];
    if (target == position) return book.Fail("a group cannot be a member of itself");
    if (IsMember(members, entry) == add) {
      if (!add)
        return book.Fail(Described(settings, entry) +
                         " is not a member of the group; nothing was removed");
      std::cout << Described(settings, entry) << " is a member already\n";
      continue;
    }
    changing.push_back(target);
    names += (names.empty() ? "" : ", ") + Described(settings, entry);
  }
  // The library's refusal of a full group (E2BIG) reads as a full book:
  // said here in its own words.
  if (add && members.size() + changing.size() > OVEL_MAX_MEMBERS) {
    return book.Fail("the group would have " + std::to_string(members.size() + changing.size()) +
                     " members; a group holds at most " + std::to_string(OVEL_MAX_MEMBERS));
  }
  std::string groupName = ShownText(group.name, Shown(settings));
  if (!add &&
      !Confirmed("remove " + names + " from the group " + groupName + "?", a.confirmation.yes)) {
    return book.Fail("not removed");
  }
  Transaction changes(book.client());
  if (!changes.Begin()) return book.FailCall("the book cannot be changed");
  for (int target : changing) {
    int done = add ? OvelAddGroupMember(view, group.name.c_str(), target)
                   : OvelRemoveGroupMember(view, group.name.c_str(), target);
    if (done != 1) return book.Fail("nothing was changed: " + FailureCause());
  }
  if (!changes.Commit()) return book.FailCall("nothing was changed: the book could not be saved");
  for (int target : changing) {
    std::cout << (add ? "added " : "removed ")
              << Described(settings, entries[static_cast<size_t>(target)])
              << (add ? " to " : " from ") << groupName << "\n";
  }
  return 0;
}

int DeleteGroup(BookAccess& book, const Settings& settings, const Arguments& a) {
  std::vector<Entry> entries;
  int position = -1;
  ViewHandle view = GroupListing(book, settings, a.group, &entries, &position);
  if (!view) return 1;
  ViewCloser closer{view};
  const Entry& group = entries[static_cast<size_t>(position)];
  size_t members = book.Members(group.name, false).size();
  std::string name = ShownText(group.name, Shown(settings));
  if (!Confirmed("delete the group " + name + " (its " + std::to_string(members) +
                     " members stay in the book)?",
                 a.confirmation.yes)) {
    return book.Fail("not deleted");
  }
  Transaction changes(book.client());
  if (!changes.Begin()) return book.FailCall("the book cannot be changed");
  if (OvelDeleteViewItem(view, position) != 1) {
    return book.Fail("nothing was deleted: " + FailureCause());
  }
  if (!changes.Commit()) return book.FailCall("nothing was deleted: the book could not be saved");
  std::cout << "deleted group " << name << "\n";
  return 0;
}

// Each group with its index as list --groups shows it, its number of
// direct members and its comment.
int ListGroups(BookAccess& book, const Settings& settings) {
  auto entries = book.Entries(true);
  if (!entries) return 1;
  OutputOptions shown = Shown(settings);
  for (const Entry& e : *entries) {
    if (!e.group) continue;
    size_t members = book.Members(e.name, false).size();
    std::cout << e.index << "\t" << ShownText(e.name, shown) << "\t" << members
              << (members == 1 ? " member" : " members");
    if (!e.comment.empty()) std::cout << "\t" << ShownText(e.comment, shown);
    std::cout << "\n";
  }
  return 0;
}

}  // namespace

int RunGroupCommand(BookAccess& book, const Settings& settings, const Arguments& a) {
  if (a.groupAction == "create") return CreateGroup(book, settings, a);
  if (a.groupAction == "add") return ChangeMembers(book, settings, a, true);
  if (a.groupAction == "remove") return ChangeMembers(book, settings, a, false);
  if (a.groupAction == "delete") return DeleteGroup(book, settings, a);
  return ListGroups(book, settings);
}

}  // namespace addrbook
