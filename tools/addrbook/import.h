// Reading files to import: the tool's own CSV and JSON, the CSV of Google
// Contacts, Outlook and Thunderbird (in the languages they export in),
// vCard 2.1 to 4.0, LDIF and mutt alias files.  ReadImport finds the
// encoding and the shape and hands the text to the reader of that shape.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "text_encoding.h"

namespace addrbook {

// One card, row, entry or record of a file: the entry it gives, in UTF-8,
// or why it gives none.  Every one that the file holds is here, so that
// what the import reports adds up to what the file holds.
struct ImportRow {
  int line = 0;      // where it begins, from 1
  std::string name;  // stored form: "%" joins the words of a family name
  std::string address;
  std::string comment;
  bool group = false;     // a group, which the library cannot make
  std::string refused;    // why it gives no entry; "" when it does
  std::string shortened;  // what was left out of the name to fit the book
};

struct ReadOptions {
  std::optional<Encoding> input;  // of the file; else by byte order mark or bytes
  std::string columns;            // "name=COL,address=COL,comment=COL" for CSV
  bool formulaGuard = true;       // a leading ' before = + - @ is the CSV export's guard
};

struct ImportText {
  const char* unit = "row";  // what the format calls one item: row, card, entry ...
  std::vector<ImportRow> rows;
};

// Reads a whole file: UTF-16 (by its byte order mark), UTF-8 (a byte order
// mark taken off), else the encoding given, else Windows-1252; lines ended
// by LF, CRLF or CR alone.  False (with `error`) when no shape fits.
bool ReadImport(const std::string& bytes, const ReadOptions& options, ImportText* text,
                std::string* error);

// The readers of each shape, on UTF-8 text without a byte order mark.
// CSV separated by ",", ";" or tab; the header names the columns (a table
// of the names exporters use) unless options.columns does.
bool ReadCsvRows(const std::string& text, const ReadOptions& options, std::vector<ImportRow>* rows,
                 std::string* error);
// The tool's JSON (list --format json, export --format json).
bool ReadJsonRows(const std::string& text, std::vector<ImportRow>* rows, std::string* error);
// vCard 2.1, 3.0 or 4.0.
bool IsVcardText(const std::string& text);
void ReadVcardRows(const std::string& text, std::vector<ImportRow>* rows);

}  // namespace addrbook
