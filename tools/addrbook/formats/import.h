// The import's front end: a file's bytes to the rows of its format.  The
// tool reads its own CSV and JSON, the CSV of Google Contacts, Outlook and
// Thunderbird (in the languages they export in), vCard 2.1 to 4.0, LDIF
// and mutt alias files.
#pragma once

#include <string>
#include <vector>

#include "formats/format.h"

namespace addrbook {

struct ImportText {
  const char* unit = "row";  // what the format calls one item: row, card, entry ...
  std::vector<ImportRow> rows;
};

// Reads a whole file: UTF-16 (by its byte order mark), UTF-8 (a byte order
// mark taken off), else the encoding given, else Windows-1252; lines ended
// by LF, CRLF or CR alone; the format told by its text.  False (with
// `error`) when the format finds no rows in it.  Bytes handed over
// (moved) are read in place: a large file is not copied.
bool ReadImport(std::string bytes, const ReadOptions& options, ImportText* text,
                std::string* error);

}  // namespace addrbook
