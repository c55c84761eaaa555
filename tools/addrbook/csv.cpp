#include "csv.h"

namespace addrbook {

std::string CsvField(const std::string& text) {
  std::string field;
  if (!text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos) field = "'";
  field += text;
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += CsvField(fields[i]);
  }
  return line + "\r\n";
}

bool ParseCsv(const std::string& text, std::vector<CsvRecord>* records, std::string* error) {
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
        if (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
          *error = "line " + std::to_string(line) + ": text after a closing quote";
          return false;
        }
      } else {
        while (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
          field += text[i++];
        }
      }
      record.fields.push_back(field);
      if (i < text.size() && text[i] == ',') {
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
