// The commands that read the book: list, find, mutt-query, show, expand.
#include <iostream>

#include "commands/commands.h"
#include "formats/mutt_text.h"
#include "text/search.h"

namespace addrbook {

int ListBook(BookAccess& book, const Settings& settings, bool groups, const std::string& format) {
  auto entries = book.Entries(groups);
  if (!entries) return 1;
  std::cout << Render(*entries, format, settings, true);
  return 0;
}

namespace {

std::optional<std::vector<Entry>> Matching(BookAccess& book, const Settings& settings,
                                           const std::string& text, bool groups) {
  auto wanted = BookText(settings, book, text);
  if (!wanted) return std::nullopt;
  auto entries = book.Entries(true);
  if (!entries) return std::nullopt;
  std::vector<Entry> matches;
  for (const Entry& e : *entries) {
    if (EntryMatches(e, *wanted) && (groups || !e.group)) matches.push_back(e);
  }
  return matches;
}

}  // namespace

int FindEntries(BookAccess& book, const Settings& settings, const std::string& text,
                const std::string& format) {
  auto matches = Matching(book, settings, text, true);
  if (!matches) return 1;
  std::cout << Render(*matches, format, settings, true);
  return matches->empty() ? 1 : 0;
}

int AnswerMuttQuery(BookAccess& book, const Settings& settings, const std::string& text) {
  auto matches = Matching(book, settings, text, false);
  if (!matches) return 1;
  // Mail addresses only: a phone number or street is no answer to a mail
  // client.
  std::erase_if(*matches, [&](const Entry& e) {
    return !IsMailAddress(ToUtf8(e.address, settings.encoding));
  });
  // The format mail clients expect of an external address query: tabs
  // and line breaks within a field would break it.  Mail clients read it
  // as UTF-8.
  auto field = [&](const std::string& text) {
    std::string utf8 = ToUtf8(text, settings.encoding);
    for (char& c : utf8) {
      if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return SafeText(utf8);
  };
  std::cout << "addrbook: " << matches->size()
            << (matches->size() == 1 ? " entry matches\n" : " entries match\n");
  for (const Entry& e : *matches) {
    std::cout << field(e.address) << "\t" << field(e.name) << "\t" << field(e.comment) << "\n";
  }
  return matches->empty() ? 1 : 0;
}

int ShowEntry(BookAccess& book, const Settings& settings, const EntryChoice& choice) {
  auto entries = book.Entries(true);
  if (!entries) return 1;
  int target = ChosenPosition(book, settings, *entries, choice);
  if (target < 0) return 1;
  const Entry& entry = (*entries)[static_cast<size_t>(target)];
  OutputOptions shown = Shown(settings);
  std::cout << "name:     " << ShownText(entry.name, shown) << "\n"
            << "surname:  " << ShownText(Surname(entry), shown) << "\n";
  if (!entry.group) std::cout << "address:  " << ShownText(entry.address, shown) << "\n";
  if (!entry.comment.empty()) std::cout << "comment:  " << ShownText(entry.comment, shown) << "\n";
  if (entry.group) {
    std::cout << "members:\n" << Render(book.Members(entry.name, false), "table", settings, false);
  }
  return 0;
}

int ExpandGroup(BookAccess& book, const Settings& settings, const std::string& group,
                bool recursive, const std::string& format) {
  auto wanted = BookText(settings, book, group);
  if (!wanted || !book.Entries(true)) return 1;
  std::vector<Entry> members = book.Members(*wanted, recursive);
  if (members.empty())
    return book.Fail("no group named " + ArgumentText(settings, group) + " has members");
  std::cout << Render(members, format, settings, false);
  return 0;
}

}  // namespace addrbook
