// CSV to import: the tool's own (name, address, comment, surname, group),
// the exports of Google Contacts, Outlook and Thunderbird in their
// languages, a file without a header, or any shape that --columns names.
#include <algorithm>
#include <cstdlib>
#include <functional>

#include "formats/case_folding.h"
#include "formats/csv_fields.h"
#include "formats/format.h"
#include "formats/format_support.h"
#include "formats/header_names.h"
#include "formats/import_groups.h"

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
  } keys[] = {{"name", Field::kName},
              {"given", Field::kGiven},
              {"middle", Field::kMiddle},
              {"family", Field::kFamily},
              {"surname", Field::kSurname},
              {"address", Field::kAddress},
              {"phone", Field::kPhone},
              {"comment", Field::kComment},
              {"organisation", Field::kOrganisation}};
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
               " phone, comment, organisation)";
      return false;
    }
    int index = -1;
    if (column.find_first_not_of("0123456789") == std::string::npos && column.size() < 6) {
      index = std::atoi(column.c_str()) - 1;
    } else {
      *numbered = false;
      for (size_t i = 0; i < header.size(); ++i) {
        if (FoldCase(Trimmed(header[i])) == FoldCase(column)) index = static_cast<int>(i);
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

// Where a file's fields are: each field's column, whether the first
// record is a contact rather than a header, whether the file is the
// tool's own CSV.
struct Layout {
  std::vector<int> column;
  std::vector<PhoneColumn> phones;  // when --columns names no phone column
  bool headerless = false;
  bool own = false;
  int at(Field f) const { return column[static_cast<size_t>(f)]; }
};

// The layout the header (or --columns) gives; false (with `error`) when it
// names no column for a name or an address.
bool FindLayout(const std::vector<std::string>& first, const ReadOptions& options, Layout* layout,
                std::string* error) {
  std::vector<std::string> header;
  for (const std::string& column : first) header.push_back(FoldCase(Trimmed(column)));
  layout->column = HeaderColumns(header);
  layout->phones = PhoneColumns(header);
  auto at = [&](Field f) { return layout->at(f); };
  bool known =
      std::any_of(layout->column.begin(), layout->column.end(), [](int c) { return c >= 0; }) ||
      !layout->phones.empty();
  if (!options.columns.empty()) {
    bool numbered = false;
    if (!NamedColumns(options.columns, first, &layout->column, &numbered, error)) return false;
    layout->phones.clear();
    // Columns by number: the first line is a header only when it holds a
    // column name this tool knows; else it is the first contact.
    layout->headerless = numbered && !known;
  } else if (!known && first.size() >= 2 && IsAddress(first[1])) {
    // No header, but rows of name, address and comment.
    layout->headerless = true;
    layout->column[static_cast<size_t>(Field::kName)] = 0;
    layout->column[static_cast<size_t>(Field::kAddress)] = 1;
    layout->column[static_cast<size_t>(Field::kComment)] = 2;
  }
  bool named = at(Field::kName) >= 0 || at(Field::kGiven) >= 0 || at(Field::kFamily) >= 0 ||
               at(Field::kOrganisation) >= 0;
  bool addressed = at(Field::kAddress) >= 0 || at(Field::kPhone) >= 0 || !layout->phones.empty();
  if (!named || !addressed) {
    *error = std::string("no column for ") + (named ? "an address" : "a name") +
             " (columns found: " + ColumnList(first) +
             "); name them with --columns name=COLUMN,address=COLUMN,comment=COLUMN";
    return false;
  }
  // The tool's own shape (list and export write a group column) is read
  // exactly; other programs' fields, and files written by hand, are
  // trimmed.
  layout->own =
      options.columns.empty() && !layout->headerless && at(Field::kName) >= 0 &&
      header[static_cast<size_t>(at(Field::kName))] == "name" && at(Field::kAddress) >= 0 &&
      header[static_cast<size_t>(at(Field::kAddress))] == "address" && at(Field::kGroup) >= 0;
  return true;
}

// The phone of a row without an e-mail address: the first of the most
// preferred kind (preferred, mobile, business, home, other).
std::string FirstPhone(const std::vector<PhoneColumn>& phones,
                       const std::function<std::string(int)>& cell) {
  std::string phone;
  PhoneKind best = PhoneKind::kOther;
  for (const PhoneColumn& p : phones) {
    std::string number = FirstValue(cell(p.value));
    PhoneKind kind = p.label >= 0 ? LabelKind(cell(p.label)) : p.kind;
    if (!number.empty() && (phone.empty() || kind < best)) {
      phone = number;
      best = kind;
    }
  }
  return phone;
}

ImportRow RowOf(const CsvRecord& record, const Layout& layout, const ReadOptions& options) {
  auto cell = [&](int c) {
    if (c < 0 || static_cast<size_t>(c) >= record.fields.size()) return std::string();
    std::string_view value = record.fields[static_cast<size_t>(c)];
    if (options.formulaGuard) value = WithoutFormulaGuard(value);
    return std::string(layout.own ? value : TrimmedView(value));
  };
  auto field = [&](Field f) { return cell(layout.at(f)); };
  ImportRow row;
  row.line = record.line;
  row.address = layout.own ? field(Field::kAddress) : FirstValue(field(Field::kAddress));
  if (row.address.empty()) row.address = FirstValue(field(Field::kPhone));
  if (row.address.empty()) row.address = FirstPhone(layout.phones, cell);
  row.comment = field(Field::kComment);
  row.group = field(Field::kGroup) == "1";
  if (layout.at(Field::kGiven) < 0 && layout.at(Field::kFamily) < 0 &&
      layout.at(Field::kOrganisation) < 0) {
    SetShownName(field(Field::kName), field(Field::kSurname), &row);
  } else {
    NameParts parts;
    parts.prefix = field(Field::kPrefix);
    parts.given = field(Field::kGiven);
    parts.middle = field(Field::kMiddle);
    parts.family = field(Field::kFamily);
    parts.suffix = field(Field::kSuffix);
    parts.formatted = field(Field::kName);
    parts.organisation = field(Field::kOrganisation);
    SetName(std::move(parts), &row);
  }
  return row;
}

ReadResult ReadCsv(const std::string& text, const ReadOptions& options) {
  ReadResult result;
  // Excel's "sep=;" first line names the separator.
  bool sepLine = FoldCase(text.substr(0, 4)) == "sep=" && text.size() > 4 && text[4] != '\n' &&
                 text[4] != '\r';
  CsvReader reader(text, sepLine ? text[4] : DetectSeparator(text));
  CsvRecord record;
  bool first = reader.Next(&record, &result.error);
  if (first && sepLine && record.line == 1) first = reader.Next(&record, &result.error);
  if (!result.error.empty()) return result;
  if (!first) {
    result.error = "no header line (name,address,comment)";
    return result;
  }
  Layout layout;
  if (!FindLayout(record.fields, options, &layout, &result.error)) return result;
  CsvGroupColumns groups;
  if (layout.headerless) {
    result.rows.push_back(RowOf(record, layout, options));
  } else {
    groups = FindCsvGroupColumns(record.fields);
  }
  // A row a line, mostly: room made once, so that rows are not moved.
  result.rows.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  while (reader.Next(&record, &result.error)) {
    result.rows.push_back(RowOf(record, layout, options));
    TakeCsvGroupCells(groups, record.fields, &result.rows.back());
  }
  if (!result.error.empty()) result.rows.clear();
  return result;
}

// The whole book; a group's members as the indexes of the entries.
std::string WriteCsv(const WholeBook& book, const WriteOptions& options) {
  std::string out = CsvLine({"index", "name", "address", "comment", "group", "members", "surname"});
  for (const Entry& e : book.entries) {
    std::string members;
    for (int m : book.MembersOf(e)) {
      if (!members.empty()) members += ' ';
      members += std::to_string(m);
    }
    auto utf8 = [&](const std::string& text) { return ToUtf8(text, options.encoding); };
    out += CsvLine({std::to_string(e.index), utf8(e.name), e.group ? "" : utf8(e.address),
                    utf8(e.comment), e.group ? "1" : "0", members, utf8(Surname(e))},
                   options.formulaGuard);
  }
  return out;
}

// A listing: the surname too, so that an import gives back the name's
// split.
std::string ListCsv(const std::vector<Entry>& entries, const OutputOptions& options) {
  std::vector<std::string> header = {"name", "address", "comment", "group", "surname"};
  if (options.showIndex) header.insert(header.begin(), "index");
  std::string out = CsvLine(header);
  for (const Entry& e : entries) {
    auto utf8 = [&](const std::string& text) { return ToUtf8(text, options.encoding); };
    std::vector<std::string> fields = {utf8(e.name), e.group ? "" : utf8(e.address),
                                       utf8(e.comment), e.group ? "1" : "0", utf8(Surname(e))};
    if (options.showIndex) fields.insert(fields.begin(), std::to_string(e.index));
    out += CsvLine(fields);
  }
  return out;
}

}  // namespace

// The row of the table of formats (formats.cpp).
extern const Format kCsvFormat = {"csv", "row", nullptr, ReadCsv, WriteCsv, ListCsv};

}  // namespace addrbook
