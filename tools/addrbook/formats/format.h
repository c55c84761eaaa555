// One interface for every file format the tool reads and writes: a row of
// the table of formats (formats.cpp) names it, tells its text apart,
// reads it and writes it.  A format is one file, which defines its row,
// and that row's place in the table.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "text/encoding.h"
#include "text/entry.h"
#include "text/escaping.h"

namespace addrbook {

// One card, row, entry or record of a file: the entry it gives, in UTF-8,
// or why it gives none.  Every one that the file holds is here, so that
// what the import reports adds up to what the file holds.
struct ImportRow {
  int line = 0;      // where it begins, from 1
  std::string name;  // stored form: "%" joins the words of a family name
  std::string address;
  std::string comment;
  bool group = false;     // a group: its name and comment, and `members`
  std::string refused;    // why it gives no entry; "" when it does
  std::string shortened;  // what was left out of the name to fit the book
  // Groups: the key by which the file's groups name this row (a vCard UID,
  // an LDIF DN, a mutt alias, the index of this tool's CSV and JSON), ""
  // when none; a group's members by their keys, in the file's order; the
  // names of the groups a row of Google's, Outlook's or Thunderbird's CSV
  // puts it in (labels, categories).
  std::string key;
  std::vector<std::string> members;
  std::vector<std::string> labels;
};

// True when the rows of a file hold a group (most files hold none).
inline bool HoldsGroups(const std::vector<ImportRow>& rows) {
  for (const ImportRow& row : rows) {
    if (row.group) return true;
  }
  return false;
}

struct ReadOptions {
  std::optional<Encoding> input;  // of the file; else by byte order mark or bytes
  std::string columns;            // "name=COL,address=COL,comment=COL" for CSV
  bool formulaGuard = true;       // a leading ' before = + - @ is the CSV export's guard
};

// What a reader makes of a file's text: every row it holds, or why the
// file gives none.
struct ReadResult {
  std::vector<ImportRow> rows;
  std::string error;  // "" when the file was read
};

// The direct members of a group, as indexes into the entries (-1 for a
// member not found).
struct GroupMembers {
  int group;  // index of the group
  std::vector<int> members;
};

// The whole book, as an export writes it.
struct WholeBook {
  const std::vector<Entry>& entries;
  const std::vector<GroupMembers>& groups;
  // The members of `group` that the entries hold, as their indexes.
  std::vector<int> MembersOf(const Entry& group) const;
};

struct WriteOptions {
  Encoding encoding = Encoding::kCp1252;  // of the book's text
  bool formulaGuard = true;               // CSV: a ' before a leading = + - @
  // What the format could not carry as it is, entry by entry (UTF-8, as
  // Tell words it); null when no one asks.
  std::vector<std::string>* notices = nullptr;
};

struct Format {
  const char* name;  // as --format names it
  const char* unit;  // what the format calls one item: row, card, entry ...
  // True when a file's text (UTF-8) is of this format; null for the one
  // format taken when no other is (CSV).
  bool (*detect)(const std::string& text);
  ReadResult (*read)(const std::string& text, const ReadOptions& options);
  std::string (*write)(const WholeBook& book, const WriteOptions& options);
  // Entries as list, find and expand write them; null when the format
  // has no such listing.
  std::string (*list)(const std::vector<Entry>& entries, const OutputOptions& options);
};

// The formats, in the order --format lists them.
const std::vector<const Format*>& Formats();
// The format of that name; null when there is none.
const Format* FormatNamed(const std::string& name);
// The format a file's text is of.
const Format& DetectedFormat(const std::string& text);

}  // namespace addrbook
