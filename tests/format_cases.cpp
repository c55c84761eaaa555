#include "format_cases.h"

#include <gtest/gtest.h>

#include "formats/entry_rules.h"
#include "formats/import.h"

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
