#include "commands/group_import.h"

#include <algorithm>
#include <iostream>
#include <map>

#include "formats/entry_rules.h"
#include "formats/import_groups.h"

namespace addrbook {
namespace {

bool SameMember(const MemberRef& a, const MemberRef& b) {
  return a.group == b.group && (a.group ? CaseFolded(a.name) == CaseFolded(b.name)
                                        : a.name == b.name && a.address == b.address);
}

// Why a group row cannot be a group of the book, or "" (with its name and
// comment in book text).
std::string GroupRefusal(const ImportRow& row, Encoding encoding, std::string* name,
                         std::string* comment) {
  if (!row.refused.empty()) return row.refused;
  std::string why;
  auto n = FromUtf8(row.name, encoding, &why);
  auto c = n ? FromUtf8(row.comment, encoding, &why) : std::nullopt;
  if (!c) return why;
  if (n->empty()) return "the group has no name";
  if (n->find('%') != std::string::npos) {
    return "the group's name holds \"%\", which the book would take for a join of surname words";
  }
  why = AddRefusal(*n, "(group)", *c, 0, encoding);
  if (!why.empty()) return why;
  *name = *n;
  *comment = *c;
  return "";
}

// Plans the groups of a file's rows in four steps: the groups, their
// members, the limit of members, and the members that are groups left out.
class Planner {
 public:
  Planner(const Settings& settings, const std::vector<ImportRow>& rows,
          const std::vector<std::optional<MemberRef>>& entryOf, const std::string& where)
      : shown_(Shown(settings)),
        encoding_(settings.encoding),
        rows_(rows),
        where_(where),
        refOf_(entryOf),
        planOfRow_(rows.size(), SIZE_MAX),
        found_(FindGroupMembers(rows)) {}

  // A plan for each group row the book takes (rows of one name, or of a
  // group of the book, share one).
  void TakeGroups(const std::vector<Entry>& entries, size_t count) {
    std::map<std::string, std::string> inBook;
    for (const Entry& e : entries) {
      if (e.group) inBook.emplace(CaseFolded(e.name), e.name);
    }
    for (const GroupFound& g : found_) {
      const ImportRow& row = rows_[g.row];
      ++tally_.total;
      std::string name, comment;
      std::string why = GroupRefusal(row, encoding_, &name, &comment);
      auto known = planOf_.find(CaseFolded(name));
      bool exists = inBook.count(CaseFolded(name)) > 0;
      if (why.empty() && known == planOf_.end() && !exists && count >= kMaxEntries) why = kBookFull;
      if (!why.empty()) {
        std::cerr << where_ << row.line << ": " << ShownUtf8(row.name, shown_) << ": "
                  << ShownUtf8(why, shown_) << "\n";
        ++tally_.refused;
        continue;
      }
      if (known == planOf_.end()) {
        GroupPlan plan{
            exists ? inBook[CaseFolded(name)] : name, comment, row.line, exists, false, {}};
        count += exists ? 0 : 1;
        known = planOf_.emplace(CaseFolded(name), tally_.plans.size()).first;
        tally_.plans.push_back(plan);
      }
      planOfRow_[g.row] = known->second;
      refOf_[g.row] = MemberRef{true, tally_.plans[known->second].name, ""};
      ++tally_.accepted;
    }
  }

  // Each plan's members: those of its rows that the book will hold, each
  // once; each member left out is said.
  void TakeMembers() {
    for (const GroupFound& g : found_) {
      if (planOfRow_[g.row] == SIZE_MAX) continue;
      GroupPlan& plan = tally_.plans[planOfRow_[g.row]];
      std::string at = where_ + std::to_string(rows_[g.row].line) + ": " +
                       ShownUtf8(rows_[g.row].name, shown_) + ": ";
      for (const std::string& key : g.missing) {
        std::cerr << at << "member " << ShownUtf8(key, shown_) << " is not in the file\n";
        ++tally_.missing;
      }
      for (size_t m : g.members) {
        if (!refOf_[m]) {
          std::cerr << at << "member " << ShownUtf8(rows_[m].name, shown_) << " (line "
                    << rows_[m].line << ") was not imported\n";
          ++tally_.missing;
        } else if (!Holds(plan.members, *refOf_[m])) {
          plan.members.push_back(*refOf_[m]);
        }
      }
    }
  }

  // The members a group of the book holds already are left out; a group
  // that would hold more than the book allows is refused.
  void Limit(BookAccess& book) {
    for (GroupPlan& plan : tally_.plans) {
      std::vector<MemberRef> held, fresh;
      if (plan.exists) {
        for (const Entry& m : book.Members(plan.name, false)) {
          held.push_back({m.group, m.name, m.group ? "" : m.address});
        }
      }
      for (const MemberRef& m : plan.members) {
        if (!Holds(held, m)) fresh.push_back(m);
      }
      plan.members = fresh;
      size_t total = held.size() + fresh.size();
      if (total <= OVEL_MAX_MEMBERS) continue;
      std::cerr << where_ << plan.line << ": " << ShownText(plan.name, shown_)
                << ": the group would have " << total << " members; a group holds at most "
                << OVEL_MAX_MEMBERS << "; the group is not imported\n";
      plan.refused = true;
      ++tally_.refused;
      --tally_.accepted;
    }
  }

  // A group that is not made is no member either.
  GroupTally LeaveOutRefused() {
    for (GroupPlan& plan : tally_.plans) {
      std::vector<MemberRef> kept;
      for (const MemberRef& m : plan.members) {
        auto p = m.group ? planOf_.find(CaseFolded(m.name)) : planOf_.end();
        if (p == planOf_.end() || !tally_.plans[p->second].refused) {
          kept.push_back(m);
          continue;
        }
        std::cerr << where_ << plan.line << ": " << ShownText(plan.name, shown_) << ": member "
                  << ShownText(m.name, shown_) << " was not imported\n";
        ++tally_.missing;
      }
      plan.members = kept;
    }
    return tally_;
  }

 private:
  static bool Holds(const std::vector<MemberRef>& members, const MemberRef& member) {
    for (const MemberRef& m : members) {
      if (SameMember(m, member)) return true;
    }
    return false;
  }

  OutputOptions shown_;
  Encoding encoding_;
  const std::vector<ImportRow>& rows_;
  const std::string& where_;
  std::vector<std::optional<MemberRef>> refOf_;  // what each row is as a member
  std::vector<size_t> planOfRow_;
  std::vector<GroupFound> found_;
  std::map<std::string, size_t> planOf_;  // by CaseFolded name
  GroupTally tally_;
};

}  // namespace

GroupTally PlanGroups(const Settings& settings, const std::vector<ImportRow>& rows,
                      const std::vector<std::optional<MemberRef>>& entryOf, BookAccess& book,
                      const std::vector<Entry>& entries, size_t count, const std::string& where) {
  if (!HoldsGroups(rows)) return {};
  Planner planner(settings, rows, entryOf, where);
  // Every group first, so that a group may hold one that the file gives
  // after it.
  planner.TakeGroups(entries, count);
  planner.TakeMembers();
  planner.Limit(book);
  return planner.LeaveOutRefused();
}

bool AddGroups(BookAccess& book, const std::vector<GroupPlan>& plans, Encoding encoding) {
  for (const GroupPlan& plan : plans) {
    if (plan.refused || plan.exists) continue;
    if (!OvelAddGroup(book.client(), plan.name.c_str(), plan.comment.c_str())) {
      book.FailCall("nothing was imported: the group " + ToUtf8(plan.name, encoding) +
                    " could not be added");
      return false;
    }
  }
  // The members are found in a listing of the book: not listed when no
  // group gains one (most imports hold no groups).
  if (std::all_of(plans.begin(), plans.end(),
                  [](const GroupPlan& p) { return p.refused || p.members.empty(); }))
    return true;
  std::vector<Entry> listed;
  ViewHandle view = book.Walk(true, &listed);
  if (!view) return false;
  ViewCloser closer{view};
  std::map<std::pair<std::string, std::string>, int> plain;
  std::map<std::string, int> groups;
  for (const Entry& e : listed) {
    if (e.group) {
      groups.emplace(CaseFolded(e.name), e.index);
    } else {
      plain.emplace(std::make_pair(e.name, e.address), e.index);
    }
  }
  for (const GroupPlan& plan : plans) {
    for (const MemberRef& m : plan.refused ? std::vector<MemberRef>() : plan.members) {
      auto g = groups.find(CaseFolded(m.name));
      auto p = plain.find({m.name, m.address});
      int index =
          m.group ? (g == groups.end() ? -1 : g->second) : (p == plain.end() ? -1 : p->second);
      if (index < 0 || !OvelAddGroupMember(view, plan.name.c_str(), index)) {
        std::string cause = index < 0 ? "it is not in the book" : FailureCause();
        book.Fail("nothing was imported: " + ToUtf8(m.name, encoding) +
                  " could not be made a member of " + ToUtf8(plan.name, encoding) + ": " + cause);
        return false;
      }
    }
  }
  return true;
}

}  // namespace addrbook
