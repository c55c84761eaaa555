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
    } else if ((code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) ||
               code == 0x200E || code == 0x200F || code == 0x061C || code == 0x2028 ||
               code == 0x2029) {
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

std::string LineBreakMark(const OutputOptions& options) {
  if (options.utf8) return "\xE2\x86\xB5";
  return "\xB6";
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += text[i];
    }
  }
  return lines;
}

std::string ShownText(const std::string& text, const OutputOptions& options) {
  if (options.markLineBreaks && text.find_first_of("\r\n") != std::string::npos) {
    OutputOptions line = options;
    line.markLineBreaks = false;
    std::vector<std::string> lines = TextLines(text);
    std::string out = ShownText(lines[0], line);
    for (size_t i = 1; i < lines.size(); ++i)
      out += LineBreakMark(options) + ShownText(lines[i], line);
    return out;
  }
  // A UTF-8 book's bytes that are not UTF-8 are escaped as they are.
  std::string utf8 = options.encoding == Encoding::kUtf8 ? text : ToUtf8(text, options.encoding);
  if (options.utf8) return SafeText(utf8);
  if (options.display != options.encoding) {
    // Through UTF-8 into the output's own 8-bit encoding.
    return ShownUtf8(utf8, options);
  }
  // The output's encoding is the book's: its bytes as they are, controls
  // escaped (C0 and DEL; C1 where Latin-1 has them; the bytes Windows-1252
  // leaves undefined, which terminals take for C1).
  std::string out;
  for (char byte : text) {
    unsigned char c = static_cast<unsigned char>(byte);
    bool c1 = options.encoding == Encoding::kLatin1 && c >= 0x80 && c <= 0x9F;
    bool undefined = options.encoding == Encoding::kCp1252 &&
                     (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D);
    if (c < 0x20 || c == 0x7F || c1 || undefined) {
      out += Escaped("\\x%02x", c);
    } else {
      out += byte;
    }
  }
  return out;
}

}  // namespace addrbook
