// mutt's alias files: "alias KEY Name <address>" lines, a group as an
// alias of several addresses or aliases.  Read: one row per alias, "Name
// <address>", "address (Name)" or a bare address, the comment from a
// "# comment" after it.  Written: a key made from each name, each entry
// with a mail address as a mailbox, each group an alias of its members'
// keys; the comment escaped on one line.
#include <algorithm>
#include <map>
#include <set>

#include "formats/format.h"
#include "formats/format_support.h"
#include "formats/mutt_text.h"
#include "ovel.h"

namespace addrbook {
namespace {

// The first line of the alias files this tool writes: their names and
// comments are read back exactly.
constexpr const char* kOwnHeading = "# mutt aliases written by addrbook";

bool IsMuttAliasText(const std::string& text) {
  return FirstContentLine(text).compare(0, 6, "alias ") == 0 ||
         text.compare(0, std::string(kOwnHeading).size(), kOwnHeading) == 0;
}

// The row of one alias line: alias [-group NAME]... KEY ADDRESS[,
// ADDRESS]... [# comment], the addresses as they are written, spaces and
// all, its key in the row; `bare` when an alias of one address has it
// written alone (perhaps another alias's key).
ImportRow AliasRow(const std::string& line, int number, bool own, bool* bare) {
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
    std::string text = rest.substr(comment[0].size() + 1);
    row.comment =
        own ? UnescapedComment(text.substr(text.compare(0, 1, " ") == 0 ? 1 : 0)) : Trimmed(text);
    rest = comment[0];
  }
  // A comma after the last address ends no other one.
  std::vector<std::string> addresses;
  for (const std::string& part : SplitOutside(rest, ',')) {
    if (!Trimmed(part).empty()) addresses.push_back(part);
  }
  row.key = alias;
  if (addresses.size() > 1) {
    row.group = true;
    row.name = alias;
    for (const std::string& address : addresses) {
      if (!Trimmed(address).empty()) row.members.push_back(Trimmed(address));
    }
    return row;
  }
  PhraseText name;
  ReadMailbox(addresses.empty() ? "" : addresses[0], &name, &row.address, bare);
  if (name.text.empty()) name.text = alias;
  // "Family, Given": the family name whole, however many its words.
  const std::string& text = name.text;
  size_t comma = name.comma;
  NameParts parts;
  parts.exact = own;
  if (comma != std::string::npos && (own || (!Trimmed(text.substr(0, comma)).empty() &&
                                             !Trimmed(text.substr(comma + 1)).empty()))) {
    parts.family = text.substr(0, comma);
    parts.given = text.substr(comma + 1);
    if (own && parts.given.compare(0, 1, " ") == 0) parts.given.erase(0, 1);
  } else {
    parts.formatted = text;
  }
  SetName(parts, &row);
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
      PhraseText phrase;
      bool bare = false;
      ReadMailbox(member, &phrase, &row.address, &bare);
      std::string name = phrase.text;
      auto [at, isNew] = keyOfAddress.emplace(Lower(row.address), "<" + row.address + ">");
      member = at->second;
      if (!isNew) continue;
      // A bare address is named by itself, or by its local part when it
      // is longer than a name may be.
      if (name.empty())
        name = row.address.size() <= OVEL_MAX_NAME ? row.address
                                                   : row.address.substr(0, row.address.find('@'));
      NameParts parts;
      parts.formatted = name;
      SetName(parts, &row);
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
  std::vector<bool> bare;
  bool own = text.compare(0, std::string(kOwnHeading).size(), kOwnHeading) == 0;
  int number = 0;
  for (const std::string& line : Lines(text)) {
    ++number;
    std::string trimmed = Trimmed(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    bool alone = false;
    result.rows.push_back(AliasRow(own ? line : trimmed, number, own, &alone));
    bare.push_back(alone);
    if (!result.rows.back().key.empty()) keys.insert(result.rows.back().key);
  }
  // An alias of one other alias, written alone, is a group of one.
  for (size_t i = 0; i < result.rows.size(); ++i) {
    ImportRow& row = result.rows[i];
    if (!row.group && row.refused.empty() && bare[i] && keys.count(row.address)) {
      row.group = true;
      row.members = {row.address};
    }
  }
  AddressMembers(keys, &result.rows);
  return result;
}

// The mailbox of an entry: the name as shown, or "Family, Given" when the
// book would not find its surname as the last word; the address as an RFC
// 5322 address.
std::string EntryMailbox(const Entry& e, const WriteOptions& options) {
  bool controls = false;
  auto utf8 = [&](const std::string& text) {
    std::string line = ToUtf8(text, options.encoding);
    for (char& c : line) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        controls = true;
        c = ' ';
      }
    }
    return line;
  };
  std::string address = ToUtf8(e.address, options.encoding), mailbox;
  size_t start = SurnameStart(e);
  if (SplitByLastWord(e) && e.name.find(',') == std::string::npos) {
    mailbox = MailboxText(utf8(e.name), nullptr, address);
  } else {
    std::string given = utf8(e.name.substr(0, start > 0 ? start - 1 : 0));
    mailbox = MailboxText(utf8(e.name.substr(start)), &given, address);
  }
  if (controls)
    Tell(options, e, "mutt holds no line break or control in a name; written as a space");
  return mailbox;
}

std::string WriteMutt(const WholeBook& book, const WriteOptions& options) {
  std::set<std::string> used;
  std::vector<std::string> keys;
  for (const Entry& e : book.entries) {
    bool written = e.group || IsMailAddress(ToUtf8(e.address, options.encoding));
    keys.push_back(written ? AliasKey(ToUtf8(e.name, options.encoding), &used) : "");
  }
  std::string out = std::string(kOwnHeading) + "\n";
  for (const Entry& e : book.entries) {
    const std::string& key = keys[static_cast<size_t>(&e - book.entries.data())];
    if (key.empty()) {
      Tell(options, e, "mutt aliases hold mail addresses only; left out");
      continue;
    }
    std::string line = "alias " + key + " ";
    if (e.group) {
      std::string members;
      for (int m : book.MembersOf(e)) {
        if (keys[static_cast<size_t>(m)].empty()) continue;
        members += (members.empty() ? "" : ", ") + keys[static_cast<size_t>(m)];
      }
      if (members.empty()) continue;  // mutt has no empty alias
      line += members;
    } else {
      line += EntryMailbox(e, options);
    }
    if (!e.comment.empty()) line += " # " + EscapedComment(ToUtf8(e.comment, options.encoding));
    out += line + "\n";
  }
  return out;
}

}  // namespace

// The row of the table of formats (formats.cpp).
extern const Format kMuttFormat = {"mutt", "alias", IsMuttAliasText, ReadMutt, WriteMutt, nullptr};

}  // namespace addrbook
