// CSV to import: the tool's own (name, address, comment, surname, group),
// the exports of Google Contacts, Outlook and Thunderbird in their
// languages, a file without a header, or any shape that --columns names.
#include <cstdlib>

#include "csv.h"
#include "header_names.h"
#include "import.h"
#include "import_support.h"
#include "vcard.h"

namespace addrbook {
namespace {

// The first of the values that Google Contacts puts in one cell
// ("home@x ::: work@x"): the first is the primary one.
std::string FirstValue(const std::string& cell) {
  return Trimmed(cell.substr(0, cell.find(":::")));
}

std::string ColumnList(const std::vector<std::string>& header) {
  std::string list;
  for (size_t i = 0; i < header.size() && i < 40; ++i) {
    list += (i ? ", " : "") + std::to_string(i + 1) + " \"" + header[i] + "\"";
  }
  return list;
}

// The columns --columns names ("name=COL,address=COL,comment=COL", each
// COL a header name or a number from 1); false (with `error`) when it
// names a field or a column that is not there.
bool NamedColumns(const std::string& named, const std::vector<std::string>& header,
                  std::vector<int>* columns, bool* numbered, std::string* error) {
  const struct {
    const char* key;
    Field field;
  } keys[] = {{"name", Field::kName},       {"given", Field::kGiven},
              {"middle", Field::kMiddle},   {"family", Field::kFamily},
              {"surname", Field::kSurname}, {"address", Field::kAddress},
              {"phone", Field::kPhone},     {"comment", Field::kComment}};
  columns->assign(kFieldCount, -1);
  *numbered = true;
  size_t at = 0;
  while (at <= named.size()) {
    size_t end = std::min(named.find(',', at), named.size());
    std::string item = named.substr(at, end - at);
    at = end + 1;
    size_t equals = item.find('=');
    std::string key = Lower(Trimmed(item.substr(0, equals)));
    std::string column = equals == std::string::npos ? "" : Trimmed(item.substr(equals + 1));
    int field = -1;
    for (const auto& k : keys) {
      if (key == k.key) field = static_cast<int>(k.field);
    }
    if (field < 0 || column.empty()) {
      *error = "--columns: \"" + item +
               "\" is not FIELD=COLUMN (fields: name, given, middle, family, surname, address,"
               " phone, comment)";
      return false;
    }
    int index = -1;
    if (column.find_first_not_of("0123456789") == std::string::npos && column.size() < 6) {
      index = std::atoi(column.c_str()) - 1;
    } else {
      *numbered = false;
      for (size_t i = 0; i < header.size(); ++i) {
        if (Lower(header[i]) == Lower(column)) index = static_cast<int>(i);
      }
    }
    if (index < 0 || static_cast<size_t>(index) >= header.size()) {
      *error = "--columns: no column " + column + " (columns found: " + ColumnList(header) + ")";
      return false;
    }
    (*columns)[static_cast<size_t>(field)] = index;
  }
  return true;
}

bool IsAddress(const std::string& text) {
  return IsEmailAddress(Trimmed(text)) || IsPhoneNumber(Trimmed(text));
}

}  // namespace

bool ReadCsvRows(const std::string& text, const ReadOptions& options, std::vector<ImportRow>* rows,
                 std::string* error) {
  std::vector<CsvRecord> records;
  if (!ParseCsv(text, &records, error, DetectSeparator(text))) return false;
  if (records.empty()) {
    *error = "no header line (name,address,comment)";
    return false;
  }
  const std::vector<std::string>& first = records[0].fields;
  std::vector<std::string> header;
  for (const std::string& column : first) header.push_back(Lower(Trimmed(column)));
  std::vector<int> column = HeaderColumns(header);
  auto at = [&](Field f) { return column[static_cast<size_t>(f)]; };
  bool headerless = false;
  if (!options.columns.empty()) {
    bool numbered = false;
    if (!NamedColumns(options.columns, first, &column, &numbered, error)) return false;
    // Columns by number: the first line is a contact when its address is
    // one.
    int address = at(Field::kAddress) >= 0 ? at(Field::kAddress) : at(Field::kPhone);
    headerless = numbered && address >= 0 && IsAddress(first[static_cast<size_t>(address)]);
  } else if (at(Field::kName) < 0 && at(Field::kGiven) < 0 && at(Field::kFamily) < 0 &&
             at(Field::kAddress) < 0 && at(Field::kPhone) < 0 && first.size() >= 2 &&
             IsAddress(first[1])) {
    // No header, but rows of name, address and comment.
    headerless = true;
    column[static_cast<size_t>(Field::kName)] = 0;
    column[static_cast<size_t>(Field::kAddress)] = 1;
    column[static_cast<size_t>(Field::kComment)] = 2;
  }
  bool named = at(Field::kName) >= 0 || at(Field::kGiven) >= 0 || at(Field::kFamily) >= 0;
  if (!named || (at(Field::kAddress) < 0 && at(Field::kPhone) < 0)) {
    *error = std::string("no column for ") + (named ? "an address" : "a name") +
             " (columns found: " + ColumnList(first) +
             "); name them with --columns name=COLUMN,address=COLUMN,comment=COLUMN";
    return false;
  }
  // The tool's own shape (list and export write a group column) is read
  // exactly; other programs' fields, and files written by hand, are
  // trimmed.
  bool own = options.columns.empty() && !headerless && at(Field::kName) >= 0 &&
             header[static_cast<size_t>(at(Field::kName))] == "name" && at(Field::kAddress) >= 0 &&
             header[static_cast<size_t>(at(Field::kAddress))] == "address" &&
             at(Field::kGroup) >= 0;
  for (size_t r = headerless ? 0 : 1; r < records.size(); ++r) {
    const CsvRecord& record = records[r];
    auto field = [&](Field f) {
      int c = at(f);
      if (c < 0 || static_cast<size_t>(c) >= record.fields.size()) return std::string();
      std::string value = record.fields[static_cast<size_t>(c)];
      if (options.formulaGuard) value = WithoutFormulaGuard(value);
      return own ? value : Trimmed(value);
    };
    ImportRow row;
    row.line = record.line;
    row.address = own ? field(Field::kAddress) : FirstValue(field(Field::kAddress));
    if (row.address.empty()) row.address = FirstValue(field(Field::kPhone));
    row.comment = field(Field::kComment);
    row.group = field(Field::kGroup) == "1";
    if (at(Field::kGiven) < 0 && at(Field::kFamily) < 0) {
      SetShownName(field(Field::kName), field(Field::kSurname), &row);
    } else {
      SetName({field(Field::kPrefix), field(Field::kGiven), field(Field::kMiddle),
               field(Field::kFamily), field(Field::kSuffix), field(Field::kName)},
              &row);
    }
    rows->push_back(row);
  }
  return true;
}

}  // namespace addrbook
