#include "commands/group_import.h"

#include <iostream>
#include <map>

#include "formats/entry_rules.h"
#include "formats/import_groups.h"

namespace addrbook {
namespace {

// A group's name as the book finds it, in any case (ASCII letters).
std::string NameKey(std::string name) {
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

bool SameMember(const MemberRef& a, const MemberRef& b) {
  return a.group == b.group && (a.group ? NameKey(a.name) == NameKey(b.name)
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

// A plan's members: those found in the file that the book will hold and
// that are not members already; each left out is reported.
void TakeMembers(const GroupFound& found, const std::vector<ImportRow>& rows,
                 const std::vector<std::optional<MemberRef>>& refOf, const std::string& at,
                 const OutputOptions& shown, GroupPlan* plan, size_t* missing) {
  for (const std::string& key : found.missing) {
    std::cerr << at << "member " << ShownUtf8(key, shown) << " is not in the file\n";
    ++*missing;
  }
  for (size_t m : found.members) {
    if (!refOf[m]) {
      std::cerr << at << "member " << ShownUtf8(rows[m].name, shown) << " (line " << rows[m].line
                << ") was not imported\n";
      ++*missing;
      continue;
    }
    bool already = false;
    for (const MemberRef& held : plan->members) already = already || SameMember(held, *refOf[m]);
    if (!already) plan->members.push_back(*refOf[m]);
  }
}

}  // namespace

GroupTally PlanGroups(const Settings& settings, const std::vector<ImportRow>& rows,
                      const std::vector<std::optional<MemberRef>>& entryOf, BookAccess& book,
                      const std::vector<Entry>& entries, size_t count, const std::string& where) {
  OutputOptions shown = Shown(settings);
  GroupTally tally;
  std::vector<GroupFound> found = FindGroupMembers(rows);
  // What each row stands for as a member: its entry, or its group.
  std::vector<std::optional<MemberRef>> refOf = entryOf;
  std::map<std::string, size_t> planOf;  // by NameKey
  std::map<std::string, std::string> inBook;
  for (const Entry& e : entries) {
    if (e.group) inBook.emplace(NameKey(e.name), e.name);
  }
  std::vector<size_t> planOfRow(rows.size(), SIZE_MAX);
  for (const GroupFound& g : found) {
    const ImportRow& row = rows[g.row];
    ++tally.total;
    std::string name, comment;
    std::string why = GroupRefusal(row, settings.encoding, &name, &comment);
    auto known = planOf.find(NameKey(name));
    if (why.empty() && known == planOf.end() && !inBook.count(NameKey(name)) &&
        count >= kMaxEntries)
      why = kBookFull;
    if (!why.empty()) {
      std::cerr << where << row.line << ": " << ShownUtf8(row.name, shown) << ": "
                << ShownUtf8(why, shown) << "\n";
      ++tally.refused;
      continue;
    }
    if (known == planOf.end()) {
      GroupPlan plan{name, comment, row.line, inBook.count(NameKey(name)) > 0, false, {}};
      if (plan.exists) plan.name = inBook[NameKey(name)];
      count += plan.exists ? 0 : 1;
      known = planOf.emplace(NameKey(name), tally.plans.size()).first;
      tally.plans.push_back(plan);
    }
    planOfRow[g.row] = known->second;
    refOf[g.row] = MemberRef{true, tally.plans[known->second].name, ""};
    ++tally.accepted;
  }
  // Members once every group is known, so that a group may hold a group
  // that the file gives after it.
  std::vector<std::vector<MemberRef>> before(tally.plans.size());
  for (size_t p = 0; p < tally.plans.size(); ++p) {
    if (!tally.plans[p].exists) continue;
    for (const Entry& m : book.Members(tally.plans[p].name, false)) {
      before[p].push_back({m.group, m.name, m.group ? "" : m.address});
    }
  }
  for (const GroupFound& g : found) {
    if (planOfRow[g.row] == SIZE_MAX) continue;
    GroupPlan& plan = tally.plans[planOfRow[g.row]];
    std::string at =
        where + std::to_string(rows[g.row].line) + ": " + ShownUtf8(rows[g.row].name, shown) + ": ";
    TakeMembers(g, rows, refOf, at, shown, &plan, &tally.missing);
  }
  for (size_t p = 0; p < tally.plans.size(); ++p) {
    GroupPlan& plan = tally.plans[p];
    std::vector<MemberRef> fresh;
    for (const MemberRef& m : plan.members) {
      bool held = false;
      for (const MemberRef& b : before[p]) held = held || SameMember(b, m);
      if (!held) fresh.push_back(m);
    }
    plan.members = fresh;
    size_t total = before[p].size() + fresh.size();
    if (total > OVEL_MAX_MEMBERS) {
      std::cerr << where << plan.line << ": " << ShownText(plan.name, shown)
                << ": the group would have " << total << " members; a group holds at most "
                << OVEL_MAX_MEMBERS << "; the group is not imported\n";
      plan.refused = true;
      ++tally.refused;
      --tally.accepted;
    }
  }
  // A group that is not made is no member either.
  for (GroupPlan& plan : tally.plans) {
    std::vector<MemberRef> kept;
    for (const MemberRef& m : plan.members) {
      auto p = m.group ? planOf.find(NameKey(m.name)) : planOf.end();
      if (p == planOf.end() || !tally.plans[p->second].refused) {
        kept.push_back(m);
        continue;
      }
      std::cerr << where << plan.line << ": " << ShownText(plan.name, shown) << ": member "
                << ShownText(m.name, shown) << " was not imported\n";
      ++tally.missing;
    }
    plan.members = kept;
  }
  return tally;
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
  std::vector<Entry> listed;
  ViewHandle view = book.Walk(true, &listed);
  if (!view) return false;
  ViewCloser closer{view};
  std::map<std::pair<std::string, std::string>, int> plain;
  std::map<std::string, int> groups;
  for (const Entry& e : listed) {
    if (e.group) {
      groups.emplace(NameKey(e.name), e.index);
    } else {
      plain.emplace(std::make_pair(e.name, e.address), e.index);
    }
  }
  for (const GroupPlan& plan : plans) {
    for (const MemberRef& m : plan.refused ? std::vector<MemberRef>() : plan.members) {
      auto g = groups.find(NameKey(m.name));
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
