#include "formats/format_support.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <vector>

#include "ovel.h"

namespace addrbook {

std::string Trimmed(const std::string& text) { return std::string(TrimmedView(text)); }

std::string_view TrimmedView(std::string_view text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

size_t Utf8Length(const std::string& utf8) {
  return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, end - at));
    if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
    at = end + 1;
  }
  return lines;
}

std::string FirstContentLine(const std::string& text) {
  // Line by line, not Lines(text): each format's test of a large file
  // would split all of it.
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string trimmed = Trimmed(line);
    if (!trimmed.empty() && trimmed[0] != '#') return trimmed;
    at = end + 1;
  }
  return "";
}

bool IsEmailAddress(const std::string& text) {
  size_t at = text.find('@');
  if (at == std::string::npos || at == 0 || at + 1 >= text.size()) return false;
  if (text.find('@', at + 1) != std::string::npos) return false;
  if (text.find_first_of(" \t\r\n,;<>\"") != std::string::npos) return false;
  size_t dot = text.find('.', at + 1);
  return dot != std::string::npos && dot > at + 1 && dot + 1 < text.size();
}

bool IsPhoneNumber(const std::string& text) {
  int digits = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (!(c == ' ' || c == '-' || c == '(' || c == ')' || c == '.' || c == '/' ||
                 (c == '+' && i == 0))) {
      return false;
    }
  }
  return digits >= 3;
}

unsigned char ByteOrC1(const std::string& text, size_t* i, bool* c1) {
  unsigned char c = static_cast<unsigned char>(text[*i]);
  unsigned char next = *i + 1 < text.size() ? static_cast<unsigned char>(text[*i + 1]) : 0;
  *c1 = c == 0xC2 && next >= 0x80 && next <= 0x9F;
  if (*c1) ++*i;
  return *c1 ? next : c;
}

std::string HexEscape(unsigned char code) {
  static const char kHex[] = "0123456789abcdef";
  return {'\\', 'x', kHex[code >> 4], kHex[code & 15]};
}

int HexDigit(char c) {
  return c >= '0' && c <= '9'   ? c - '0'
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                : -1;
}

size_t LastWordStart(const std::string& name) {
  if (name.empty()) return 0;
  size_t i = name.size() - 1;
  while (i > 0 && name[i] == ' ') --i;
  for (; i > 0; --i) {
    if (name[i] == ' ') return i + 1;
  }
  return 0;
}

bool SplitByLastWord(const Entry& entry) {
  return LastWordStart(entry.name) == SurnameStart(entry);
}

void Tell(const WriteOptions& options, const Entry& entry, const std::string& what) {
  if (!options.notices) return;
  options.notices->push_back("entry " + std::to_string(entry.index) + " (" +
                             ToUtf8(entry.name, options.encoding) + "): " + what);
}

namespace {

constexpr size_t kNameCharacters = OVEL_MAX_NAME;
constexpr const char* kPercentRefusal =
    "the name holds \"%\", which the book would take for a join of surname words";

std::string Words(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!text.empty()) text += ' ';
    text += part;
  }
  return text;
}

// A name written without spaces that holds its family and given names:
// kept whole, as Chinese, Japanese and Korean names are written.
bool WrittenWhole(const std::string& formatted, const std::string& given,
                  const std::string& family) {
  return !formatted.empty() && formatted.find(' ') == std::string::npos && !family.empty() &&
         formatted.find(family) != std::string::npos && formatted.find(given) != std::string::npos;
}

void TrimInPlace(std::string* text) {
  size_t end = text->find_last_not_of(" \t");
  text->erase(end == std::string::npos ? 0 : end + 1);
  text->erase(0, text->find_first_not_of(" \t"));
}

// True, with the row refused, when a part holds "%".
bool RefusedForPercent(std::initializer_list<const std::string*> parts, ImportRow* row) {
  for (const std::string* part : parts) {
    if (part->find('%') != std::string::npos) {
      row->refused = kPercentRefusal;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string Joined(std::string words) {
  // Blanks after the last word stay blanks: the book shows them alike.
  size_t end = words.find_last_not_of(' ');
  if (end != std::string::npos) std::replace(words.begin(), words.begin() + end, ' ', '%');
  return words;
}

void SetName(NameParts parts, ImportRow* row) {
  for (std::string* part : {&parts.prefix, &parts.given, &parts.middle, &parts.family,
                            &parts.suffix, &parts.formatted, &parts.organisation}) {
    if (!parts.exact || part == &parts.organisation) TrimInPlace(part);
  }
  const std::string &prefix = parts.prefix, &given = parts.given, &middle = parts.middle,
                    &family = parts.family, &suffix = parts.suffix, &formatted = parts.formatted,
                    &organisation = parts.organisation;
  bool person = !given.empty() || !middle.empty() || !family.empty();
  if (!organisation.empty() &&
      (parts.organisationFirst || (!person && (formatted.empty() || formatted == organisation)))) {
    OrganisationName(organisation, row);
    return;
  }
  if (RefusedForPercent({&prefix, &given, &middle, &family, &suffix, &formatted}, row)) return;
  if (!person && formatted.empty()) {
    NameByAddress(row);
    return;
  }
  if (WrittenWhole(formatted, given, family) && Utf8Length(formatted) <= kNameCharacters) {
    row->name = formatted;
    return;
  }
  std::string tail = family.empty() || suffix.empty() ? family + suffix : family + ' ' + suffix;
  // The formatted name, as its writer spelt it, when it ends with the
  // family name (and suffix): its spacing and order kept exactly.
  size_t head = formatted.size() - tail.size();  // where the tail would begin
  bool endsWithTail =
      formatted == tail || (formatted.size() > tail.size() && formatted[head - 1] == ' ' &&
                            formatted.compare(head, tail.size(), tail) == 0);
  if (!formatted.empty() && (tail.empty() || endsWithTail) &&
      Utf8Length(formatted) <= kNameCharacters) {
    row->name = formatted.substr(0, formatted.size() - tail.size()) + Joined(tail);
    return;
  }
  if (tail.empty() && given.empty() && middle.empty()) {
    row->name = formatted;  // too long; refused as such
    return;
  }
  // The parts, shortened as far as needed: the middle name first, then the
  // prefix and suffix.
  const struct { bool middle, affixes; } tries[] = {{true, true}, {false, true}, {false, false}};
  size_t used = 0;
  for (; used < 3; ++used) {
    const auto& t = tries[used];
    std::string surname = Joined(t.affixes ? tail : family.empty() ? suffix : family);
    row->name = Words({t.affixes ? prefix : "", given, t.middle ? middle : "", surname});
    if (Utf8Length(row->name) <= kNameCharacters) break;
  }
  // What was left out: with the second try the middle name, with the
  // third (or none that fits) the prefix and suffix too.
  std::vector<std::string> left;
  if (used >= 1 && !middle.empty()) left.push_back("the middle name");
  if (used >= 2 && !prefix.empty()) left.push_back("the prefix");
  if (used >= 2 && !suffix.empty() && !family.empty()) left.push_back("the suffix");
  for (size_t i = 0; i < left.size(); ++i) {
    row->shortened += (i == 0 ? "" : i + 1 == left.size() ? " and " : ", ") + left[i];
  }
}

void SetShownName(const std::string& name, const std::string& surname, ImportRow* row) {
  if (name.find('%') != std::string::npos) {
    row->refused = kPercentRefusal;
    return;
  }
  if (name.empty()) {
    NameByAddress(row);
    return;
  }
  row->name = name;
  if (!surname.empty() && name.size() >= surname.size() &&
      name.compare(name.size() - surname.size(), surname.size(), surname) == 0) {
    row->name = name.substr(0, name.size() - surname.size()) + Joined(surname);
  }
}

}  // namespace addrbook
