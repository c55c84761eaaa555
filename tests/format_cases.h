// Tables of files for the format tests: bytes in, through the import's
// front end, and the rows they give, each with what the book makes of it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "formats/format.h"

// A row as "line|stored name|address|comment|what the book makes of it":
// "group", "refused: WHY" (the reader's reason, else the book's, in a
// cp1252 book), "shortened: WHAT", or nothing.
std::string RowText(const addrbook::ImportRow& row);

// Text as UTF-16 (little-endian) bytes after a byte order mark.
std::string Utf16(const std::u16string& text);

struct FileCase {
  std::string bytes;
  std::string columns;            // --columns
  std::string unit;               // what the format calls an item; "" when the file is refused
  std::vector<std::string> rows;  // as RowText gives them; the error when refused
};

void CheckFiles(const std::vector<FileCase>& cases);

// Each format's writer, then its reader, on a book of entries (UTF-8 book
// text): every entry back with its name, surname, address, comment and
// group, but for those the export tells of: `told` gives them for each
// format as their indexes, each followed by "-" when the entry is left
// out (it gives no row) or a space.
void CheckRoundTrips(const std::vector<addrbook::Entry>& entries,
                     const std::vector<addrbook::GroupMembers>& groups,
                     const std::map<std::string, std::string>& told);
