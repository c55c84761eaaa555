#include "formats/import.h"

#include "formats/import_groups.h"

namespace addrbook {
namespace {

// UTF-16 bytes (after their byte order mark) as UTF-8; an odd last byte
// becomes the byte FF, which is not UTF-8, so that the row holding it is
// refused with its line.
std::string FromUtf16Bytes(const std::string& bytes, bool bigEndian) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned char a = static_cast<unsigned char>(bytes[i]);
    unsigned char b = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
  std::string text = FromUtf16(units);
  if (bytes.size() % 2) text += '\xFF';
  return text;
}

// Makes a file's bytes its text as UTF-8 without a byte order mark, in
// place.
void MakeUtf8Text(std::string* bytes, const ReadOptions& options) {
  if (bytes->compare(0, 2, "\xFF\xFE") == 0 || bytes->compare(0, 2, "\xFE\xFF") == 0) {
    *bytes = FromUtf16Bytes(bytes->substr(2), (*bytes)[0] == '\xFE');
  } else if (bytes->compare(0, 3, "\xEF\xBB\xBF") == 0) {
    bytes->erase(0, 3);
  } else if (options.input) {
    if (*options.input != Encoding::kUtf8) *bytes = ToUtf8(*bytes, *options.input);
  } else if (!IsUtf8(*bytes)) {
    // Not UTF-8: the 8-bit text of Windows programs (Outlook's CSV).
    *bytes = ToUtf8(*bytes, Encoding::kCp1252);
  }
}

}  // namespace

bool ReadImport(std::string bytes, const ReadOptions& options, ImportText* result,
                std::string* error) {
  std::string& text = bytes;
  MakeUtf8Text(&text, options);
  // Line ends of CR alone (old Macintosh files).
  if (text.find('\n') == std::string::npos) {
    for (char& c : text) {
      if (c == '\r') c = '\n';
    }
  }
  const Format& format = DetectedFormat(text);
  ReadResult read = format.read(text, options);
  result->unit = format.unit;
  result->rows = std::move(read.rows);
  AddLabelGroups(&result->rows);
  *error = read.error;
  return read.error.empty();
}

}  // namespace addrbook
