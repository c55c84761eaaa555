#include "import.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "csv.h"
#include "text_encoding.h"
#include "vcard.h"

namespace addrbook {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// The first column whose header is one of `names`, or -1.
int Column(const std::vector<std::string>& header, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    auto at = std::find(header.begin(), header.end(), name);
    if (at != header.end()) return static_cast<int>(at - header.begin());
  }
  return -1;
}

// The first of the values that Google Contacts puts in one cell
// ("home@x ::: work@x").
std::string FirstValue(const std::string& cell) {
  return Trimmed(cell.substr(0, cell.find(":::")));
}

}  // namespace

bool ReadCsvRows(const std::string& input, std::vector<ImportRow>* rows, std::string* error) {
  std::string text = input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? input.substr(3) : input;
  std::vector<CsvRecord> records;
  if (!ParseCsv(text, &records, error, DetectSeparator(text))) return false;
  if (records.empty()) {
    *error = "no header line (name,address,comment)";
    return false;
  }
  std::vector<std::string> header;
  for (const std::string& column : records[0].fields) header.push_back(Lower(column));
  int name = Column(header, {"name", "display name", "full name"});
  int given = Column(header, {"first name", "given name"});
  int family = Column(header, {"last name", "family name"});
  int address = Column(header, {"address", "email", "e-mail", "email address", "e-mail address",
                                "primary email", "e-mail 1 - value", "e-mail 1", "email 1"});
  int comment = Column(header, {"comment", "note", "notes"});
  // A contact without an e-mail address keeps its phone number, as the
  // vCard reader keeps TEL.
  int phone = Column(header, {"phone 1 - value", "mobile phone", "primary phone", "home phone",
                              "business phone", "mobile number", "work phone"});
  int group = Column(header, {"group"});
  // No header, but rows of name, address and comment: the first line is a
  // row too when its second field is an e-mail address or a phone number.
  bool headerless = name < 0 && given < 0 && family < 0 && address < 0 && phone < 0 &&
                    records[0].fields.size() >= 2 &&
                    (records[0].fields[1].find('@') != std::string::npos ||
                     IsPhoneNumber(Trimmed(records[0].fields[1])));
  if (headerless) {
    name = 0;
    address = 1;
    comment = 2;
  }
  if ((name < 0 && given < 0 && family < 0) || (address < 0 && phone < 0)) {
    *error = "the header needs a name column and an address or e-mail column";
    return false;
  }
  for (size_t r = headerless ? 0 : 1; r < records.size(); ++r) {
    const CsvRecord& record = records[r];
    auto field = [&](int at) {
      return at >= 0 && static_cast<size_t>(at) < record.fields.size()
                 ? Trimmed(WithoutFormulaGuard(record.fields[static_cast<size_t>(at)]))
                 : std::string();
    };
    ImportRow row{record.line, field(name), FirstValue(field(address)), field(comment),
                  field(group) == "1"};
    if (row.address.empty()) row.address = FirstValue(field(phone));
    std::string first = field(given), last = field(family);
    if (!last.empty()) {
      std::replace(last.begin(), last.end(), ' ', '%');  // the whole family name is the surname
      row.name = first.empty() ? last : first + " " + last;
    } else if (row.name.empty()) {
      row.name = first;
    }
    rows->push_back(row);
  }
  return true;
}

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
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
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
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte order mark
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

}  // namespace

namespace {

// How deep arrays and objects nest in JSON text (outside its strings).
size_t JsonDepth(const std::string& text) {
  size_t depth = 0, deepest = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

// The text at `key` of an object: "" when it is missing or null; nullopt
// when it is there but no text.
std::optional<std::string> JsonText(const nlohmann::json& item, const char* key) {
  auto found = item.find(key);
  if (found == item.end() || found->is_null()) return std::string();
  if (!found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

// The stored name of `name` whose surname is `surname`: the surname's
// spaces are "%".
std::string StoredName(std::string name, const std::string& surname) {
  if (!surname.empty() && name.size() >= surname.size() &&
      name.compare(name.size() - surname.size(), surname.size(), surname) == 0) {
    std::replace(name.end() - static_cast<std::ptrdiff_t>(surname.size()), name.end(), ' ', '%');
  }
  return name;
}

}  // namespace

bool ReadJsonRows(const std::string& text, std::vector<ImportRow>* rows,
                  std::vector<std::string>* skipped, std::string* error) {
  // This tool's JSON nests three deep; a document that nests deeper than
  // any address book is refused before it is parsed.
  if (JsonDepth(text) > 32) {
    *error = "not a list of entries (nested more than 32 deep)";
    return false;
  }
  nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
  if (document.is_discarded()) {
    *error = "not valid JSON";
    return false;
  }
  const nlohmann::json* list = &document;
  if (document.is_object()) {
    auto entries = document.find("entries");
    list = entries == document.end() ? nullptr : &*entries;
  }
  if (!list || !list->is_array()) {
    *error = "no list of entries";
    return false;
  }
  int position = 0;
  for (const nlohmann::json& item : *list) {
    ++position;
    std::string at = "entry " + std::to_string(position);
    std::optional<std::string> name = item.is_object() ? JsonText(item, "name") : std::nullopt;
    if (!name || name->empty()) {
      skipped->push_back(at + " has no name");
      continue;
    }
    auto group = item.find("group");
    if (group != item.end() && ((group->is_boolean() && group->get<bool>()) ||
                                (group->is_number() && group->get<double>() != 0))) {
      skipped->push_back(*name + " is a group; groups cannot be imported");
      continue;
    }
    std::optional<std::string> address = JsonText(item, "address");
    std::optional<std::string> comment = JsonText(item, "comment");
    std::optional<std::string> surname = JsonText(item, "surname");
    if (!address || !comment || !surname) {
      skipped->push_back(at + " (" + *name + "): a field that is not text");
      continue;
    }
    rows->push_back({position, StoredName(*name, *surname), *address, *comment});
  }
  return true;
}

bool IsVcardText(const std::string& input) {
  std::string text = input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? input.substr(3) : input;
  size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return false;
  std::string head = Lower(text.substr(start, 11));
  return head == "begin:vcard";
}

void ReadVcardRows(const std::string& text, std::vector<ImportRow>* rows,
                   std::vector<std::string>* skipped) {
  bool inCard = false, group = false;
  ImportRow row{};
  std::string formatted, email, phone, postal, family, given;
  int emailRank = 0, phoneRank = 0;  // the preference of the one kept
  for (const Property& p : Properties(text)) {
    if (p.name == "BEGIN" && Lower(p.value) == "vcard") {
      inCard = true;
      group = false;
      row = {p.line, "", "", ""};
      formatted = email = phone = postal = family = given = "";
      emailRank = phoneRank = 102;
      continue;
    }
    if (!inCard) continue;
    if (p.name == "END") {
      inCard = false;
      std::string name = formatted;
      if (!Trimmed(family).empty()) {
        std::string last = Trimmed(family);
        std::replace(last.begin(), last.end(), ' ', '%');  // the whole family name is the surname
        name = Trimmed(given).empty() ? last : Trimmed(given) + " " + last;
      }
      if (group) {
        skipped->push_back("line " + std::to_string(row.line) + ": " + formatted +
                           " is a group; groups cannot be imported");
        continue;
      }
      row.name = name;
      row.address = !email.empty() ? email : !phone.empty() ? phone : postal;
      rows->push_back(row);
    } else if (p.name == "FN") {
      formatted = Trimmed(Text(p.value));
    } else if (p.name == "N") {
      std::vector<std::string> parts = Components(p.value);
      family = parts[0];
      given = parts.size() > 1 ? parts[1] : "";
    } else if (p.name == "EMAIL" && Preference(p.params) < emailRank && !Trimmed(p.value).empty()) {
      email = Trimmed(Text(p.value));  // the first of the most preferred
      emailRank = Preference(p.params);
    } else if (p.name == "TEL" && Preference(p.params) < phoneRank && !Trimmed(p.value).empty()) {
      phone = Trimmed(Text(p.value));
      phoneRank = Preference(p.params);
      if (phone.compare(0, 4, "tel:") == 0) phone = phone.substr(4);
    } else if (p.name == "ADR" && postal.empty()) {
      // The street, or every part that is there, joined.
      std::vector<std::string> parts = Components(p.value);
      for (const std::string& part : parts) {
        if (Trimmed(part).empty()) continue;
        if (!postal.empty()) postal += ", ";
        postal += Trimmed(part);
      }
    } else if (p.name == "NOTE") {
      row.comment = Text(p.value);
    } else if (p.name == "KIND" && Lower(p.value) == "group") {
      group = true;
    } else if (p.name == "X-ADDRESSBOOKSERVER-KIND" && Lower(p.value) == "group") {
      group = true;
    }
  }
}

}  // namespace addrbook
