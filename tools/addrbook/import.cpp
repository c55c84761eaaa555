#include "import.h"

#include <algorithm>
#include <cctype>

#include "csv.h"

namespace addrbook {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// The first column whose header is one of `names`, or -1.
int Column(const std::vector<std::string>& header, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    auto at = std::find(header.begin(), header.end(), name);
    if (at != header.end()) return static_cast<int>(at - header.begin());
  }
  return -1;
}

}  // namespace

bool ReadCsvRows(const std::string& input, std::vector<ImportRow>* rows, std::string* error) {
  std::string text = input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? input.substr(3) : input;
  std::vector<CsvRecord> records;
  if (!ParseCsv(text, &records, error, DetectSeparator(text))) return false;
  if (records.empty()) {
    *error = "no header line (name,address,comment)";
    return false;
  }
  std::vector<std::string> header;
  for (const std::string& column : records[0].fields) header.push_back(Lower(column));
  int name = Column(header, {"name", "display name"});
  int given = Column(header, {"first name", "given name"});
  int family = Column(header, {"last name", "family name"});
  int address = Column(header, {"address", "email", "e-mail", "email address", "e-mail address",
                                "primary email", "e-mail 1 - value"});
  int comment = Column(header, {"comment", "note", "notes"});
  if ((name < 0 && given < 0 && family < 0) || address < 0) {
    *error = "the header needs a name column and an address or e-mail column";
    return false;
  }
  for (size_t r = 1; r < records.size(); ++r) {
    const CsvRecord& record = records[r];
    auto field = [&](int at) {
      return at >= 0 && static_cast<size_t>(at) < record.fields.size()
                 ? Trimmed(WithoutFormulaGuard(record.fields[static_cast<size_t>(at)]))
                 : std::string();
    };
    ImportRow row{record.line, field(name), field(address), field(comment)};
    std::string first = field(given), last = field(family);
    if (!last.empty()) {
      std::replace(last.begin(), last.end(), ' ', '%');  // the whole family name is the surname
      row.name = first.empty() ? last : first + " " + last;
    } else if (row.name.empty()) {
      row.name = first;
    }
    rows->push_back(row);
  }
  return true;
}

}  // namespace addrbook
