// The tool's own JSON: list --format json (a list of entries) and export
// --format json ({"entries": [...]}), written and read back.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>

#include "formats/format.h"
#include "formats/format_support.h"

namespace addrbook {
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
std::optional<std::string> TextAt(const nlohmann::json& item, const char* key) {
  auto found = item.find(key);
  if (found == item.end() || found->is_null()) return std::string();
  if (!found->is_string()) return std::nullopt;
  return found->get<std::string>();
}

// The line of the text on which the `n`th (from 1) entry of the list
// begins: the line of its opening brace, found by counting objects that
// open at the list's depth.
std::vector<int> EntryLines(const std::string& text, size_t listDepth) {
  std::vector<int> lines;
  size_t depth = 0;
  int line = 1;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n') ++line;
    if (inString) {
      if (c == '\\') ++i;
      if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
      if (depth == listDepth) lines.push_back(line);
    } else if (c == '[' || c == '{') {
      if (depth == listDepth) lines.push_back(line);
      ++depth;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    } else if (depth == listDepth && c != ',' && c != ' ' && c != '\t' && c != '\r' && c != '\n' &&
               (i == 0 || std::string(",[ \t\r\n").find(text[i - 1]) != std::string::npos)) {
      lines.push_back(line);  // a number, true, false or null
    }
  }
  return lines;
}

// The list of entries in a document, or null (with `error`) when it holds
// none.
const nlohmann::json* EntryList(const std::string& text, nlohmann::json* document,
                                std::string* error) {
  // This tool's JSON nests three deep; a document that nests deeper than
  // any address book is refused before it is parsed.
  if (JsonDepth(text) > 32) {
    *error = "not a list of entries (nested more than 32 deep)";
    return nullptr;
  }
  try {
    *document = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    // "at line 3, column 7: syntax error while parsing ..."
    std::string what = e.what();
    size_t at = what.find("parse error ");
    *error = "not valid JSON " + (at == std::string::npos ? what : what.substr(at + 12));
    return nullptr;
  } catch (const nlohmann::json::exception& e) {
    // A number too large for a double: "[json.exception.out_of_range.406]
    // number overflow parsing '1E400'".
    std::string what = e.what();
    size_t at = what.find("] ");
    *error = "not valid JSON: " + (at == std::string::npos ? what : what.substr(at + 2));
    return nullptr;
  }
  const nlohmann::json* list = document;
  if (document->is_object()) {
    auto entries = document->find("entries");
    list = entries == document->end() ? nullptr : &*entries;
  }
  if (!list || !list->is_array()) {
    *error = "no list of entries";
    return nullptr;
  }
  return list;
}

// An entry's index (its key) and a group's members, as the export writes
// them.
void TakeGroupFields(const nlohmann::json& item, ImportRow* row) {
  auto key = [](const nlohmann::json& value) {
    return value.is_number_integer() ? std::to_string(value.get<long long>())
           : value.is_string()       ? value.get<std::string>()
                                     : std::string();
  };
  if (auto index = item.find("index"); index != item.end()) row->key = key(*index);
  auto members = item.find("members");
  if (!row->group || members == item.end() || !members->is_array()) return;
  for (const nlohmann::json& member : *members) row->members.push_back(key(member));
}

ImportRow RowOf(const nlohmann::json& item, int line) {
  ImportRow row;
  row.line = line;
  std::optional<std::string> name = item.is_object() ? TextAt(item, "name") : std::nullopt;
  std::optional<std::string> address = item.is_object() ? TextAt(item, "address") : "";
  std::optional<std::string> comment = item.is_object() ? TextAt(item, "comment") : "";
  std::optional<std::string> surname = item.is_object() ? TextAt(item, "surname") : "";
  if (!name || !address || !comment || !surname) {
    row.refused = "not an entry (a name, address, comment and surname, each text)";
    return row;
  }
  auto group = item.find("group");
  row.group = group != item.end() && ((group->is_boolean() && group->get<bool>()) ||
                                      (group->is_number() && group->get<double>() != 0));
  SetShownName(*name, *surname, &row);
  if (row.group) row.name = *name;
  row.address = *address;
  row.comment = *comment;
  TakeGroupFields(item, &row);
  return row;
}

bool IsJson(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string::npos && (text[first] == '[' || text[first] == '{');
}

ReadResult ReadJson(const std::string& text, const ReadOptions&) {
  ReadResult result;
  nlohmann::json document;
  const nlohmann::json* list = EntryList(text, &document, &result.error);
  if (!list) return result;
  std::vector<int> lines = EntryLines(text, document.is_object() ? 2 : 1);
  size_t position = 0;
  for (const nlohmann::json& item : *list) {
    result.rows.push_back(RowOf(item, position < lines.size() ? lines[position] : 1));
    ++position;
  }
  return result;
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

std::string WriteJson(const WholeBook& book, const WriteOptions& options) {
  nlohmann::json list = nlohmann::json::array();
  for (const Entry& e : book.entries) {
    nlohmann::json item = EntryJson(e, options.encoding, true);
    if (e.group) {
      item["members"] = nlohmann::json::array();
      for (int m : book.MembersOf(e)) item["members"].push_back(m);
    }
    list.push_back(item);
  }
  return nlohmann::json{{"entries", list}}.dump(2) + "\n";
}

std::string ListJson(const std::vector<Entry>& entries, const OutputOptions& options) {
  nlohmann::json list = nlohmann::json::array();
  for (const Entry& e : entries) list.push_back(EntryJson(e, options.encoding, options.showIndex));
  return list.dump(2) + "\n";
}

}  // namespace

// The row of the table of formats (formats.cpp).
extern const Format kJsonFormat = {"json", "entry", IsJson, ReadJson, WriteJson, ListJson};

}  // namespace addrbook
