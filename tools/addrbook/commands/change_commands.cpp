// The commands that change the book: add, delete, edit.  Each change is
// one save; delete and edit ask first, on a terminal or not.  An edit
// keeps the entry in its groups.
#include <algorithm>
#include <iostream>

#include "commands/commands.h"
#include "formats/entry_rules.h"
#include "text/search.h"

namespace addrbook {

int AddEntry(BookAccess& book, const Settings& settings, const std::string& name,
             const std::string& address, const std::string& comment) {
  auto n = StoredText(settings, book, name), a = StoredText(settings, book, address),
       c = StoredText(settings, book, comment);
  if (!n || !a || !c) return 1;
  auto entries = book.Entries(true);
  if (!entries) return 1;
  std::string why = AddRefusal(*n, *a, *c, entries->size(), settings.encoding);
  if (!why.empty()) return book.Fail(why);
  if (!OvelAddItem(book.client(), n->c_str(), a->c_str(), c->c_str())) {
    return book.FailCall("the entry could not be saved");
  }
  OutputOptions shown = Shown(settings);
  std::cout << "added " << ShownText(DisplayName(*n), shown) << " <" << ShownText(*a, shown)
            << ">\n";
  return 0;
}

namespace {

// False (reported) when `expected` is given and the entry has another name.
bool IsExpected(const BookAccess& book, const Settings& settings, const Entry& entry,
                const std::string& expected) {
  if (expected.empty()) return true;
  auto wanted = BookText(settings, book, expected);
  if (!wanted) return false;
  if (entry.name == DisplayName(*wanted)) return true;
  book.Fail("the entry is " + ToUtf8(entry.name, settings.encoding) + ", not " +
            ArgumentText(settings, expected));
  return false;
}

std::string Described(const Settings& settings, const std::string& name, const std::string& address,
                      const std::string& comment = "") {
  OutputOptions shown = Shown(settings);
  std::string text = ShownText(name, shown) + " <" + ShownText(address, shown) + ">";
  if (!comment.empty()) text += " (" + ShownText(comment, shown) + ")";
  return text;
}

}  // namespace

int DeleteEntries(BookAccess& book, const Settings& settings, const std::vector<int>& indexes,
                  const std::vector<std::string>& names, bool groups,
                  const Confirmation& confirmation) {
  if (indexes.empty() && names.empty()) {
    std::cerr << "addrbook: name the entries by INDEX or by --name NAME\n";
    return 2;
  }
  if (!confirmation.expected.empty() && indexes.size() + names.size() != 1) {
    std::cerr << "addrbook: --expect names one entry; delete one at a time with it\n";
    return 2;
  }
  // One listing with groups; an index counts as list shows it.
  std::vector<Entry> entries;
  ViewHandle view = book.Walk(true, &entries);
  if (!view) return 1;
  ViewCloser closer{view};
  std::vector<int> targets;
  for (int index : indexes) {
    targets.push_back(ListedPosition(book, entries, index, groups));
    if (targets.back() < 0) return 1;
  }
  for (const std::string& name : names) {
    targets.push_back(FindByName(book, settings, entries, name));
    if (targets.back() < 0) return 1;
  }
  std::sort(targets.begin(), targets.end());
  targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
  std::string question;
  for (int target : targets) {
    const Entry& entry = entries[static_cast<size_t>(target)];
    if (!IsExpected(book, settings, entry, confirmation.expected)) return 1;
    question += (question.empty() ? "delete " : ", ") +
                Described(settings, entry.name, entry.group ? "(group)" : entry.address);
  }
  if (!Confirmed(question + "?", confirmation.yes)) return book.Fail("not deleted");
  // Through the view that showed them, from the last, so that each index
  // still names what the listing showed; another program's change since
  // cannot make it delete someone else.
  Transaction changes(book.client());
  if (!changes.Begin()) return book.FailCall("the book cannot be changed");
  for (auto target = targets.rbegin(); target != targets.rend(); ++target) {
    if (OvelDeleteViewItem(view, *target) != 1) {
      return book.Fail("nothing was deleted: " + FailureCause());
    }
  }
  if (!changes.Commit()) {
    return book.FailCall("nothing was deleted: the book could not be saved");
  }
  OutputOptions shown = Shown(settings);
  for (int target : targets) {
    std::cout << "deleted " << ShownText(entries[static_cast<size_t>(target)].name, shown) << "\n";
  }
  return 0;
}

namespace {

// The groups that hold `entry` as a direct member.  A member is known by
// its name and address.
std::vector<std::string> GroupsHolding(BookAccess& book, const std::vector<Entry>& entries,
                                       const Entry& entry) {
  std::vector<std::string> holding;
  for (const Entry& g : entries) {
    if (!g.group) continue;
    for (const Entry& m : book.Members(g.name, false)) {
      if (!m.group && m.name == entry.name && m.address == entry.address) {
        holding.push_back(g.name);
        break;
      }
    }
  }
  return holding;
}

// The new entry in place of the old, in one transaction: the old one
// deleted first (through the view that listed it, so that a full book has
// room), the new one added and made a member of every group that held the
// old one.  Every change is saved, or none.
int ReplaceEntry(BookAccess& book, ViewHandle view, int target, const BookEntry& now,
                 const std::vector<std::string>& groups) {
  Transaction changes(book.client());
  if (!changes.Begin()) return book.FailCall("the book cannot be changed");
  if (OvelDeleteViewItem(view, target) != 1) {
    return book.Fail("nothing was changed: the old entry could not be deleted: " + FailureCause());
  }
  if (!OvelAddItem(book.client(), now.name.c_str(), now.address.c_str(), now.comment.c_str())) {
    return book.Fail("nothing was changed: " + FailureCause());
  }
  if (!groups.empty()) {
    // The new entry, found by what it holds (the add moved indexes).
    std::vector<Entry> listed;
    ViewHandle again = book.Walk(true, &listed);
    if (!again) return 1;
    ViewCloser againCloser{again};
    int added = -1;
    for (const Entry& e : listed) {
      if (!e.group && e.name == DisplayName(now.name) && e.address == now.address &&
          e.comment == now.comment) {
        added = e.index;
        break;
      }
    }
    for (const std::string& group : groups) {
      if (added < 0 || OvelAddGroupMember(again, group.c_str(), added) != 1) {
        std::string cause = added < 0 ? "it is not in the book" : FailureCause();
        return book.Fail("nothing was changed: the entry could not stay in its groups: " + cause);
      }
    }
  }
  if (!changes.Commit()) {
    return book.FailCall("nothing was changed: the book could not be saved");
  }
  return 0;
}

}  // namespace

int EditEntry(BookAccess& book, const Settings& settings, const EntryChoice& choice,
              const EntryChange& change, const Confirmation& confirmation) {
  std::vector<Entry> entries;
  ViewHandle view = book.Walk(true, &entries);
  if (!view) return 1;
  ViewCloser closer{view};
  int target = ChosenPosition(book, settings, entries, choice);
  if (target < 0) return 1;
  const Entry entry = entries[static_cast<size_t>(target)];
  if (entry.group)
    return book.Fail("groups cannot be edited; make a new one with group create and group add");
  if (!IsExpected(book, settings, entry, confirmation.expected)) return 1;
  std::optional<std::string> n =
      change.name ? StoredText(settings, book, *change.name) : StoredName(entry);
  std::optional<std::string> a =
      change.address ? StoredText(settings, book, *change.address) : entry.address;
  std::optional<std::string> c =
      change.comment ? StoredText(settings, book, *change.comment) : entry.comment;
  if (!n || !a || !c) return 1;
  OutputOptions shown = Shown(settings);
  // The stored name compared, so that a change of its "%" joins alone (of
  // where the surname begins) is a change.
  if (*n == StoredName(entry) && *a == entry.address && *c == entry.comment) {
    std::cout << "unchanged " << ShownText(entry.name, shown) << "\n";
    return 0;
  }
  std::string why = AddRefusal(*n, *a, *c, entries.size() - 1, settings.encoding);
  if (!why.empty()) return book.Fail(why);
  BookEntry now{*n, *a, *c};
  std::string question = "change " + Described(settings, entry.name, entry.address, entry.comment) +
                         " to " + Described(settings, DisplayName(*n), *a, *c) + "?";
  if (!Confirmed(question, confirmation.yes)) return book.Fail("not changed");
  std::vector<std::string> groups = GroupsHolding(book, entries, entry);
  if (int failed = ReplaceEntry(book, view, target, now, groups)) return failed;
  std::cout << "changed " << ShownText(entry.name, shown) << " to "
            << Described(settings, DisplayName(*n), *a) << "\n";
  return 0;
}

}  // namespace addrbook
