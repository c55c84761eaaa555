// The addrbook tool's import front end on any bytes: encodings (UTF-16,
// byte order marks, Windows-1252), shape detection, CSV with every
// separator and header (and Excel's sep= line), vCard 2.1 to 4.0, JSON,
// LDIF, mutt aliases and abook's file.  No input may crash a reader;
// every row lies within the input; what reaches the add call fits the
// book and is what the file held; a "%" in a stored name only joins the
// words of the surname; every format's export of the accepted entries
// gives back the same entries, but for those the export tells of.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format_round_trip.h"
#include "formats/entry_rules.h"
#include "formats/import.h"
#include "fuzz_support.h"
#include "text/encoding.h"

using namespace addrbook;

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
    // A join is within the surname: no word begins after a space that
    // follows it (blanks may end the name).
    size_t join = row.name.find('%');
    size_t space = join == std::string::npos ? join : row.name.find(' ', join);
    if (space != std::string::npos && row.name.find_first_not_of(' ', space) != std::string::npos) {
      ovel_fuzz::Fail("a % in a stored name is not within the surname");
    }
    // Names of blanks and joins alone the book would show otherwise.
    if (row.name.find_first_not_of(" %") == std::string::npos) continue;
    std::string why;
    if (auto entry = BookEntryOf(row, Encoding::kCp1252, 0, &why)) {
      int index = static_cast<int>(entries.size());
      entries.push_back(ovel_fuzz::Listed(index, entry->name, entry->address, entry->comment));
    }
  }
  // Every format's export of the accepted entries reads back to them, but
  // for what the export tells of.
  ovel_fuzz::CheckFormatRoundTrips(entries, Encoding::kCp1252);
  return 0;
}
