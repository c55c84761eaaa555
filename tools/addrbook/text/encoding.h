// The 8-bit text of a book, converted to and from UTF-8.
#pragma once

#include <optional>
#include <string>

namespace addrbook {

enum class Encoding { kCp1252, kLatin1, kUtf8 };

std::optional<Encoding> ParseEncoding(const std::string& name);

// Book text as UTF-8.  Bytes that are not valid UTF-8 in a book said to be
// UTF-8 become U+FFFD.
std::string ToUtf8(const std::string& text, Encoding encoding);

// A character appended to UTF-8 text.
void AppendUtf8(std::string* out, char32_t code);

// UTF-8 as book text; nullopt (with `error` set) when the text is not valid
// UTF-8 or holds a character the encoding cannot hold.
std::optional<std::string> FromUtf8(const std::string& utf8, Encoding encoding, std::string* error);

// UTF-16 as UTF-8.  A lone surrogate becomes the byte FF, which is not
// UTF-8, so that text holding it is refused rather than stored otherwise.
std::string FromUtf16(const std::u16string& units);

// Decodes the UTF-8 character at `*i` and moves `*i` past it; false for a
// sequence that is not UTF-8 (overlong, surrogate, cut short).
bool DecodeUtf8(const std::string& text, size_t* i, char32_t* code);

// The same with replacement: a byte that begins no UTF-8 character gives
// U+FFFD and `*i` moves past that byte alone; false for such a byte.
bool NextCharacter(const std::string& text, size_t* i, char32_t* code);

// True when the whole text is UTF-8.
bool IsUtf8(const std::string& text);

// The encoding of a book's text found from the text itself: UTF-8 when it
// is valid UTF-8 and holds at least one character of several bytes, else
// Windows-1252 (ASCII alone reads the same in either).
Encoding FoundEncoding(const std::string& text);

// The columns UTF-8 text takes on a terminal (wide characters take two).
size_t Utf8Width(const std::string& utf8);

// The longest prefix of UTF-8 text, in whole characters, that takes at most
// `columns` columns.
std::string Utf8Prefix(const std::string& utf8, size_t columns);

}  // namespace addrbook
