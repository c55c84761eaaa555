#include "formats/format_support.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "ovel.h"

namespace addrbook {

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
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

namespace {

constexpr size_t kNameCharacters = OVEL_MAX_NAME;
constexpr const char* kPercentRefusal =
    "the name holds \"%\", which the book would take for a join of surname words";

// The words of a family name joined with "%", so that the book takes them
// all for the surname.
std::string Joined(std::string words) {
  std::replace(words.begin(), words.end(), ' ', '%');
  return words;
}

std::string Words(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!text.empty()) text += ' ';
    text += part;
  }
  return text;
}

}  // namespace

void SetName(const NameParts& parts, ImportRow* row) {
  for (const std::string* part : {&parts.prefix, &parts.given, &parts.middle, &parts.family,
                                  &parts.suffix, &parts.formatted}) {
    if (part->find('%') != std::string::npos) {
      row->refused = kPercentRefusal;
      return;
    }
  }
  std::string prefix = Trimmed(parts.prefix), given = Trimmed(parts.given),
              middle = Trimmed(parts.middle), family = Trimmed(parts.family),
              suffix = Trimmed(parts.suffix), formatted = Trimmed(parts.formatted);
  std::string tail = Words({family, suffix});
  // The formatted name, as its writer spelt it, when it ends with the
  // family name (and suffix): its spacing and order kept exactly.
  bool endsWithTail = formatted == tail || (formatted.size() > tail.size() &&
                                            formatted.compare(formatted.size() - tail.size() - 1,
                                                              tail.size() + 1, " " + tail) == 0);
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
  row->name = name;
  if (!surname.empty() && name.size() >= surname.size() &&
      name.compare(name.size() - surname.size(), surname.size(), surname) == 0) {
    std::replace(row->name.end() - static_cast<std::ptrdiff_t>(surname.size()), row->name.end(),
                 ' ', '%');
  }
}

}  // namespace addrbook
