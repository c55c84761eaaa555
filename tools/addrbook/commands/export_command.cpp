// addrbook export: the whole book in a format of the table of formats.
#include <iostream>
#include <map>
#include <tuple>

#include "commands/commands.h"
#include "formats/entry_rules.h"
#include "text/platform_text.h"

namespace addrbook {
namespace {

// The direct members of every group, as indexes of `entries`; nullopt
// (reported) when a group's members cannot be read.
std::optional<std::vector<GroupMembers>> AllGroupMembers(BookAccess& book,
                                                         const std::vector<Entry>& entries,
                                                         Encoding encoding) {
  std::map<std::tuple<bool, std::string, std::string>, int> byKey;
  for (const Entry& e : entries) {
    byKey.emplace(std::make_tuple(e.group, e.name, e.group ? std::string() : e.address), e.index);
  }
  std::vector<GroupMembers> groups;
  for (const Entry& e : entries) {
    if (!e.group) continue;
    GroupMembers g{e.index, {}};
    auto members = book.Expand(e.name, false, ToUtf8(e.name, encoding));
    if (!members) return std::nullopt;
    for (const Entry& m : *members) {
      auto found = byKey.find(std::make_tuple(m.group, m.name, m.address));
      g.members.push_back(found == byKey.end() ? -1 : found->second);
    }
    groups.push_back(g);
  }
  return groups;
}

}  // namespace

int ExportBook(BookAccess& book, const Settings& settings, const std::string& format,
               bool formulaGuard, bool bom) {
  auto entries = book.Entries(true);
  if (!entries) return 1;
  // The whole book or nothing: a group whose members cannot be read
  // fails the export before a byte is written.
  auto members = AllGroupMembers(book, *entries, settings.encoding);
  if (!members) return book.Fail("nothing was exported");
  std::vector<std::string> notices;
  if (const Format* writer = FormatNamed(format)) {
    if (bom) std::cout << "\xEF\xBB\xBF";
    std::cout << writer->write({*entries, *members}, {settings.encoding, formulaGuard, &notices});
  }
  if (!std::cout.flush()) return book.Fail("the export could not be written out in full");
  for (const std::string& notice : notices) {
    std::cerr << "export: " << ShownUtf8(notice, Shown(settings)) << "\n";
  }
  if (notices.empty()) return 0;
  std::cerr << "export: " << format << " could not carry everything as it is (said above)\n";
  return 1;
}

}  // namespace addrbook
