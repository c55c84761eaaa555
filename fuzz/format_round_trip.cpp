#include "format_round_trip.h"

#include <cstdlib>
#include <string>

#include "formats/entry_rules.h"
#include "formats/format.h"
#include "formats/import.h"
#include "fuzz_support.h"
#include "store/entry.h"

using namespace addrbook;

namespace ovel_fuzz {

Entry Listed(int index, const std::string& stored, const std::string& address,
             const std::string& comment) {
  std::string shown = stored;
  for (char& c : shown) {
    if (c == '%') c = ' ';
  }
  return {index, false, ovel::SurnameOffset(stored.c_str()), shown, address, comment};
}

void CheckFormatRoundTrips(const std::vector<Entry>& entries, Encoding encoding) {
  std::vector<GroupMembers> noGroups;
  for (const Format* format : Formats()) {
    std::vector<std::string> notices;
    std::string text = format->write({entries, noGroups}, {encoding, true, &notices});
    std::vector<bool> told(entries.size()), leftOut(entries.size());
    for (const std::string& notice : notices) {
      size_t index = std::strtoul(notice.c_str() + 6, nullptr, 10);
      if (notice.compare(0, 6, "entry ") != 0 || index >= entries.size()) {
        Fail("a notice names no entry");
      }
      told[index] = true;
      leftOut[index] = leftOut[index] || notice.ends_with("; left out");
    }
    ImportText file;
    std::string error;
    if (!ReadImport(text, ReadOptions(), &file, &error) && !entries.empty()) {
      Fail("an export is refused whole");
    }
    size_t row = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (leftOut[i]) continue;
      if (row >= file.rows.size()) Fail("an export lost an entry it did not tell of");
      std::string why;
      auto back = BookEntryOf(file.rows[row++], encoding, 0, &why);
      if (told[i]) continue;
      if (!back) Fail("an exported entry is refused on import");
      Entry again = Listed(entries[i].index, back->name, back->address, back->comment);
      const Entry& e = entries[i];
      if (again.name != e.name || again.surnameOffset != e.surnameOffset ||
          again.address != e.address || again.comment != e.comment) {
        Fail("an export changed an entry without telling");
      }
    }
    if (row != file.rows.size()) Fail("an export gave more rows than entries");
  }
}

}  // namespace ovel_fuzz
