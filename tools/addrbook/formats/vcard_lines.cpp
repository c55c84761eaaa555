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
    char c = value[i];
    if (c == '\\' || c == ',' || c == ';') {
      out += '\\';
      out += c;
    } else if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
      continue;  // CRLF becomes one \n
    } else if (c == '\n' || c == '\r') {
      out += "\\n";
    } else if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
      continue;  // RFC 6350 leaves control characters out of TEXT values
    } else if (static_cast<unsigned char>(c) == 0xC2 && i + 1 < value.size() &&
               static_cast<unsigned char>(value[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(value[i + 1]) <= 0x9F) {
      ++i;  // a C1 control character, in UTF-8
    } else {
      out += c;
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
  std::string out = "BEGIN:VCARD\r\nVERSION:4.0\r\n";
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

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Decodes quoted-printable text: "=XX" is the byte XX; an "=" it cannot
// read stays as it is.
std::string QuotedPrintable(const std::string& value) {
  auto hex = [](char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : -1;
  };
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
  if (charset != std::string::npos) {
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
    int rank = std::atoi(params.c_str() + at + 5);
    return rank >= 1 && rank <= 100 ? rank : 101;
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
    pending.value = Decoded(pending.params, std::move(pending.value));
    take(pending);
  };
  while (at < text.size()) {
    std::string_view content = next();
    if (!content.empty() && (content[0] == ' ' || content[0] == '\t') && started) {
      pending.value.append(content.substr(1));
      continue;
    }
    size_t colon = content.find(':');
    if (colon == std::string::npos) continue;
    size_t nameEnd = content.find_first_of(";:");
    handOn();
    std::string_view name = content.substr(0, nameEnd);
    if (size_t dot = name.find('.'); dot != std::string::npos) name.remove_prefix(dot + 1);
    pending.name = Upper(std::string(name));
    pending.params = Upper(std::string(content.substr(nameEnd, colon - nameEnd)));
    pending.value.assign(content.substr(colon + 1));
    pending.line = line;
    if (pending.params.find("QUOTED-PRINTABLE") != std::string::npos) {
      while (!pending.value.empty() && pending.value.back() == '=' && at < text.size()) {
        pending.value.pop_back();  // a soft line break
        pending.value.append(next());
      }
    }
    started = true;
  }
  handOn();
}

std::vector<std::string> Components(const std::string& value, char separator) {
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      char next = value[++i];
      parts.back() += next == 'n' || next == 'N' ? '\n' : next;
    } else if (separator && c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

std::string Text(const std::string& value) { return Components(value, '\0')[0]; }

}  // namespace addrbook
