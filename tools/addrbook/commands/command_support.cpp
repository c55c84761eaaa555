#include "commands/command_support.h"

#include <iostream>

#include "text/table.h"

namespace addrbook {

std::optional<std::string> BookText(const Settings& settings, const BookAccess& book,
                                    const std::string& argument) {
  std::string utf8 = argument;
  if (settings.locale == LocaleEncoding::kLatin1) utf8 = ToUtf8(argument, Encoding::kLatin1);
  if (settings.locale == LocaleEncoding::kCp1252) utf8 = ToUtf8(argument, Encoding::kCp1252);
  if (settings.locale == LocaleEncoding::kOther) {
    for (char c : argument) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        book.Fail("the locale's encoding is not one addrbook can convert; use a UTF-8 locale");
        return std::nullopt;
      }
    }
  }
  std::string error;
  std::optional<std::string> text = FromUtf8(utf8, settings.encoding, &error);
  if (!text) book.Fail(error);
  return text;
}

std::string ArgumentText(const Settings& settings, const std::string& argument) {
  if (settings.locale == LocaleEncoding::kLatin1) return ToUtf8(argument, Encoding::kLatin1);
  if (settings.locale == LocaleEncoding::kCp1252) return ToUtf8(argument, Encoding::kCp1252);
  return argument;
}

std::string DisplayName(std::string name) {
  for (char& c : name) {
    if (c == '%') c = ' ';
  }
  return name;
}

OutputOptions Shown(const Settings& settings) {
  OutputOptions shown;
  shown.encoding = settings.encoding;
  // A Latin-1 or Windows-1252 terminal is written in its own encoding; any
  // other in UTF-8.
  shown.utf8 =
      settings.output != LocaleEncoding::kLatin1 && settings.output != LocaleEncoding::kCp1252;
  shown.display =
      settings.output == LocaleEncoding::kLatin1 ? Encoding::kLatin1 : Encoding::kCp1252;
  return shown;
}

std::string Render(const std::vector<Entry>& entries, const std::string& format,
                   const Settings& settings, bool showIndex) {
  OutputOptions options = Shown(settings);
  options.showIndex = showIndex;
  if (const Format* listing = FormatNamed(format); listing && listing->list) {
    return listing->list(entries, options);
  }
  options.highlight = MayHighlight(stdout);
  options.columns = TerminalColumns();
  return TableText(entries, options);
}

bool Confirmed(const std::string& question, bool yes) {
  if (yes) return true;
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::cerr << "(no answer)\n";
    return false;
  }
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES";
}

int ListedPosition(const BookAccess& book, const std::vector<Entry>& entries, int index,
                   bool groups) {
  int counted = 0;
  for (const Entry& e : entries) {
    if ((groups || !e.group) && counted++ == index) return e.index;
  }
  book.Fail("no entry has index " + std::to_string(index));
  return -1;
}

int FindByName(const BookAccess& book, const Settings& settings, const std::vector<Entry>& entries,
               const std::string& byName) {
  auto wanted = BookText(settings, book, byName);
  if (!wanted) return -1;
  std::vector<Entry> matches;
  // The name in its stored form ("%") or as the book shows it.
  for (const Entry& e : entries) {
    if (e.name == DisplayName(*wanted)) matches.push_back(e);
  }
  if (matches.empty()) {
    book.Fail("no entry is named " + ArgumentText(settings, byName));
    return -1;
  }
  if (matches.size() > 1) {
    book.Fail("the name " + ArgumentText(settings, byName) +
              " is ambiguous; name the entry by its index (list --groups):");
    std::cerr << Render(matches, "table", settings, true);
    return -1;
  }
  return matches[0].index;
}

int ChosenPosition(const BookAccess& book, const Settings& settings,
                   const std::vector<Entry>& entries, const EntryChoice& choice) {
  return choice.index ? ListedPosition(book, entries, *choice.index, choice.groups)
                      : FindByName(book, settings, entries, choice.name);
}

}  // namespace addrbook
