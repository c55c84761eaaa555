// The tool's own JSON to import: list --format json (a list of entries)
// and export --format json ({"entries": [...]}).
#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>

#include "import.h"
#include "import_support.h"

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
std::optional<std::string> JsonText(const nlohmann::json& item, const char* key) {
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

}  // namespace

bool ReadJsonRows(const std::string& text, std::vector<ImportRow>* rows, std::string* error) {
  // This tool's JSON nests three deep; a document that nests deeper than
  // any address book is refused before it is parsed.
  if (JsonDepth(text) > 32) {
    *error = "not a list of entries (nested more than 32 deep)";
    return false;
  }
  nlohmann::json document;
  try {
    document = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error& e) {
    // "at line 3, column 7: syntax error while parsing ..."
    std::string what = e.what();
    size_t at = what.find("parse error ");
    *error = "not valid JSON " + (at == std::string::npos ? what : what.substr(at + 12));
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
  std::vector<int> lines = EntryLines(text, document.is_object() ? 2 : 1);
  size_t position = 0;
  for (const nlohmann::json& item : *list) {
    ImportRow row;
    row.line = position < lines.size() ? lines[position] : 1;
    ++position;
    std::optional<std::string> name = item.is_object() ? JsonText(item, "name") : std::nullopt;
    std::optional<std::string> address = item.is_object() ? JsonText(item, "address") : "";
    std::optional<std::string> comment = item.is_object() ? JsonText(item, "comment") : "";
    std::optional<std::string> surname = item.is_object() ? JsonText(item, "surname") : "";
    if (!name || !address || !comment || !surname) {
      row.refused = "not an entry (a name, address, comment and surname, each text)";
      rows->push_back(row);
      continue;
    }
    auto group = item.find("group");
    row.group = group != item.end() && ((group->is_boolean() && group->get<bool>()) ||
                                        (group->is_number() && group->get<double>() != 0));
    SetShownName(*name, *surname, &row);
    if (row.group) row.name = *name;
    row.address = *address;
    row.comment = *comment;
    rows->push_back(row);
  }
  return true;
}

}  // namespace addrbook
