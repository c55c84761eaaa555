// mutt's alias files: "alias KEY Name <address>" lines, a group as an
// alias of several addresses or aliases.  Read: one row per alias, "Name
// <address>", "address (Name)" or a bare address, the comment from a
// "# comment" after it.  Written: a key made from each name, each group an
// alias of its members' keys.
#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "formats/format.h"
#include "formats/format_support.h"
#include "ovel.h"

namespace addrbook {
namespace {

// Splits at the first of `separators` outside double quotes, angle
// brackets and parentheses; a backslash escapes the next character.
std::vector<std::string> SplitOutside(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      parts.back() += text.substr(i, 2);
      ++i;
      continue;
    }
    if (c == '"') quoted = !quoted;
    if (!quoted && (c == '<' || c == '(')) ++depth;
    if (!quoted && (c == '>' || c == ')') && depth > 0) --depth;
    if (c == separator && !quoted && depth == 0) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// A phrase without its quotes and escapes.
std::string Unquoted(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      out += text[++i];
    } else if (text[i] != '"') {
      out += text[i];
    }
  }
  return Trimmed(out);
}

// A name and address from "Name <address>", "address (Name)" or "address".
void Mailbox(const std::string& text, std::string* name, std::string* address) {
  std::string mailbox = Trimmed(text);
  size_t open = mailbox.rfind('<');
  if (open != std::string::npos && mailbox.back() == '>') {
    *name = Unquoted(mailbox.substr(0, open));
    *address = Trimmed(mailbox.substr(open + 1, mailbox.size() - open - 2));
    return;
  }
  size_t paren = mailbox.find('(');
  if (paren != std::string::npos && mailbox.back() == ')') {
    *name = Unquoted(mailbox.substr(paren + 1, mailbox.size() - paren - 2));
    *address = Trimmed(mailbox.substr(0, paren));
    return;
  }
  name->clear();
  *address = mailbox;
}

// A phrase quoted for an address header when it holds what would end it.
std::string Phrase(const std::string& name) {
  if (name.find_first_of("\"\\,;:<>()[]@.#'`") == std::string::npos &&
      name.find("  ") == std::string::npos) {
    return name;
  }
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// A key of letters, digits, "-", "_" and "." from a name, unique.
std::string Key(const std::string& name, std::set<std::string>* used) {
  std::string key;
  for (char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_') {
      key += c;
    } else if (c >= 'A' && c <= 'Z') {
      key += static_cast<char>(c - 'A' + 'a');
    } else if (!key.empty() && key.back() != '-') {
      key += '-';
    }
  }
  while (!key.empty() && key.back() == '-') key.pop_back();
  if (key.empty()) key = "entry";
  std::string unique = key;
  for (int n = 2; !used->insert(unique).second; ++n) unique = key + "-" + std::to_string(n);
  return unique;
}

// A comment on one line, as mutt shows it.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

bool IsMuttAliasText(const std::string& text) {
  return FirstContentLine(text).compare(0, 6, "alias ") == 0;
}

// The row of one alias line: alias [-group NAME]... KEY ADDRESS[,
// ADDRESS]... [# comment], the addresses as they are written, spaces and
// all.  `key` is set when the alias is of one address.
ImportRow AliasRow(const std::string& line, int number, std::optional<std::string>* key) {
  ImportRow row;
  row.line = number;
  size_t next = 0;
  auto word = [&] {
    size_t begin = line.find_first_not_of(" \t", next);
    if (begin == std::string::npos) begin = line.size();
    next = std::min(line.find_first_of(" \t", begin), line.size());
    return line.substr(begin, next - begin);
  };
  if (word() != "alias") {
    row.refused = "not an alias line";
    return row;
  }
  std::string alias = word();
  while (alias == "-group" || alias == "-nogroup") {
    word();
    alias = word();
  }
  std::string rest = Trimmed(line.substr(next));
  std::vector<std::string> comment = SplitOutside(rest, '#');
  if (comment.size() > 1) {
    row.comment = Trimmed(rest.substr(comment[0].size() + 1));
    rest = comment[0];
  }
  std::vector<std::string> addresses = SplitOutside(rest, ',');
  row.key = alias;
  if (addresses.size() > 1) {
    row.group = true;
    row.name = alias;
    for (const std::string& address : addresses) {
      if (!Trimmed(address).empty()) row.members.push_back(Trimmed(address));
    }
    return row;
  }
  std::string name;
  Mailbox(addresses[0], &name, &row.address);
  if (name.empty()) name = alias;
  // "Family, Given": the family name whole, however many its words.
  size_t comma = name.find(',');
  if (comma != std::string::npos && name.find(',', comma + 1) == std::string::npos &&
      !Trimmed(name.substr(0, comma)).empty() && !Trimmed(name.substr(comma + 1)).empty()) {
    SetName({"", name.substr(comma + 1), "", name.substr(0, comma), "", ""}, &row);
  } else {
    SetName({"", "", "", "", "", name}, &row);
  }
  *key = alias;
  return row;
}

// The members of alias lists that are addresses, not aliases: each the
// alias of that address when the file has one, else an entry of its own
// (added once, after the aliases).
void AddressMembers(const std::set<std::string>& keys, std::vector<ImportRow>* rows) {
  std::map<std::string, std::string> keyOfAddress;
  for (const ImportRow& row : *rows) {
    if (!row.group && !row.key.empty()) keyOfAddress.emplace(Lower(row.address), row.key);
  }
  std::vector<ImportRow> added;
  for (ImportRow& group : *rows) {
    for (std::string& member : group.members) {
      if (keys.count(member)) continue;
      ImportRow row;
      std::string name;
      Mailbox(member, &name, &row.address);
      auto [at, isNew] = keyOfAddress.emplace(Lower(row.address), "<" + row.address + ">");
      member = at->second;
      if (!isNew) continue;
      // A bare address is named by itself, or by its local part when it
      // is longer than a name may be.
      if (name.empty())
        name = row.address.size() <= OVEL_MAX_NAME ? row.address
                                                   : row.address.substr(0, row.address.find('@'));
      SetName({"", "", "", "", "", name}, &row);
      row.line = group.line;
      row.key = member;
      added.push_back(row);
    }
  }
  rows->insert(rows->end(), added.begin(), added.end());
}

ReadResult ReadMutt(const std::string& text, const ReadOptions&) {
  ReadResult result;
  std::set<std::string> keys;
  int number = 0;
  for (const std::string& line : Lines(text)) {
    ++number;
    std::string trimmed = Trimmed(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    std::optional<std::string> key;
    result.rows.push_back(AliasRow(trimmed, number, &key));
    if (!result.rows.back().key.empty()) keys.insert(result.rows.back().key);
  }
  // An alias of one other alias is a group of one.
  for (ImportRow& row : result.rows) {
    if (!row.group && row.refused.empty() && row.address.find('@') == std::string::npos &&
        keys.count(row.address)) {
      row.group = true;
      row.members = {row.address};
    }
  }
  AddressMembers(keys, &result.rows);
  return result;
}

// A family name of several words as "Family, Given", which keeps it whole.
std::string AliasName(const Entry& e, Encoding encoding) {
  std::string name = ToUtf8(e.name, encoding);
  std::string family = ToUtf8(Surname(e), encoding);
  std::string given = ToUtf8(GivenNames(e), encoding);
  if (family.find(' ') != std::string::npos && !given.empty() &&
      name.find(',') == std::string::npos) {
    name = family + ", " + given;
  }
  return name;
}

std::string WriteMutt(const WholeBook& book, const WriteOptions& options) {
  std::set<std::string> used;
  std::vector<std::string> keys;
  for (const Entry& e : book.entries) keys.push_back(Key(ToUtf8(e.name, options.encoding), &used));
  std::string out;
  for (const Entry& e : book.entries) {
    std::string line = "alias " + keys[static_cast<size_t>(&e - book.entries.data())] + " ";
    if (e.group) {
      std::string members;
      for (int m : book.MembersOf(e)) {
        members += (members.empty() ? "" : ", ") + keys[static_cast<size_t>(m)];
      }
      if (members.empty()) continue;  // mutt has no empty alias
      line += members;
    } else {
      line +=
          Phrase(AliasName(e, options.encoding)) + " <" + ToUtf8(e.address, options.encoding) + ">";
    }
    if (!e.comment.empty()) line += " # " + OneLine(ToUtf8(e.comment, options.encoding));
    out += line + "\n";
  }
  return out;
}

}  // namespace

// The row of the table of formats (formats.cpp).
extern const Format kMuttFormat = {"mutt", "alias", IsMuttAliasText, ReadMutt, WriteMutt, nullptr};

}  // namespace addrbook
