// The groups of an imported file: the keys by which a file's groups name
// their members, the groups that CSV labels and categories make, and each
// group's members found among the file's rows.
#pragma once

#include <string>
#include <vector>

#include "formats/csv_fields.h"
#include "formats/format.h"

namespace addrbook {

// Text with its ASCII letters in lower case: keys of a file in any case,
// and group names as the book tells them apart.
std::string CaseFolded(std::string text);
// A vCard UID or MEMBER as a key: without "urn:uuid:", in lower case.
std::string UidKey(const std::string& uri);
// An LDIF DN as a key: attribute names and values in lower case, without
// the blanks around "=", "," and "+".
std::string DnKey(const std::string& dn);

// The group columns of a CSV file with a header: this tool's "index" and
// "members" (keys and members of its rows), else Google's "Labels" or
// "Group Membership" and the "Categories" of Outlook and Thunderbird
// (labels); -1 for each that is not there.
struct CsvGroupColumns {
  int index = -1, members = -1, google = -1, categories = -1;
};
CsvGroupColumns FindCsvGroupColumns(const std::vector<std::string>& header);
// What the group columns of a record's fields give its row.
void TakeCsvGroupCells(const CsvGroupColumns& columns, const std::vector<std::string>& fields,
                       ImportRow* row);

// Adds a group row for each label the rows carry, in the order first met,
// its members the rows that carry it (each row given a key when it has
// none).
void AddLabelGroups(std::vector<ImportRow>* rows);

// A group row's members found among the rows: by key, or a "mailto:"
// member by the address of a row; the keys found nowhere in `missing`.
struct GroupFound {
  size_t row;                   // the group's row
  std::vector<size_t> members;  // rows, each once, in the group's order
  std::vector<std::string> missing;
};
std::vector<GroupFound> FindGroupMembers(const std::vector<ImportRow>& rows);

}  // namespace addrbook
