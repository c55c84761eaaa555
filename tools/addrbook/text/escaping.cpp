#include "text/escaping.h"

#include <cstdio>
#include <optional>

namespace addrbook {
namespace {

// `code` written as `pattern` ("\\x%02x", "\\u%04x") makes it.
std::string Escaped(const char* pattern, unsigned code) {
  char escaped[16];
  std::snprintf(escaped, sizeof escaped, pattern, code);
  return escaped;
}

}  // namespace

std::string SafeText(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    size_t start = i;
    char32_t code;
    if (!NextCharacter(utf8, &i, &code)) {
      out += Escaped("\\x%02x", static_cast<unsigned char>(utf8[start]));
    } else if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
      out += Escaped("\\x%02x", static_cast<unsigned>(code));
    } else if ((code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069)) {
      out += Escaped("\\u%04x", static_cast<unsigned>(code));
    } else {
      out.append(utf8, start, i - start);
    }
  }
  return out;
}

std::string ShownUtf8(const std::string& utf8, const OutputOptions& options) {
  std::string safe = SafeText(utf8);
  if (options.utf8) return safe;
  std::string out, error;
  for (size_t i = 0; i < safe.size();) {
    size_t start = i;
    char32_t code;
    NextCharacter(safe, &i, &code);
    std::optional<std::string> shown =
        FromUtf8(safe.substr(start, i - start), options.display, &error);
    out += shown ? *shown : Escaped("\\u%04x", static_cast<unsigned>(code));
  }
  return out;
}

std::string ShownText(const std::string& text, const OutputOptions& options) {
  if (options.utf8) return SafeText(ToUtf8(text, options.encoding));
  if (options.display != options.encoding) {
    // Through UTF-8 into the output's own 8-bit encoding.
    return ShownUtf8(ToUtf8(text, options.encoding), options);
  }
  // The output's encoding is the book's: its bytes as they are, controls
  // escaped (C0 and DEL; C1 where Latin-1 has them).
  std::string out;
  for (char byte : text) {
    unsigned char c = static_cast<unsigned char>(byte);
    bool c1 = options.encoding == Encoding::kLatin1 && c >= 0x80 && c <= 0x9F;
    if (c < 0x20 || c == 0x7F || c1) {
      out += Escaped("\\x%02x", c);
    } else {
      out += byte;
    }
  }
  return out;
}

}  // namespace addrbook
