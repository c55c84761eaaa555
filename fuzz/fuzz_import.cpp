// The addrbook tool's import readers on any bytes: CSV (every separator,
// header or none), vCard 2.1 to 4.0 and the tool's JSON.  No input may
// crash a reader or make it read past what it was given; every row a
// reader gives has a line within the input.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "import.h"

using namespace addrbook;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  std::vector<ImportRow> rows;
  std::vector<std::string> skipped;
  std::string error;
  ReadCsvRows(text, &rows, &error);
  ReadJsonRows(text, &rows, &skipped, &error);
  if (IsVcardText(text)) ReadVcardRows(text, &rows, &skipped);
  for (const ImportRow& row : rows) {
    if (row.line < 0 || static_cast<size_t>(row.line) > lines + size) {
      ovel_fuzz::Fail("a row's line lies outside the input");
    }
  }
  return 0;
}
