#include "formats/csv_fields.h"

#include <algorithm>

namespace addrbook {

namespace {

// A field that a spreadsheet would run as a formula, or one that only a
// guard's ' keeps from being taken for a guarded formula.
bool StartsLikeFormula(std::string_view text) {
  size_t at = text.find_first_not_of('\'');
  return at != std::string_view::npos &&
         std::string_view("=+-@\t\r").find(text[at]) != std::string_view::npos;
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

std::string_view WithoutFormulaGuard(std::string_view field) {
  if (field.size() >= 2 && field[0] == '\'' && StartsLikeFormula(field.substr(1))) {
    field.remove_prefix(1);
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

bool CsvReader::ReadField(std::string* field, std::string* error) {
  field->clear();
  auto ends = [&](size_t i) {
    return i >= text_.size() || text_[i] == separator_ || text_[i] == '\n' || text_[i] == '\r';
  };
  if (at_ >= text_.size() || text_[at_] != '"') {
    size_t start = at_;
    while (!ends(at_)) ++at_;
    field->assign(text_, start, at_ - start);
    return true;
  }
  int opened = line_;
  for (++at_;;) {
    size_t quote = text_.find('"', at_);
    if (quote == std::string::npos) {
      *error = "line " + std::to_string(opened) + ": a quoted field is never closed";
      return false;
    }
    line_ += static_cast<int>(std::count(text_.begin() + static_cast<long>(at_),
                                         text_.begin() + static_cast<long>(quote), '\n'));
    field->append(text_, at_, quote - at_);
    at_ = quote + 1;
    if (at_ < text_.size() && text_[at_] == '"') {  // "" is a quote
      *field += '"';
      ++at_;
      continue;
    }
    break;
  }
  if (!ends(at_)) {
    *error = "line " + std::to_string(line_) + ": text after a closing quote";
    return false;
  }
  return true;
}

bool CsvReader::Next(CsvRecord* record, std::string* error) {
  while (at_ < text_.size()) {
    record->line = line_;
    size_t count = 0;
    for (;;) {
      if (record->fields.size() <= count) record->fields.emplace_back();
      if (!ReadField(&record->fields[count++], error)) return false;
      if (at_ < text_.size() && text_[at_] == separator_) {
        ++at_;
        continue;
      }
      break;
    }
    record->fields.resize(count);
    if (at_ < text_.size() && text_[at_] == '\r') ++at_;
    if (at_ < text_.size() && text_[at_] == '\n') ++at_;
    ++line_;
    if (count > 1 || !record->fields[0].empty()) return true;
  }
  return false;
}

bool ParseCsv(const std::string& text, std::vector<CsvRecord>* records, std::string* error,
              char separator) {
  CsvReader reader(text, separator);
  CsvRecord record;
  std::string why;
  while (reader.Next(&record, &why)) records->push_back(record);
  if (why.empty()) return true;
  *error = why;
  return false;
}

}  // namespace addrbook
