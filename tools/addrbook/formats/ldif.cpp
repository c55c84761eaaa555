// LDIF (RFC 2849), as Thunderbird and other address books export it:
// inetOrgPerson records for people, groupOfNames for groups.  Read: the
// name from cn (the whole name), givenName and sn (the surname); the
// address from mail, else a phone number, else street; the comment from
// description.  Written: values that are not plain ASCII in base64.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "formats/format.h"
#include "formats/format_support.h"
#include "formats/import_groups.h"

namespace addrbook {
namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const std::string& bytes) {
  std::string out;
  size_t n = bytes.size();
  for (size_t i = 0; i < n; i += 3) {
    auto byte = [&](size_t k) { return k < n ? static_cast<unsigned char>(bytes[k]) : 0u; };
    unsigned b0 = byte(i), b1 = byte(i + 1), b2 = byte(i + 2);
    out += kBase64[b0 >> 2];
    out += kBase64[((b0 & 3) << 4) | (b1 >> 4)];
    out += i + 1 < n ? kBase64[((b1 & 15) << 2) | (b2 >> 6)] : '=';
    out += i + 2 < n ? kBase64[b2 & 63] : '=';
  }
  return out;
}

// Decodes base64, skipping what is not of its alphabet.
std::string FromBase64(const std::string& text) {
  std::string out;
  uint32_t chunk = 0;
  int bits = 0;
  for (char c : text) {
    const char* at = c ? std::strchr(kBase64, c) : nullptr;
    if (!at) continue;
    chunk = (chunk << 6) | static_cast<uint32_t>(at - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((chunk >> bits) & 0xFF);
    }
  }
  return out;
}

// A line "attribute: value", or "attribute:: base64" where the value is
// not a safe string (RFC 2849: ASCII without NUL, CR, LF, not beginning
// with a space, ":" or "<"; nor, for a reader's sake, beginning with a
// tab or ending in a space or tab).
std::string Line(const std::string& attribute, const std::string& value) {
  bool safe = value.empty() || (value[0] != ' ' && value[0] != '\t' && value[0] != ':' &&
                                value[0] != '<' && value.back() != ' ' && value.back() != '\t');
  for (char c : value) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u == 0 || u == '\r' || u == '\n' || u >= 0x80) safe = false;
  }
  std::string line = safe ? attribute + ": " + value : attribute + ":: " + Base64(value);
  // Folded at 76 columns: a continuation line begins with a space.
  std::string folded;
  for (size_t at = 0; at < line.size(); at += at == 0 ? 76 : 75) {
    folded += (at ? "\n " : "") + line.substr(at, at == 0 ? 76 : 75);
  }
  return folded + "\n";
}

// An attribute value within a DN (RFC 4514): , + " \ < > ; escaped, and
// a leading space or "#" and a trailing space.
std::string DnValue(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (std::string(",+\"\\<>;=").find(c) != std::string::npos ||
        ((c == ' ' || c == '#') && i == 0) || (c == ' ' && i + 1 == value.size())) {
      out += '\\';
    }
    out += c;
  }
  return out;
}

std::string Dn(const std::string& name, const std::string& address, bool group) {
  return "cn=" + DnValue(name) + (group ? "" : ",mail=" + DnValue(address));
}

struct Attribute {
  std::string name;  // lower case
  std::string value;
  int line;
};

// The entry of a record's attributes; a record without a dn (stray text)
// gives none, a change record (other than an add) is refused.
void FinishRecord(const std::vector<Attribute>& record, std::vector<ImportRow>* rows) {
  if (record.empty() || record.front().name != "dn") return;
  auto value = [&](std::initializer_list<const char*> names) {
    for (const char* name : names) {
      for (const Attribute& a : record) {
        if (a.name == name && !a.value.empty()) return a.value;
      }
    }
    return std::string();
  };
  ImportRow row;
  row.line = record.front().line;
  std::string change = Lower(value({"changetype"}));
  if (!change.empty() && change != "add") {
    row.refused = "a change record (changetype: " + change + "), not a contact; skipped";
    rows->push_back(row);
    return;
  }
  for (const Attribute& a : record) {
    std::string kind = Lower(a.value);
    if (a.name == "objectclass" && (kind == "groupofnames" || kind == "groupofuniquenames")) {
      row.group = true;
    }
  }
  std::string cn = value({"cn", "commonname", "displayname"});
  // Phones in the order of the other formats: mobile, business, home.
  row.address = value({"mail", "mozillasecondemail", "mobile", "telephonenumber", "homephone",
                       "street", "postaladdress"});
  if (row.group) {
    row.name = cn;
  } else {
    // Values are exact: plain ones trimmed as they are read, base64 ones
    // (how LDIF carries blanks at the edges) as they are.
    NameParts parts;
    parts.given = value({"givenname"});
    parts.family = value({"sn", "surname"});
    parts.formatted = cn;
    parts.organisation = value({"o", "organizationname"});
    parts.exact = true;
    SetName(parts, &row);
  }
  row.comment = value({"description"});
  row.key = DnKey(record.front().value);
  for (const Attribute& a : record) {
    if (row.group && (a.name == "member" || a.name == "uniquemember")) {
      row.members.push_back(DnKey(a.value));
    }
  }
  rows->push_back(row);
}

bool IsLdifText(const std::string& text) {
  std::string line = Lower(FirstContentLine(text));
  return line.compare(0, 8, "version:") == 0 || line.compare(0, 3, "dn:") == 0;
}

ReadResult ReadLdif(const std::string& text, const ReadOptions&) {
  ReadResult result;
  // Logical lines first: a line that begins with a space continues the one
  // before; an empty line ends a record.
  std::vector<std::pair<int, std::string>> lines;
  int number = 0;
  for (const std::string& line : Lines(text)) {
    ++number;
    if (!line.empty() && line[0] == ' ' && !lines.empty() && !lines.back().second.empty()) {
      lines.back().second += line.substr(1);
    } else {
      lines.emplace_back(number, line);
    }
  }
  lines.emplace_back(number + 1, "");
  std::vector<Attribute> record;
  for (const auto& [line, content] : lines) {
    if (content.empty()) {
      FinishRecord(record, &result.rows);
      record.clear();
      continue;
    }
    size_t colon = content.find(':');
    if (content[0] == '#' || colon == std::string::npos) continue;
    Attribute a{Lower(content.substr(0, colon)), content.substr(colon + 1), line};
    if (size_t option = a.name.find(';'); option != std::string::npos) a.name.resize(option);
    if (!a.value.empty() && a.value[0] == ':') {
      a.value = FromBase64(a.value.substr(1));
    } else if (!a.value.empty() && a.value[0] == '<') {
      a.value.clear();  // a value at a URL is not read
    } else {
      size_t begin = a.value.find_first_not_of(' ');
      a.value = begin == std::string::npos
                    ? ""
                    : a.value.substr(begin, a.value.find_last_not_of(' ') - begin + 1);
    }
    if (a.name == "version" && record.empty()) continue;
    record.push_back(a);
  }
  return result;
}

std::string WriteLdif(const WholeBook& book, const WriteOptions& options) {
  auto utf8 = [&](const std::string& text) { return ToUtf8(text, options.encoding); };
  std::string out = "version: 1\n";
  for (const Entry& e : book.entries) {
    std::string name = utf8(e.name), address = utf8(e.address);
    out += "\n" + Line("dn", Dn(name, address, e.group));
    out += "objectclass: top\n";
    if (e.group) {
      out += "objectclass: groupOfNames\n" + Line("cn", name);
      if (!e.comment.empty()) out += Line("description", utf8(e.comment));
      for (int m : book.MembersOf(e)) {
        const Entry& member = book.entries[static_cast<size_t>(m)];
        out += Line("member", Dn(utf8(member.name), utf8(member.address), member.group));
      }
      continue;
    }
    std::string given = GivenNames(e);
    out +=
        "objectclass: person\nobjectclass: organizationalPerson\n"
        "objectclass: inetOrgPerson\nobjectclass: mozillaAbPersonAlpha\n";
    if (!given.empty()) out += Line("givenName", utf8(given));
    out += Line("sn", utf8(Surname(e))) + Line("cn", name);
    out += Line(IsEmailAddress(address)  ? "mail"
                : IsPhoneNumber(address) ? "telephoneNumber"
                                         : "street",
                address);
    if (!e.comment.empty()) out += Line("description", utf8(e.comment));
  }
  return out;
}

}  // namespace

// The row of the table of formats (formats.cpp).
extern const Format kLdifFormat = {"ldif", "record", IsLdifText, ReadLdif, WriteLdif, nullptr};

}  // namespace addrbook
