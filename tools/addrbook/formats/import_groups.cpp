#include "formats/import_groups.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "formats/csv_fields.h"
#include "formats/format_support.h"

namespace addrbook {
namespace {

// The column of the first of `names` (lower case) that the header holds;
// -1 when none.
int ColumnNamed(const std::vector<std::string>& header, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    for (size_t i = 0; i < header.size(); ++i) {
      if (Lower(Trimmed(header[i])) == name) return static_cast<int>(i);
    }
  }
  return -1;
}

// The values of a cell split at any of `separators` (each a string),
// trimmed, empty ones left out.
std::vector<std::string> Split(const std::string& cell,
                               std::initializer_list<const char*> separators) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= cell.size()) {
    size_t end = cell.size(), length = 0;
    for (const char* s : separators) {
      size_t found = cell.find(s, at);
      if (found < end) end = found, length = std::char_traits<char>::length(s);
    }
    std::string part = Trimmed(cell.substr(at, end - at));
    if (!part.empty()) parts.push_back(part);
    if (end == cell.size()) break;
    at = end + length;
  }
  return parts;
}

// Google's labels: "* myContacts" and "* starred" (and their older
// spellings) are every contact's, not groups; "* Friends" is a group.
std::vector<std::string> GoogleLabels(const std::string& cell) {
  std::vector<std::string> labels;
  for (std::string label : Split(cell, {":::"})) {
    std::string lower = CaseFolded(label);
    if (lower == "* mycontacts" || lower == "* starred" || lower == "* my contacts" ||
        lower == "* starred in android") {
      continue;
    }
    if (label.compare(0, 2, "* ") == 0) label = Trimmed(label.substr(2));
    if (!label.empty()) labels.push_back(label);
  }
  return labels;
}

}  // namespace

std::string CaseFolded(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string UidKey(const std::string& uri) {
  std::string key = CaseFolded(Trimmed(uri));
  if (key.compare(0, 9, "urn:uuid:") == 0) key.erase(0, 9);
  return key;
}

std::string DnKey(const std::string& dn) {
  std::string key;
  for (size_t i = 0; i < dn.size(); ++i) {
    char c = dn[i];
    if (c == '\\' && i + 1 < dn.size()) {
      key += c;
      key += CaseFolded(std::string(1, dn[++i]));
      continue;
    }
    if (c == ',' || c == '=' || c == '+') {
      while (!key.empty() && key.back() == ' ') key.pop_back();
      key += c;
      while (i + 1 < dn.size() && dn[i + 1] == ' ') ++i;
      continue;
    }
    key += CaseFolded(std::string(1, c));
  }
  return Trimmed(key);
}

CsvGroupColumns FindCsvGroupColumns(const std::vector<std::string>& header) {
  CsvGroupColumns columns;
  columns.index = ColumnNamed(header, {"index"});
  columns.members = ColumnNamed(header, {"members"});
  columns.google = ColumnNamed(header, {"labels", "group membership"});
  columns.categories = ColumnNamed(header, {"categories", "kategorien", "catégories", "categorías",
                                            "categorie", "categorieën", "categorias"});
  return columns;
}

void TakeCsvGroupCells(const CsvGroupColumns& columns, const std::vector<std::string>& fields,
                       ImportRow* row) {
  static const std::string kNone;
  auto cell = [&](int column) -> const std::string& {
    return column >= 0 && static_cast<size_t>(column) < fields.size()
               ? fields[static_cast<size_t>(column)]
               : kNone;
  };
  if (columns.index >= 0) row->key = Trimmed(cell(columns.index));
  if (row->group && columns.members >= 0) row->members = Split(cell(columns.members), {" "});
  if (columns.google >= 0) row->labels = GoogleLabels(cell(columns.google));
  if (columns.categories >= 0) row->labels = Split(cell(columns.categories), {";", ","});
}

void AddLabelGroups(std::vector<ImportRow>* rows) {
  std::vector<ImportRow> groups;
  std::map<std::string, size_t> byName;
  for (size_t r = 0; r < rows->size(); ++r) {
    ImportRow& row = (*rows)[r];
    if (row.labels.empty()) continue;
    if (row.key.empty()) row.key = "row " + std::to_string(r);
    for (const std::string& label : row.labels) {
      auto [at, added] = byName.emplace(label, groups.size());
      if (added) {
        ImportRow group;
        group.line = row.line;
        group.group = true;
        group.name = label;
        groups.push_back(group);
      }
      groups[at->second].members.push_back(row.key);
    }
  }
  rows->insert(rows->end(), groups.begin(), groups.end());
}

std::vector<GroupFound> FindGroupMembers(const std::vector<ImportRow>& rows) {
  // The first row of each key, and of each address.
  std::map<std::string, size_t> byKey, byAddress;
  for (size_t r = 0; r < rows.size(); ++r) {
    if (!rows[r].key.empty()) byKey.emplace(rows[r].key, r);
    if (!rows[r].group && !rows[r].address.empty()) {
      byAddress.emplace(CaseFolded(rows[r].address), r);
    }
  }
  std::vector<GroupFound> found;
  for (size_t r = 0; r < rows.size(); ++r) {
    if (!rows[r].group) continue;
    GroupFound group{r, {}, {}};
    std::set<size_t> seen;
    for (const std::string& member : rows[r].members) {
      std::optional<size_t> row;
      if (auto at = byKey.find(member); at != byKey.end()) {
        row = at->second;
      } else if (CaseFolded(member).compare(0, 7, "mailto:") == 0) {
        auto by = byAddress.find(CaseFolded(member.substr(7)));
        if (by != byAddress.end()) row = by->second;
      }
      if (!row) {
        group.missing.push_back(member);
      } else if (seen.insert(*row).second) {
        group.members.push_back(*row);
      }
    }
    found.push_back(group);
  }
  return found;
}

}  // namespace addrbook
