// The groups of an imported file, made in the import's transaction: each
// group row of the file (or label of its rows) planned against the book,
// then added with its members once the file's entries are in.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "commands/command_support.h"
#include "formats/format.h"

namespace addrbook {

// A member as the book holds it (book text): a plain entry by its name as
// shown and its address, a group by its name.
struct MemberRef {
  bool group = false;
  std::string name, address;
};

// A group to make, or a group of the book that the file names again.
struct GroupPlan {
  std::string name, comment;
  int line = 0;
  bool exists = false;             // in the book already: the members are added to it
  bool refused = false;            // too many members: neither made nor changed
  std::vector<MemberRef> members;  // new members, in the file's order
};

struct GroupTally {
  std::vector<GroupPlan> plans;
  size_t total = 0;     // group rows of the file
  size_t accepted = 0;  // of them, made or added to a group of the book
  size_t refused = 0;
  size_t missing = 0;  // members not in the file, or not imported
};

// Plans the groups of `rows`, each refusal and each member left out
// reported on standard error after `where` ("FILE:").  `entryOf[r]` is
// the entry row r gives the book (a new one, or one the book holds
// already), none when the row gives none; `entries` is the book as listed
// with groups, and `count` the entries it will hold before the groups.
GroupTally PlanGroups(const Settings& settings, const std::vector<ImportRow>& rows,
                      const std::vector<std::optional<MemberRef>>& entryOf, BookAccess& book,
                      const std::vector<Entry>& entries, size_t count, const std::string& where);

// Adds the planned groups and then their members within the open
// transaction; false (reported) when the library refuses one.
bool AddGroups(BookAccess& book, const std::vector<GroupPlan>& plans, Encoding encoding);

}  // namespace addrbook
