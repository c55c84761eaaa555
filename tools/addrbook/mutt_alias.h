// mutt's alias files: "alias KEY Name <address>" lines, a group as an
// alias of several addresses or aliases.
#pragma once

#include <string>
#include <vector>

#include "import.h"
#include "output.h"

namespace addrbook {

// True when the first line that is neither empty nor a comment is an alias.
bool IsMuttAliasText(const std::string& text);
// One row per alias: "Name <address>", "address (Name)" or a bare address;
// the comment from a "# comment" after it; an alias of several addresses
// is a group.
void ReadMuttAliases(const std::string& text, std::vector<ImportRow>* rows);

// The whole book as aliases: a key made from each name, each group an alias
// of its members' keys.
std::string ExportMuttAliases(const std::vector<Entry>& entries,
                              const std::vector<GroupMembers>& groups, Encoding encoding);

}  // namespace addrbook
