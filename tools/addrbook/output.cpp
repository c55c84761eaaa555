#include "output.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

#include "csv.h"
#include "vcard.h"

namespace addrbook {
namespace {

std::string Shown(const std::string& text, const OutputOptions& options) {
  return ShownText(text, options);
}

size_t Width(const std::string& text, const OutputOptions& options) {
  return options.utf8 ? Utf8Width(text) : text.size();
}

std::string Cut(const std::string& text, size_t width, const OutputOptions& options) {
  if (Width(text, options) <= width) return text;
  // An ellipsis where the text is cut (one column).
  std::string mark = options.utf8 ? "\xE2\x80\xA6" : "~";
  if (width <= 1) return width ? mark : "";
  return (options.utf8 ? Utf8Prefix(text, width - 1) : text.substr(0, width - 1)) + mark;
}

std::string Pad(const std::string& text, size_t width, const OutputOptions& options) {
  size_t have = Width(text, options);
  return text + std::string(have < width ? width - have : 0, ' ');
}

std::string Surname(const Entry& e) {
  return e.name.substr(std::min<size_t>(static_cast<size_t>(e.surnameOffset), e.name.size()));
}

uint64_t Fnv1a(const std::string& text, uint64_t hash) {
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return hash;
}

// A URI that names an entry by what it holds (a plain entry's name and
// address, a group's name and comment), so that it stays the same across
// changes to other entries; `repeat` tells apart entries that hold the
// same.
std::string Uid(const Entry& e, int repeat) {
  std::string content =
      e.group ? "group\n" + e.name + '\n' + e.comment : "entry\n" + e.name + '\n' + e.address;
  if (repeat > 0) content += '\n' + std::to_string(repeat);
  uint64_t high = Fnv1a(content, 1469598103934665603ull);
  uint64_t low = Fnv1a(content, high ^ 0x9E3779B97F4A7C15ull);
  char text[64];
  std::snprintf(text, sizeof text, "urn:uuid:%08x-%04x-4%03x-8%03x-%012llx",
                static_cast<unsigned>(high >> 32), static_cast<unsigned>(high >> 16) & 0xFFFF,
                static_cast<unsigned>(high) & 0xFFF, static_cast<unsigned>(low >> 48) & 0xFFF,
                static_cast<unsigned long long>(low) & 0xFFFFFFFFFFFFull);
  return text;
}

// The UID of every entry, in order.
std::vector<std::string> Uids(const std::vector<Entry>& entries) {
  std::map<std::string, int> seen;
  std::vector<std::string> uids;
  for (const Entry& e : entries) {
    std::string key = (e.group ? "g" : "e") + e.name + '\n' + (e.group ? e.comment : e.address);
    uids.push_back(Uid(e, seen[key]++));
  }
  return uids;
}

nlohmann::json EntryJson(const Entry& e, Encoding encoding, bool withIndex) {
  nlohmann::json item = {{"name", ToUtf8(e.name, encoding)},
                         {"surname", ToUtf8(Surname(e), encoding)},
                         {"group", e.group},
                         {"address", e.group ? "" : ToUtf8(e.address, encoding)},
                         {"comment", ToUtf8(e.comment, encoding)}};
  if (withIndex) item["index"] = e.index;
  return item;
}

}  // namespace

std::string SafeText(const std::string& utf8) {
  std::string out;
  char escaped[8];
  for (size_t i = 0; i < utf8.size();) {
    size_t start = i;
    char32_t code;
    if (!DecodeUtf8(utf8, &i, &code)) {
      i = start + 1;
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(utf8[start]));
      out += escaped;
    } else if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(code));
      out += escaped;
    } else if ((code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069)) {
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(code));
      out += escaped;
    } else {
      out.append(utf8, start, i - start);
    }
  }
  return out;
}

std::string ShownUtf8(const std::string& utf8, const OutputOptions& options) {
  std::string safe = SafeText(utf8);
  if (options.utf8) return safe;
  std::string out, error;
  for (size_t i = 0; i < safe.size();) {
    size_t start = i;
    char32_t code = 0;
    if (!DecodeUtf8(safe, &i, &code)) i = start + 1;
    std::optional<std::string> shown =
        FromUtf8(safe.substr(start, i - start), options.display, &error);
    char escaped[16];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(code));
    out += shown ? *shown : escaped;
  }
  return out;
}

std::string ShownText(const std::string& text, const OutputOptions& options) {
  if (options.utf8) return SafeText(ToUtf8(text, options.encoding));
  if (options.display != options.encoding) {
    // Through UTF-8 into the output's own 8-bit encoding.
    return ShownUtf8(ToUtf8(text, options.encoding), options);
  }
  // The output's encoding is the book's: its bytes as they are, controls
  // escaped (C0 and DEL; C1 where Latin-1 has them).
  std::string out;
  for (char byte : text) {
    unsigned char c = static_cast<unsigned char>(byte);
    bool c1 = options.encoding == Encoding::kLatin1 && c >= 0x80 && c <= 0x9F;
    if (c < 0x20 || c == 0x7F || c1) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    } else {
      out += byte;
    }
  }
  return out;
}

std::string TableText(const std::vector<Entry>& entries, const OutputOptions& options) {
  size_t nameWidth = 4, addressWidth = 7, commentWidth = 0;
  for (const Entry& e : entries) {
    nameWidth = std::max(nameWidth, Width(Shown(e.name, options), options));
    addressWidth =
        std::max(addressWidth, Width(Shown(e.group ? "(group)" : e.address, options), options));
    commentWidth = std::max(commentWidth, Width(Shown(e.comment, options), options));
  }
  size_t fixed = (options.showIndex ? 7 : 0) + 2;
  if (options.columns > 0) {
    // Narrow the widest column a column at a time until a row fits.
    size_t room = static_cast<size_t>(options.columns);
    auto total = [&] {
      return fixed + nameWidth + 2 + addressWidth + (commentWidth ? 2 + commentWidth : 0);
    };
    while (total() > room) {
      size_t* widest = &nameWidth;
      if (addressWidth > *widest) widest = &addressWidth;
      if (commentWidth >= *widest) widest = &commentWidth;
      if (*widest <= 1) break;
      --*widest;
    }
  }
  std::string out;
  for (const Entry& e : entries) {
    std::string line;
    if (options.showIndex) {
      char index[16];
      std::snprintf(index, sizeof index, "%5d  ", e.index);
      line += index;
    }
    line += e.group ? "* " : "  ";
    std::string name = Cut(Shown(e.name, options), nameWidth, options);
    std::string padded = Pad(name, nameWidth, options);
    if (options.highlight) {
      // The surname (from its offset on) in bold, when it was not cut.
      std::string given =
          Shown(e.name.substr(0, std::min<size_t>(e.surnameOffset, e.name.size())), options);
      if (name == Shown(e.name, options) && given.size() <= padded.size()) {
        padded = given + "\x1b[1m" + padded.substr(given.size(), name.size() - given.size()) +
                 "\x1b[0m" + padded.substr(name.size());
      }
    }
    line += padded + "  ";
    line += Pad(Cut(Shown(e.group ? "(group)" : e.address, options), addressWidth, options),
                addressWidth, options);
    if (!e.comment.empty()) line += "  " + Cut(Shown(e.comment, options), commentWidth, options);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

std::string CsvText(const std::vector<Entry>& entries, const OutputOptions& options) {
  // The surname, so that an import gives back the name's split.
  std::vector<std::string> header = {"name", "address", "comment", "group", "surname"};
  if (options.showIndex) header.insert(header.begin(), "index");
  std::string out = CsvLine(header);
  for (const Entry& e : entries) {
    std::vector<std::string> fields = {ToUtf8(e.name, options.encoding),
                                       e.group ? "" : ToUtf8(e.address, options.encoding),
                                       ToUtf8(e.comment, options.encoding), e.group ? "1" : "0",
                                       ToUtf8(Surname(e), options.encoding)};
    if (options.showIndex) fields.insert(fields.begin(), std::to_string(e.index));
    out += CsvLine(fields);
  }
  return out;
}

std::string JsonText(const std::vector<Entry>& entries, const OutputOptions& options) {
  nlohmann::json list = nlohmann::json::array();
  for (const Entry& e : entries) list.push_back(EntryJson(e, options.encoding, options.showIndex));
  return list.dump(2) + "\n";
}

std::string ExportCsv(const std::vector<Entry>& entries, const std::vector<GroupMembers>& groups,
                      Encoding encoding, bool formulaGuard) {
  std::string out = CsvLine({"index", "name", "address", "comment", "group", "members", "surname"});
  for (const Entry& e : entries) {
    std::string members;
    for (const GroupMembers& g : groups) {
      if (g.group != e.index) continue;
      for (int m : g.members) {
        if (m < 0) continue;
        if (!members.empty()) members += ' ';
        members += std::to_string(m);
      }
    }
    out += CsvLine({std::to_string(e.index), ToUtf8(e.name, encoding),
                    e.group ? "" : ToUtf8(e.address, encoding), ToUtf8(e.comment, encoding),
                    e.group ? "1" : "0", members, ToUtf8(Surname(e), encoding)},
                   formulaGuard);
  }
  return out;
}

std::string ExportJson(const std::vector<Entry>& entries, const std::vector<GroupMembers>& groups,
                       Encoding encoding) {
  nlohmann::json list = nlohmann::json::array();
  for (const Entry& e : entries) {
    nlohmann::json item = EntryJson(e, encoding, true);
    if (e.group) {
      item["members"] = nlohmann::json::array();
      for (const GroupMembers& g : groups) {
        if (g.group != e.index) continue;
        for (int m : g.members) {
          if (m >= 0) item["members"].push_back(m);
        }
      }
    }
    list.push_back(item);
  }
  return nlohmann::json{{"entries", list}}.dump(2) + "\n";
}

std::string ExportVcard(const std::vector<Entry>& entries, const std::vector<GroupMembers>& groups,
                        Encoding encoding) {
  std::string out;
  std::vector<std::string> uids = Uids(entries);
  for (const Entry& e : entries) {
    Card card;
    card.uid = uids[static_cast<size_t>(&e - entries.data())];
    card.group = e.group;
    card.fullName = ToUtf8(e.name, encoding);
    size_t offset = std::min<size_t>(static_cast<size_t>(e.surnameOffset), e.name.size());
    std::string given = e.name.substr(0, offset);
    while (!given.empty() && given.back() == ' ') given.pop_back();
    card.familyName = ToUtf8(e.name.substr(offset), encoding);
    card.givenName = ToUtf8(given, encoding);
    if (!e.group) card.address = ToUtf8(e.address, encoding);
    card.note = ToUtf8(e.comment, encoding);
    for (const GroupMembers& g : groups) {
      if (g.group != e.index) continue;
      for (int m : g.members) {
        if (m >= 0) card.members.push_back(uids[static_cast<size_t>(m)]);
      }
    }
    out += VcardText(card);
  }
  return out;
}

}  // namespace addrbook
