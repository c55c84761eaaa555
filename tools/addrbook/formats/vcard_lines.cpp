#include "formats/vcard_lines.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string_view>

#include "formats/format_support.h"
#include "text/encoding.h"

namespace addrbook {

std::string VcardEscape(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    bool c1;
    unsigned char c = ByteOrC1(value, &i, &c1);
    if (c == '\\' || c == ',' || c == ';') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n' || c == '\r') {
      out += c == '\n' ? "\\n" : "\\r";
    } else if ((c < 0x20 && c != '\t') || c == 0x7F || c1) {
      out += HexEscape(c);
    } else {
      out += value[i];
    }
  }
  return out;
}

std::string VcardFold(const std::string& line) {
  std::string out;
  size_t taken = 0;
  size_t limit = 75;  // octets on the first line; 74 after the leading space
  while (line.size() - taken > limit) {
    size_t cut = taken + limit;
    while (cut > taken && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out.append(line, taken, cut - taken);
    out += "\r\n ";
    taken = cut;
    limit = 74;
  }
  out.append(line, taken, std::string::npos);
  return out + "\r\n";
}

std::string AddressProperty(const std::string& address) {
  if (IsEmailAddress(address)) return "EMAIL:" + VcardEscape(address);
  if (IsPhoneNumber(address)) return "TEL;VALUE=text:" + VcardEscape(address);
  // Anything else, whole, as the street of a postal address.
  return "ADR:;;" + VcardEscape(address) + ";;;;";
}

std::string VcardText(const Card& card) {
  std::string out = "BEGIN:VCARD\r\nVERSION:4.0\r\nPRODID:" + std::string(kOwnProductId) + "\r\n";
  if (card.group) out += "KIND:group\r\n";
  out += VcardFold("UID:" + card.uid);
  out += VcardFold("FN:" + VcardEscape(card.fullName));
  if (!card.group) {
    out +=
        VcardFold("N:" + VcardEscape(card.familyName) + ";" + VcardEscape(card.givenName) + ";;;");
    if (!card.address.empty()) out += VcardFold(AddressProperty(card.address));
  }
  for (const std::string& member : card.members) out += VcardFold("MEMBER:" + member);
  if (!card.note.empty()) out += VcardFold("NOTE:" + VcardEscape(card.note));
  return out + "END:VCARD\r\n";
}

namespace {

// `text` in upper case (ASCII letters), into `out`, whose room is reused.
void AssignUpper(std::string_view text, std::string* out) {
  out->assign(text);
  for (char& c : *out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

// Decodes quoted-printable text: "=XX" is the byte XX; an "=" it cannot
// read stays as it is.
std::string QuotedPrintable(const std::string& value) {
  auto hex = HexDigit;
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '=' && i + 2 < value.size() && hex(value[i + 1]) >= 0 &&
        hex(value[i + 2]) >= 0) {
      out += static_cast<char>(hex(value[i + 1]) * 16 + hex(value[i + 2]));
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

// A value as UTF-8, from the encoding (vCard 2.1) and character set that
// its parameters name.
std::string Decoded(const std::string& params, std::string value) {
  if (params.find("QUOTED-PRINTABLE") != std::string::npos) value = QuotedPrintable(value);
  size_t charset = params.find("CHARSET=");
  // A value that is UTF-8 already was converted with the whole file (an
  // 8-bit file is read as Windows-1252): converted again, it would be
  // garbled.
  if (charset != std::string::npos && !IsUtf8(value)) {
    std::string name = params.substr(charset + 8, params.find(';', charset) - charset - 8);
    if (name == "ISO-8859-1" || name == "LATIN1") value = ToUtf8(value, Encoding::kLatin1);
    if (name == "WINDOWS-1252" || name == "CP1252") value = ToUtf8(value, Encoding::kCp1252);
  }
  return value;
}

}  // namespace

int Preference(const std::string& params) {
  size_t at = params.find("PREF=");
  if (at != std::string::npos) {
    // Read with a ceiling: a number of any length counts as 100 at most.
    int rank = 0;
    for (size_t i = at + 5; i < params.size() && params[i] >= '0' && params[i] <= '9'; ++i) {
      rank = std::min(rank * 10 + (params[i] - '0'), 1000);
    }
    return rank < 1 ? 101 : std::min(rank, 100);
  }
  for (size_t from = 0; (at = params.find("PREF", from)) != std::string::npos; from = at + 4) {
    char before = at ? params[at - 1] : ';';
    char after = at + 4 < params.size() ? params[at + 4] : ';';
    if ((before == ';' || before == ',' || before == '=') && (after == ';' || after == ','))
      return 1;
  }
  return 101;
}

void ForEachProperty(const std::string& input, const std::function<void(const Property&)>& take) {
  std::string_view text = input;
  int line = 0;
  size_t at = 0;
  auto next = [&] {
    size_t end = std::min(text.find('\n', at), text.size());
    std::string_view content = text.substr(at, end - at);
    ++line;
    at = end + 1;
    if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
    return content;
  };
  // A property is handed on once the next begins, unfolded, and decoded
  // then: a folded line continues the encoded value.  Its strings are
  // filled again for each property, not made anew.
  Property pending;
  bool started = false;
  auto handOn = [&] {
    if (!started) return;
    if (!pending.params.empty()) pending.value = Decoded(pending.params, std::move(pending.value));
    take(pending);
  };
  while (at < text.size()) {
    std::string_view content = next();
    if (!content.empty() && (content[0] == ' ' || content[0] == '\t') && started) {
      pending.value.append(content.substr(1));
      continue;
    }
    // The name ends at the first ";" or ":", the value begins after the
    // first ":"; a group prefix ("item1.") ends at a "." in the name.
    size_t colon = std::string_view::npos, nameEnd = colon, dot = colon;
    for (size_t i = 0; i < content.size() && colon == std::string_view::npos; ++i) {
      if (content[i] == ':') colon = i;
      if (content[i] == ';' && nameEnd == std::string_view::npos) nameEnd = i;
      if (content[i] == '.' && nameEnd == std::string_view::npos && dot == std::string_view::npos)
        dot = i;
    }
    if (colon == std::string_view::npos) continue;
    nameEnd = std::min(nameEnd, colon);
    handOn();
    std::string_view name = content.substr(0, nameEnd);
    if (dot < nameEnd) name.remove_prefix(dot + 1);
    AssignUpper(name, &pending.name);
    AssignUpper(content.substr(nameEnd, colon - nameEnd), &pending.params);
    pending.value.assign(content.substr(colon + 1));
    pending.line = line;
    if (!pending.params.empty() && pending.params.find("QUOTED-PRINTABLE") != std::string::npos) {
      while (!pending.value.empty() && pending.value.back() == '=' && at < text.size()) {
        pending.value.pop_back();  // a soft line break
        pending.value.append(next());
      }
    }
    started = true;
  }
  handOn();
}

namespace {

// Appends the part of `value` that begins at `*i` up to the next
// `separator` (none when it is 0) or the end, unescaped; `*i` is left on
// the separator.  Runs without a backslash are appended whole.
void AppendComponent(const std::string& value, size_t* i, char separator, std::string* part) {
  while (*i < value.size()) {
    size_t run = *i;
    while (run < value.size() && value[run] != '\\' && (!separator || value[run] != separator))
      ++run;
    part->append(value, *i, run - *i);
    *i = run;
    if (run == value.size() || value[run] == separator) return;
    if (run + 1 == value.size()) {  // a backslash at the end stays
      *part += '\\';
      ++*i;
      return;
    }
    char next = value[run + 1];
    int high = run + 3 < value.size() ? HexDigit(value[run + 2]) : -1;
    int low = run + 3 < value.size() ? HexDigit(value[run + 3]) : -1;
    if (next == 'x' && high >= 0 && low >= 0) {
      AppendUtf8(part, static_cast<char32_t>(high * 16 + low));
      *i = run + 4;
      continue;
    }
    *part += next == 'n' || next == 'N' ? '\n' : next == 'r' ? '\r' : next;
    *i = run + 2;
  }
}

}  // namespace

std::vector<std::string> Components(const std::string& value, char separator) {
  std::vector<std::string> parts(1);
  size_t i = 0;
  for (;;) {
    AppendComponent(value, &i, separator, &parts.back());
    if (i >= value.size()) return parts;
    ++i;  // the separator
    parts.emplace_back();
  }
}

std::string Text(const std::string& value, char separator) {
  std::string text;
  size_t i = 0;
  AppendComponent(value, &i, separator, &text);
  return text;
}

}  // namespace addrbook
