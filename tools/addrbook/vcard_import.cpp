// vCard to import, as phones and mail programs write it: 2.1 (quoted-
// printable values in a CHARSET, PREF), 3.0 (TYPE=pref) and 4.0 (PREF=1);
// folded lines, grouped properties (item1.EMAIL), base64 photos skipped.
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "import.h"
#include "import_support.h"

namespace addrbook {
namespace {

struct Property {
  std::string name;  // upper case, without parameters or group prefix
  std::string value;
  int line;
  std::string params;  // upper case, each after a ";"
};

// How much a property is preferred: 1 to 100 (PREF=1 in vCard 4.0; PREF
// or TYPE=pref in 2.1 and 3.0 count as 1), 101 when it is not.
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

// Unfolds content lines (a line beginning with a space or tab goes on the
// one before; a quoted-printable line ending in "=" goes on with the next)
// and splits each into its name and value, decoded.
std::vector<Property> Properties(const std::string& input) {
  std::string_view text = input;
  std::vector<Property> properties;
  int line = 0;
  size_t at = 0;
  auto next = [&] {
    size_t end = std::min(text.find('\n', at), text.size());
    std::string content(text.substr(at, end - at));
    ++line;
    at = end + 1;
    if (!content.empty() && content.back() == '\r') content.pop_back();
    return content;
  };
  while (at < text.size()) {
    std::string content = next();
    if (!content.empty() && (content[0] == ' ' || content[0] == '\t') && !properties.empty()) {
      properties.back().value += content.substr(1);
      continue;
    }
    size_t colon = content.find(':');
    if (colon == std::string::npos) continue;
    size_t nameEnd = content.find_first_of(";:");
    std::string name = Upper(content.substr(0, nameEnd));
    if (size_t dot = name.find('.'); dot != std::string::npos) name = name.substr(dot + 1);
    std::string params = Upper(content.substr(nameEnd, colon - nameEnd));
    std::string value = content.substr(colon + 1);
    if (params.find("QUOTED-PRINTABLE") != std::string::npos) {
      while (!value.empty() && value.back() == '=' && at < text.size()) {
        value.pop_back();  // a soft line break
        value += next();
      }
    }
    properties.push_back({name, value, line, params});
  }
  // Decoded once unfolded: a folded line continues the encoded value.
  for (Property& p : properties) p.value = Decoded(p.params, p.value);
  return properties;
}

// The components of a structured value split at `separator` (none when
// it is 0), unescaped.
std::vector<std::string> Components(const std::string& value, char separator = ';') {
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

// A text value, unescaped.
std::string Text(const std::string& value) { return Components(value, '\0')[0]; }

// What a card has given so far.
struct CardState {
  ImportRow row;
  NameParts name;
  std::string email, phone, postal;
  int emailRank = 102, phoneRank = 102;  // the preference of the one kept
};

ImportRow Finished(CardState& card) {
  ImportRow& row = card.row;
  if (!row.group) SetName(card.name, &row);
  if (row.group) row.name = Trimmed(card.name.formatted);
  row.address = !card.email.empty() ? card.email : !card.phone.empty() ? card.phone : card.postal;
  return row;
}

}  // namespace

bool IsVcardText(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  return start != std::string::npos && Lower(text.substr(start, 11)) == "begin:vcard";
}

void ReadVcardRows(const std::string& text, std::vector<ImportRow>* rows) {
  bool inCard = false;
  CardState card;
  auto unfinished = [&] {
    ImportRow row = Finished(card);
    row.refused = "the card has no END:VCARD (is the file cut short?)";
    rows->push_back(row);
  };
  for (const Property& p : Properties(text)) {
    if (p.name == "BEGIN" && Lower(p.value) == "vcard") {
      if (inCard) unfinished();
      inCard = true;
      card = CardState();
      card.row.line = p.line;
      continue;
    }
    if (!inCard) continue;
    if (p.name == "END") {
      inCard = false;
      rows->push_back(Finished(card));
    } else if (p.name == "FN") {
      card.name.formatted = Trimmed(Text(p.value));
    } else if (p.name == "N") {
      std::vector<std::string> parts = Components(p.value);
      parts.resize(5);
      card.name.family = parts[0];
      card.name.given = parts[1];
      card.name.middle = parts[2];
      card.name.prefix = parts[3];
      card.name.suffix = parts[4];
    } else if (p.name == "EMAIL" && Preference(p.params) < card.emailRank &&
               !Trimmed(p.value).empty()) {
      card.email = Trimmed(Text(p.value));  // the first of the most preferred
      card.emailRank = Preference(p.params);
    } else if (p.name == "TEL" && Preference(p.params) < card.phoneRank &&
               !Trimmed(p.value).empty()) {
      card.phone = Trimmed(Text(p.value));
      card.phoneRank = Preference(p.params);
      if (card.phone.compare(0, 4, "tel:") == 0) card.phone = card.phone.substr(4);
    } else if (p.name == "ADR" && card.postal.empty()) {
      // Every part that is there, joined.
      for (const std::string& part : Components(p.value)) {
        if (Trimmed(part).empty()) continue;
        if (!card.postal.empty()) card.postal += ", ";
        card.postal += Trimmed(part);
      }
    } else if (p.name == "NOTE") {
      card.row.comment = Text(p.value);
    } else if ((p.name == "KIND" || p.name == "X-ADDRESSBOOKSERVER-KIND") &&
               Lower(p.value) == "group") {
      card.row.group = true;
    }
  }
  if (inCard) unfinished();
}

}  // namespace addrbook
