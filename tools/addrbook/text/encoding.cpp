#include "text/encoding.h"

#include <cstdint>
#include <cstring>

namespace addrbook {
namespace {

// Windows-1252 0x80-0x9F.  The five undefined bytes map to the C1 control
// characters of the same value, as Windows itself maps them, so every byte
// survives a round trip.
const char32_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Where the first byte beyond ASCII is, or the size: ASCII is the same
// text in every encoding, so most text needs no conversion.
size_t AsciiPrefix(const std::string& text) {
  size_t i = 0;
  for (uint64_t word; i + 8 <= text.size(); i += 8) {  // eight bytes at a time
    std::memcpy(&word, text.data() + i, 8);
    if (word & 0x8080808080808080ull) break;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

}  // namespace

void AppendUtf8(std::string* out, char32_t code) {
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

std::string FromUtf16(const std::u16string& units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t code = units[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      out += '\xFF';
      continue;
    }
    AppendUtf8(&out, code);
  }
  return out;
}

bool DecodeUtf8(const std::string& text, size_t* i, char32_t* code) {
  auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
  unsigned char lead = byte(*i);
  size_t length = lead < 0x80         ? 1
                  : (lead >> 5) == 6  ? 2
                  : (lead >> 4) == 14 ? 3
                  : (lead >> 3) == 30 ? 4
                                      : 0;
  if (length == 0 || *i + length > text.size()) return false;
  char32_t value = length == 1 ? lead : lead & (0xFF >> (length + 1));
  for (size_t k = 1; k < length; ++k) {
    if ((byte(*i + k) & 0xC0) != 0x80) return false;
    value = (value << 6) | (byte(*i + k) & 0x3F);
  }
  static const char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return false;
  }
  *i += length;
  *code = value;
  return true;
}

bool NextCharacter(const std::string& text, size_t* i, char32_t* code) {
  if (DecodeUtf8(text, i, code)) return true;
  *code = 0xFFFD;
  ++*i;
  return false;
}

bool IsUtf8(const std::string& text) {
  for (size_t i = AsciiPrefix(text); i < text.size();) {
    char32_t code;
    if (!DecodeUtf8(text, &i, &code)) return false;
  }
  return true;
}

Encoding FoundEncoding(const std::string& text) {
  bool multiByte = false;
  for (char c : text) multiByte = multiByte || static_cast<unsigned char>(c) >= 0x80;
  return multiByte && IsUtf8(text) ? Encoding::kUtf8 : Encoding::kCp1252;
}

std::optional<Encoding> ParseEncoding(const std::string& name) {
  if (name == "cp1252") return Encoding::kCp1252;
  if (name == "latin1") return Encoding::kLatin1;
  if (name == "utf8") return Encoding::kUtf8;
  return std::nullopt;
}

std::string ToUtf8(const std::string& text, Encoding encoding) {
  if (AsciiPrefix(text) == text.size()) return text;
  std::string out;
  if (encoding == Encoding::kUtf8) {
    for (size_t i = 0; i < text.size();) {
      char32_t code;
      NextCharacter(text, &i, &code);
      AppendUtf8(&out, code);
    }
    return out;
  }
  for (unsigned char c : text) {
    char32_t code = c;
    if (encoding == Encoding::kCp1252 && c >= 0x80 && c < 0xA0) code = kCp1252High[c - 0x80];
    AppendUtf8(&out, code);
  }
  return out;
}

std::optional<std::string> FromUtf8(const std::string& utf8, Encoding encoding,
                                    std::string* error) {
  if (AsciiPrefix(utf8) == utf8.size()) return utf8;
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    size_t start = i;
    char32_t code;
    if (!DecodeUtf8(utf8, &i, &code)) {
      *error = "the text is not valid UTF-8";
      return std::nullopt;
    }
    if (encoding == Encoding::kUtf8) {
      out.append(utf8, start, i - start);
      continue;
    }
    int byte = -1;
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) byte = static_cast<int>(code);
    if (code >= 0x80 && code < 0xA0 && encoding == Encoding::kLatin1) byte = static_cast<int>(code);
    if (encoding == Encoding::kCp1252) {
      for (int k = 0; k < 32 && byte < 0; ++k) {
        if (kCp1252High[k] == code) byte = 0x80 + k;
      }
    }
    if (byte < 0) {
      std::string character;
      AppendUtf8(&character, code);
      *error = "the character " + character + " cannot be stored in " +
               (encoding == Encoding::kCp1252 ? "cp1252" : "latin1");
      return std::nullopt;
    }
    out += static_cast<char>(byte);
  }
  return out;
}

namespace {

// Characters a terminal shows two columns wide (East Asian wide and full
// width forms).
bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
         (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

size_t Utf8Width(const std::string& utf8) {
  size_t width = 0;
  for (size_t i = 0; i < utf8.size();) {
    char32_t code;
    NextCharacter(utf8, &i, &code);
    width += IsWide(code) ? 2 : 1;
  }
  return width;
}

std::string Utf8Prefix(const std::string& utf8, size_t columns) {
  size_t i = 0, width = 0;
  while (i < utf8.size()) {
    char32_t code;
    size_t next = i;
    NextCharacter(utf8, &next, &code);
    size_t w = IsWide(code) ? 2 : 1;
    if (width + w > columns) break;
    width += w;
    i = next;
  }
  return utf8.substr(0, i);
}

}  // namespace addrbook
