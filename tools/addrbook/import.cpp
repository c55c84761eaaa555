// The import's front end: the file's encoding, its line ends and its shape.
#include "import.h"

#include "import_support.h"
#include "ldif.h"
#include "mutt_alias.h"

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

bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    char32_t code;
    if (!DecodeUtf8(text, &i, &code)) return false;
  }
  return true;
}

}  // namespace

bool ReadImport(const std::string& bytes, const ReadOptions& options, ImportText* result,
                std::string* error) {
  std::string text;
  if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
    text = FromUtf16Bytes(bytes.substr(2), bytes[0] == '\xFE');
  } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = bytes.substr(3);
  } else if (options.input) {
    text = *options.input == Encoding::kUtf8 ? bytes : ToUtf8(bytes, *options.input);
  } else {
    // Not UTF-8: the 8-bit text of Windows programs (Outlook's CSV).
    text = IsUtf8(bytes) ? bytes : ToUtf8(bytes, Encoding::kCp1252);
  }
  // Line ends of CR alone (old Macintosh files).
  if (text.find('\n') == std::string::npos) {
    for (char& c : text) {
      if (c == '\r') c = '\n';
    }
  }
  size_t first = text.find_first_not_of(" \t\r\n");
  result->rows.clear();
  if (first != std::string::npos && (text[first] == '[' || text[first] == '{')) {
    result->unit = "entry";
    return ReadJsonRows(text, &result->rows, error);
  }
  if (IsVcardText(text)) {
    result->unit = "card";
    ReadVcardRows(text, &result->rows);
    return true;
  }
  if (IsLdifText(text)) {
    result->unit = "record";
    ReadLdifRows(text, &result->rows);
    return true;
  }
  if (IsMuttAliasText(text)) {
    result->unit = "alias";
    ReadMuttAliases(text, &result->rows);
    return true;
  }
  result->unit = "row";
  return ReadCsvRows(text, options, &result->rows, error);
}

}  // namespace addrbook
