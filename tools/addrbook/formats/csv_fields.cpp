#include "formats/csv_fields.h"

namespace addrbook {

namespace {

// A field that a spreadsheet would run as a formula, or one that only a
// guard's ' keeps from being taken for a guarded formula.
bool StartsLikeFormula(const std::string& text) {
  size_t at = text.find_first_not_of('\'');
  return at != std::string::npos && std::string("=+-@\t\r").find(text[at]) != std::string::npos;
}

}  // namespace

std::string CsvField(const std::string& text, bool guard) {
  std::string field;
  if (guard && StartsLikeFormula(text)) field = "'";
  field += text;
  // Quoted also when blanks lead or trail, which spreadsheets would drop.
  bool blankEnds = !field.empty() && (field.front() == ' ' || field.back() == ' ');
  if (field.find_first_of(",;\t\"\r\n") == std::string::npos && !blankEnds) return field;
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvLine(const std::vector<std::string>& fields, bool guard) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += CsvField(fields[i], guard);
  }
  return line + "\r\n";
}

std::string WithoutFormulaGuard(const std::string& field) {
  if (field.size() >= 2 && field[0] == '\'' && StartsLikeFormula(field.substr(1))) {
    return field.substr(1);
  }
  return field;
}

char DetectSeparator(const std::string& text) {
  size_t commas = 0, semicolons = 0, tabs = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\n') break;
    commas += c == ',';
    semicolons += c == ';';
    tabs += c == '\t';
  }
  if (semicolons > commas && semicolons >= tabs) return ';';
  if (tabs > commas && tabs > semicolons) return '\t';
  return ',';
}

bool ParseCsv(const std::string& text, std::vector<CsvRecord>* records, std::string* error,
              char separator) {
  int line = 1;
  size_t i = 0;
  while (i < text.size()) {
    CsvRecord record{line, {}};
    for (;;) {
      std::string field;
      if (i < text.size() && text[i] == '"') {
        int opened = line;
        for (++i;; ++i) {
          if (i >= text.size()) {
            *error = "line " + std::to_string(opened) + ": a quoted field is never closed";
            return false;
          }
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              field += '"';
              ++i;
              continue;
            }
            ++i;
            break;
          }
          if (text[i] == '\n') ++line;
          field += text[i];
        }
        if (i < text.size() && text[i] != separator && text[i] != '\n' && text[i] != '\r') {
          *error = "line " + std::to_string(line) + ": text after a closing quote";
          return false;
        }
      } else {
        while (i < text.size() && text[i] != separator && text[i] != '\n' && text[i] != '\r') {
          field += text[i++];
        }
      }
      record.fields.push_back(field);
      if (i < text.size() && text[i] == separator) {
        ++i;
        continue;
      }
      break;
    }
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n') ++i;
    ++line;
    bool blank = record.fields.size() == 1 && record.fields[0].empty();
    if (!blank) records->push_back(record);
  }
  return true;
}

}  // namespace addrbook
