// The import's front end: the file's encoding, its line ends and its shape.
#include "import.h"

#include "import_support.h"
#include "ldif.h"
#include "mutt_alias.h"

namespace addrbook {
namespace {

void AppendUtf8(char32_t code, std::string* out) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code >> 18));
    *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16 text (after its byte order mark) as UTF-8; a lone surrogate or
// an odd last byte becomes the byte FF, which is not UTF-8, so that the
// row holding it is refused with its line.
std::string FromUtf16(const std::string& bytes, bool bigEndian) {
  std::string out;
  auto unit = [&](size_t i) -> char32_t {
    unsigned char a = static_cast<unsigned char>(bytes[i]);
    unsigned char b = static_cast<unsigned char>(bytes[i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    char32_t code = unit(i);
    if (code >= 0xD800 && code <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
        unit(i + 2) <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      out += '\xFF';
      continue;
    }
    AppendUtf8(code, &out);
  }
  if (i < bytes.size()) out += '\xFF';
  return out;
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
    text = FromUtf16(bytes.substr(2), bytes[0] == '\xFE');
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
