// CSV by RFC 4180: writing fields safely, reading records.  The CSV
// format (csv.cpp) reads and writes through these.
#pragma once

#include <string>
#include <vector>

namespace addrbook {

// A field quoted when it needs to be; unless `guard` is false, a field that
// a spreadsheet would run as a formula (leading =, +, -, @, tab or carriage
// return) gets a leading '.
std::string CsvField(const std::string& text, bool guard = true);

// Fields joined by commas, ended by CRLF.
std::string CsvLine(const std::vector<std::string>& fields, bool guard = true);

// A field as it was before CsvField guarded it against formulas.
std::string WithoutFormulaGuard(const std::string& field);

// The separator of a CSV file: ",", ";" or tab, whichever its first line
// holds most of outside quotes.
char DetectSeparator(const std::string& text);

struct CsvRecord {
  int line;  // where the record begins, from 1
  std::vector<std::string> fields;
};

// Parses a whole file: quoted fields may hold commas, quotes ("") and line
// breaks; lines end in LF or CRLF.  False (with `error`) on a quote that is
// never closed or text after a closing quote.
bool ParseCsv(const std::string& text, std::vector<CsvRecord>* records, std::string* error,
              char separator = ',');

}  // namespace addrbook
