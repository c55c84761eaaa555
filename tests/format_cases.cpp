#include "format_cases.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "formats/entry_rules.h"
#include "formats/import.h"
#include "text/search.h"

using namespace addrbook;

std::string RowText(const ImportRow& row) {
  std::string why, note;
  if (row.group) {
    note = "group";
  } else if (!BookEntryOf(row, Encoding::kCp1252, 0, &why)) {
    note = "refused: " + why;
  } else if (!row.shortened.empty()) {
    note = "shortened: " + row.shortened;
  }
  return std::to_string(row.line) + "|" + row.name + "|" + row.address + "|" + row.comment + "|" +
         note;
}

std::string Utf16(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

void CheckFiles(const std::vector<FileCase>& cases) {
  for (const FileCase& c : cases) {
    ReadOptions options;
    options.columns = c.columns;
    ImportText text;
    std::string error;
    bool read = ReadImport(c.bytes, options, &text, &error);
    SCOPED_TRACE(c.bytes.substr(0, 60));
    if (c.unit.empty()) {
      EXPECT_FALSE(read);
      EXPECT_NE(error.find(c.rows.at(0)), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(text.unit, c.unit);
    std::vector<std::string> rows;
    for (const ImportRow& row : text.rows) rows.push_back(RowText(row));
    EXPECT_EQ(rows, c.rows);
  }
}

void CheckRoundTrips(const std::vector<Entry>& entries, const std::vector<GroupMembers>& groups,
                     const std::map<std::string, std::string>& told) {
  // Each export, with and without the CSV formula guard, and each listing.
  struct Written {
    std::string format, text;
    bool guard;  // read as written: with the formula guard or without
    std::vector<std::string> notices;
  };
  std::vector<Written> files;
  for (const Format* format : Formats()) {
    for (bool guard : {true, false}) {
      std::vector<std::string> notices;
      std::string text = format->write({entries, groups}, {Encoding::kUtf8, guard, &notices});
      files.push_back({format->name, text, guard, notices});
    }
    OutputOptions listed;
    listed.encoding = Encoding::kUtf8;
    if (format->list) files.push_back({format->name, format->list(entries, listed), true, {}});
  }
  for (const auto& [name, written, guard, notices] : files) {
    SCOPED_TRACE(name + (guard ? "" : " without the formula guard"));
    // The entries told of, each as its index, "-" when it is left out.
    std::string toldOf;
    for (const Entry& e : entries) {
      std::string mark = "entry " + std::to_string(e.index) + " (";
      auto of = [&](const std::string& n) { return n.compare(0, mark.size(), mark) == 0; };
      auto first = std::find_if(notices.begin(), notices.end(), of);
      if (first == notices.end()) continue;
      bool left = std::any_of(first, notices.end(), [&](const std::string& n) {
        return of(n) && n.ends_with("; left out");
      });
      toldOf += std::to_string(e.index) + (left ? "-" : " ");
    }
    EXPECT_EQ(toldOf, told.count(name) ? told.at(name) : "");
    std::vector<std::string> want;  // as RowText gives them, without the line
    for (const Entry& e : entries) {
      size_t at = toldOf.find(std::to_string(e.index));
      if (at != std::string::npos && toldOf[at + 1] == '-') continue;
      want.push_back(at != std::string::npos
                         ? "told"
                         : (e.group ? e.name : StoredName(e)) + "|" + e.address + "|" + e.comment +
                               (e.group ? "|group" : "|"));
    }
    ReadOptions options;
    options.formulaGuard = guard;
    ImportText text;
    std::string error;
    ASSERT_TRUE(ReadImport(written, options, &text, &error)) << error;
    std::vector<std::string> got;
    for (const ImportRow& row : text.rows) {
      std::string shown = RowText(row);
      got.push_back(want.size() > got.size() && want[got.size()] == "told"
                        ? "told"
                        : shown.substr(shown.find('|') + 1));
    }
    EXPECT_EQ(got, want) << written;
  }
}
