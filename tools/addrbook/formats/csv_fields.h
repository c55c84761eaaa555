// CSV by RFC 4180: writing fields safely, reading records.  The CSV
// format (csv.cpp) reads and writes through these.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace addrbook {

// A field quoted when it needs to be; unless `guard` is false, a field that
// a spreadsheet would run as a formula (leading =, +, -, @, tab or carriage
// return) gets a leading '.
std::string CsvField(const std::string& text, bool guard = true);

// Fields joined by commas, ended by CRLF.
std::string CsvLine(const std::vector<std::string>& fields, bool guard = true);

// A field as it was before CsvField guarded it against formulas.
std::string_view WithoutFormulaGuard(std::string_view field);

// The separator of a CSV file: ",", ";" or tab, whichever its first line
// holds most of outside quotes.
char DetectSeparator(const std::string& text);

struct CsvRecord {
  int line;  // where the record begins, from 1
  std::vector<std::string> fields;
};

// Reads the records of CSV text one at a time, so that a large file's
// fields are never all in memory: quoted fields may hold commas, quotes
// ("") and line breaks; lines end in LF or CRLF; blank lines are no
// records.
class CsvReader {
 public:
  CsvReader(const std::string& text, char separator) : text_(text), separator_(separator) {}
  // The next record into `record`, whose strings are filled again rather
  // than made anew; false at the end of the text, or (with `error`) on a
  // quote that is never closed or text after a closing quote.
  bool Next(CsvRecord* record, std::string* error);

 private:
  bool ReadField(std::string* field, std::string* error);

  const std::string& text_;
  char separator_;
  size_t at_ = 0;
  int line_ = 1;
};

// Parses a whole file, as CsvReader reads it.
bool ParseCsv(const std::string& text, std::vector<CsvRecord>* records, std::string* error,
              char separator = ',');

}  // namespace addrbook
