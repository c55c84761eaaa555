// The addrbook tool's import front end on any bytes: encodings (UTF-16,
// byte order marks, Windows-1252), shape detection, CSV with every
// separator and header, vCard 2.1 to 4.0, JSON, LDIF and mutt aliases.
// No input may crash a reader; every row lies within the input; what
// reaches the add call fits the book and is what the file held; a "%"
// in a stored name only joins the words of the surname; the rows a CSV
// export of the accepted entries gives back are the same entries.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/entry_rules.h"
#include "formats/import.h"
#include "fuzz_support.h"
#include "text/encoding.h"

using namespace addrbook;

namespace {

// The entry the book would show for a row: "%" shows as a space, and the
// surname begins at the word the first "%" joins (else the last word).
Entry Shown(const ImportRow& row, int index) {
  std::string name = row.name;
  size_t join = name.find('%');
  size_t space = name.rfind(' ', join == std::string::npos ? std::string::npos : join);
  std::replace(name.begin(), name.end(), '%', ' ');
  int offset = space == std::string::npos ? 0 : static_cast<int>(space + 1);
  return {index, false, offset, name, row.address, row.comment};
}

// What a book can hold and the tool's CSV carries exactly: valid UTF-8
// without NUL or CR.
bool Plain(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    char32_t code;
    if (!DecodeUtf8(text, &i, &code) || code == 0 || code == '\r') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  size_t lines = 1;
  for (char c : bytes) lines += c == '\n' || c == '\r';
  ReadOptions options;
  ImportText text;
  std::string error;
  if (!ReadImport(bytes, options, &text, &error)) return 0;
  std::vector<Entry> entries;
  for (const ImportRow& row : text.rows) {
    if (row.line < 1 || static_cast<size_t>(row.line) > lines + 1) {
      ovel_fuzz::Fail("a row's line lies outside the input");
    }
    if (row.group) continue;
    // What reaches the add call: within the book's limits, in its
    // encoding, without NUL; converted back, the row as it was.
    for (Encoding encoding : {Encoding::kCp1252, Encoding::kLatin1, Encoding::kUtf8}) {
      std::string why;
      std::optional<BookEntry> entry = BookEntryOf(row, encoding, 0, &why);
      if (!entry) continue;
      for (const std::string* field : {&entry->name, &entry->address, &entry->comment}) {
        if (field->find('\0') != std::string::npos) ovel_fuzz::Fail("a NUL reaches the book");
      }
      if (entry->name.size() > kMaxName || entry->address.size() > kMaxText ||
          entry->comment.size() > kMaxText) {
        ovel_fuzz::Fail("a field beyond the book's limits");
      }
      if (ToUtf8(entry->name, encoding) != row.name ||
          ToUtf8(entry->address, encoding) != row.address ||
          ToUtf8(entry->comment, encoding) != row.comment) {
        ovel_fuzz::Fail("a field is not what the file held");
      }
    }
    if (!row.refused.empty()) continue;
    size_t join = row.name.find('%');
    if (join != std::string::npos && row.name.find(' ', join) != std::string::npos) {
      ovel_fuzz::Fail("a % in a stored name is not within the surname");
    }
    if (row.name.empty() || row.name.front() == '%' || row.name.back() == '%' ||
        row.name.find("%%") != std::string::npos || row.name.find(' ') == 0) {
      continue;  // a name the book would refuse or show otherwise
    }
    if (Plain(row.name) && Plain(row.address) && Plain(row.comment) && !row.address.empty()) {
      entries.push_back(Shown(row, static_cast<int>(entries.size())));
    }
  }
  // The tool's own CSV of these entries reads back to the same entries.
  std::vector<GroupMembers> noGroups;
  std::string csv = FormatNamed("csv")->write({entries, noGroups}, {Encoding::kUtf8, true});
  ImportText again;
  if (!ReadImport(csv, options, &again, &error)) ovel_fuzz::Fail("the tool's CSV is refused");
  if (again.rows.size() != entries.size()) ovel_fuzz::Fail("the CSV round trip lost rows");
  for (size_t i = 0; i < entries.size(); ++i) {
    const ImportRow& row = again.rows[i];
    Entry back = Shown(row, static_cast<int>(i));
    if (!row.refused.empty() || back.name != entries[i].name ||
        back.surnameOffset != entries[i].surnameOffset || row.address != entries[i].address ||
        row.comment != entries[i].comment) {
      ovel_fuzz::Fail("the CSV round trip changed an entry");
    }
  }
  return 0;
}
