#include "mutt_alias.h"

#include <algorithm>
#include <set>

#include "import_support.h"

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

}  // namespace

bool IsMuttAliasText(const std::string& text) {
  return FirstContentLine(text).compare(0, 6, "alias ") == 0;
}

void ReadMuttAliases(const std::string& text, std::vector<ImportRow>* rows) {
  std::vector<std::string> keys;
  int number = 0;
  for (std::string line : Lines(text)) {
    ++number;
    line = Trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    ImportRow row;
    row.line = number;
    // alias [-group NAME]... KEY ADDRESS[, ADDRESS]... [# comment]; the
    // addresses as they are written, spaces and all.
    size_t next = 0;
    auto word = [&] {
      size_t begin = line.find_first_not_of(" \t", next);
      if (begin == std::string::npos) begin = line.size();
      next = std::min(line.find_first_of(" \t", begin), line.size());
      return line.substr(begin, next - begin);
    };
    if (word() != "alias") {
      row.refused = "not an alias line";
      rows->push_back(row);
      continue;
    }
    std::string key = word();
    while (key == "-group" || key == "-nogroup") {
      word();
      key = word();
    }
    std::string rest = Trimmed(line.substr(next));
    std::vector<std::string> comment = SplitOutside(rest, '#');
    if (comment.size() > 1) {
      row.comment = Trimmed(rest.substr(comment[0].size() + 1));
      rest = comment[0];
    }
    std::vector<std::string> addresses = SplitOutside(rest, ',');
    if (addresses.size() > 1) {
      row.group = true;
      row.name = key;
      rows->push_back(row);
      continue;
    }
    std::string name;
    Mailbox(addresses[0], &name, &row.address);
    if (name.empty()) name = key;
    // "Family, Given": the family name whole, however many its words.
    size_t comma = name.find(',');
    if (comma != std::string::npos && name.find(',', comma + 1) == std::string::npos &&
        !Trimmed(name.substr(0, comma)).empty() && !Trimmed(name.substr(comma + 1)).empty()) {
      SetName({"", name.substr(comma + 1), "", name.substr(0, comma), "", ""}, &row);
    } else {
      SetName({"", "", "", "", "", name}, &row);
    }
    keys.push_back(key);
    rows->push_back(row);
  }
  // An alias of one other alias is a group of one.
  std::set<std::string> known(keys.begin(), keys.end());
  for (ImportRow& row : *rows) {
    if (!row.group && row.refused.empty() && row.address.find('@') == std::string::npos &&
        known.count(row.address)) {
      row.group = true;
    }
  }
}

std::string ExportMuttAliases(const std::vector<Entry>& entries,
                              const std::vector<GroupMembers>& groups, Encoding encoding) {
  std::set<std::string> used;
  std::vector<std::string> keys;
  for (const Entry& e : entries) keys.push_back(Key(ToUtf8(e.name, encoding), &used));
  std::string out;
  for (const Entry& e : entries) {
    std::string key = keys[static_cast<size_t>(&e - entries.data())];
    std::string line = "alias " + key + " ";
    if (e.group) {
      std::string members;
      for (const GroupMembers& g : groups) {
        if (g.group != e.index) continue;
        for (int m : g.members) {
          if (m >= 0) members += (members.empty() ? "" : ", ") + keys[static_cast<size_t>(m)];
        }
      }
      if (members.empty()) continue;  // mutt has no empty alias
      line += members;
    } else {
      // A family name of several words as "Family, Given", which keeps it
      // whole.
      std::string name = ToUtf8(e.name, encoding);
      size_t offset = std::min<size_t>(static_cast<size_t>(e.surnameOffset), e.name.size());
      std::string family = ToUtf8(e.name.substr(offset), encoding);
      std::string given = ToUtf8(e.name.substr(0, offset), encoding);
      while (!given.empty() && given.back() == ' ') given.pop_back();
      if (family.find(' ') != std::string::npos && !given.empty() &&
          name.find(',') == std::string::npos) {
        name = family + ", " + given;
      }
      line += Phrase(name) + " <" + ToUtf8(e.address, encoding) + ">";
    }
    if (!e.comment.empty()) line += " # " + OneLine(ToUtf8(e.comment, encoding));
    out += line + "\n";
  }
  return out;
}

}  // namespace addrbook
