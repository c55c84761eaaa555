// The addrbook tool's terminal output on any book text: escaping and the
// table's layout.  Escaped text holds no C0 or C1 control, DEL or
// bidirectional control; a table fits the terminal's width.  And its
// exports: the entries a book could hold of the text, written by every
// format and read back, are the same but for what the export tells of.
#include <cstdint>
#include <string>
#include <vector>

#include "format_round_trip.h"
#include "fuzz_support.h"
#include "text/encoding.h"
#include "text/escaping.h"
#include "text/table.h"

using namespace addrbook;

namespace {

void CheckSafe(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    unsigned char third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0;
    if (c < 0x20 || c == 0x7F) ovel_fuzz::Fail("a C0 control or DEL passed");
    if (c == 0xC2 && next >= 0x80 && next <= 0x9F) ovel_fuzz::Fail("a C1 control passed");
    if (c == 0xE2 && ((next == 0x80 && third >= 0xAA && third <= 0xAE) ||
                      (next == 0x81 && third >= 0xA6 && third <= 0xA9))) {
      ovel_fuzz::Fail("a bidirectional control passed");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int columns = 20 + data[0] % 180;
  Encoding encoding = data[1] % 3 == 0   ? Encoding::kUtf8
                      : data[1] % 3 == 1 ? Encoding::kCp1252
                                         : Encoding::kLatin1;
  // Entries of three fields each, split at NUL bytes.
  std::vector<std::string> fields(1);
  for (size_t i = 2; i < size; ++i) {
    if (data[i] == 0) {
      fields.emplace_back();
    } else {
      fields.back() += static_cast<char>(data[i]);
    }
  }
  std::vector<Entry> entries;
  for (size_t i = 0; i + 2 < fields.size() + 2; i += 3) {
    auto field = [&](size_t k) { return k < fields.size() ? fields[k] : std::string(); };
    std::string name = field(i);
    int offset = static_cast<int>(name.size() / 2);
    entries.push_back(
        {static_cast<int>(entries.size()), i % 2 == 1, offset, name, field(i + 1), field(i + 2)});
  }
  for (const std::string& f : fields) CheckSafe(SafeText(f));
  // The entries a book could hold of these fields (a name with a word, an
  // address, text of the book's encoding) through every format and back.
  std::vector<Entry> book;
  for (const Entry& e : entries) {
    bool text =
        encoding != Encoding::kUtf8 || (IsUtf8(e.name) && IsUtf8(e.address) && IsUtf8(e.comment));
    if (text && e.name.size() <= OVEL_MAX_NAME && !e.address.empty() &&
        e.address.size() <= OVEL_MAX_TEXT && e.comment.size() <= OVEL_MAX_TEXT &&
        e.name.find_first_not_of(" %") != std::string::npos) {
      book.push_back(
          ovel_fuzz::Listed(static_cast<int>(book.size()), e.name, e.address, e.comment));
    }
  }
  ovel_fuzz::CheckFormatRoundTrips(book, encoding);
  for (bool utf8 : {true, false}) {
    OutputOptions options;
    options.encoding = encoding;
    options.utf8 = utf8;
    options.display = Encoding::kLatin1;
    options.columns = columns;
    for (const std::string& f : fields) {
      std::string shown = ShownText(f, options);
      if (utf8) CheckSafe(shown);
    }
    std::string table = TableText(entries, options);
    for (size_t at = 0; at < table.size();) {
      size_t end = table.find('\n', at);
      std::string line = table.substr(at, end - at);
      if (utf8) CheckSafe(line);
      if ((utf8 ? Utf8Width(line) : line.size()) > static_cast<size_t>(columns)) {
        ovel_fuzz::Fail("a table line is wider than the terminal");
      }
      at = end + 1;
    }
  }
  return 0;
}
