// abook's own address book file (~/.abook/addressbook): a "[format]"
// section, then a "[N]" section of "key=value" lines for each contact.
// Read: name; the first of the comma-separated email, else mobile,
// workphone, phone, else the street of address; notes.  Written the same
// way, with what abook cannot hold (line breaks, blanks at the edges, a
// surname of several words, groups) told.
#include "formats/format.h"
#include "formats/format_support.h"

namespace addrbook {
namespace {

constexpr const char* kHeading = "# abook addressbook file";

bool IsAbookText(const std::string& text) {
  std::string first = Trimmed(text.substr(0, text.find_first_of("\r\n")));
  return first == kHeading || FirstContentLine(text) == "[format]";
}

// The row of one contact's keys and values.
ImportRow ContactRow(int line, const std::vector<std::pair<std::string, std::string>>& values) {
  auto value = [&](const char* key) {
    for (const auto& [k, v] : values) {
      if (k == key && !v.empty()) return v;
    }
    return std::string();
  };
  ImportRow row;
  row.line = line;
  std::string email = value("email");
  row.address = Trimmed(email.substr(0, email.find(',')));
  for (const char* key : {"mobile", "workphone", "phone", "address"}) {
    if (row.address.empty()) row.address = value(key);
  }
  row.comment = value("notes");
  NameParts parts;
  parts.formatted = value("name");
  SetName(parts, &row);
  return row;
}

ReadResult ReadAbook(const std::string& text, const ReadOptions&) {
  ReadResult result;
  int number = 0, section = 0;
  bool contact = false;
  std::vector<std::pair<std::string, std::string>> values;
  auto finish = [&] {
    if (contact) result.rows.push_back(ContactRow(section, values));
    values.clear();
  };
  for (const std::string& line : Lines(text)) {
    ++number;
    std::string trimmed = Trimmed(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    if (trimmed.front() == '[' && trimmed.back() == ']') {
      finish();
      section = number;
      contact = trimmed != "[format]";
      continue;
    }
    size_t equals = trimmed.find('=');
    if (equals == std::string::npos) continue;
    values.emplace_back(Lower(Trimmed(trimmed.substr(0, equals))),
                        Trimmed(trimmed.substr(equals + 1)));
  }
  finish();
  if (result.rows.empty()) result.error = "no contact ([0], [1] ...) in the abook file";
  return result;
}

// A value on one line, as abook reads it: line breaks and other controls
// as spaces, blanks at the edges taken off; what changed told.
std::string Value(const Entry& e, const char* field, const std::string& text,
                  const WriteOptions& options) {
  std::string value = ToUtf8(text, options.encoding);
  bool controls = false;
  for (char& c : value) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      controls = true;
      c = ' ';
    }
  }
  std::string trimmed = Trimmed(value);
  if (controls)
    Tell(options, e,
         std::string("abook holds no line break or control in the ") + field +
             "; written as spaces");
  if (trimmed != value)
    Tell(options, e, std::string("abook takes off blanks at the edges of the ") + field);
  return trimmed;
}

std::string WriteAbook(const WholeBook& book, const WriteOptions& options) {
  std::string out = std::string(kHeading) + "\n\n[format]\nprogram=abook\nversion=0.6.1\n\n";
  int number = 0;
  for (const Entry& e : book.entries) {
    if (e.group) {
      Tell(options, e, "abook has no groups; left out");
      continue;
    }
    out += "\n[" + std::to_string(number++) + "]\n";
    out += "name=" + Value(e, "name", e.name, options) + "\n";
    if (!SplitByLastWord(e))
      Tell(options, e, "abook has no surname of several words; it will be the last word");
    std::string address = Value(e, "address", e.address, options);
    const char* key = IsEmailAddress(address)  ? "email"
                      : IsPhoneNumber(address) ? "mobile"
                                               : "address";
    out += std::string(key) + "=" + address + "\n";
    if (!e.comment.empty()) out += "notes=" + Value(e, "comment", e.comment, options) + "\n";
  }
  return out;
}

}  // namespace

// The row of the table of formats (formats.cpp).
extern const Format kAbookFormat = {"abook",   "contact",  IsAbookText,
                                    ReadAbook, WriteAbook, nullptr};

}  // namespace addrbook
