// Random books exported in every format and imported again: every entry
// comes back as it was (name, surname, address, comment), or the export
// said what it could not carry for that entry.  The books are Windows-1252
// text with edge and repeated spaces, "%" joins, line breaks (CR, LF,
// CRLF), commas, quotes, "#", brackets, controls and accents.  It runs
// for FORMAT_PROPERTY_SECONDS (default 10) and FORMAT_PROPERTY_SEED, when
// set, repeats a run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "formats/entry_rules.h"
#include "formats/format.h"
#include "formats/import.h"
#include "store/entry.h"

using namespace addrbook;

namespace {

// Pieces of text that formats find hard, in Windows-1252.
const std::vector<std::string> kWords = {
    "Ann",      "Lee",    "van",       "de",      "la",      "M\xFCller",
    "Jos\xE9",  "\xC5sa", "O'Neil",    "\"Q\"",   "Lee,",    "(x)",
    "<y>",      "#1",     "a\\b",      "caf\xE9", "\x80uro", "\x81\x8D\x8F\x90\x9D",
    "\x1B[31m", "\x7F",   "tab\there", "\tlead",  "x;y",     "=1+2",
    "-x",       "@at",    ":c",        "<lt",     "100",     "\xDF",
    "\x8C\xF8"};
const std::vector<std::string> kBreaks = {"\n", "\r", "\r\n"};

struct Random {
  std::mt19937 engine;
  size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(engine); }
  bool OneIn(size_t n) { return Below(n) == 0; }
  const std::string& Word() { return kWords[Below(kWords.size())]; }
};

// A stored name: words joined by spaces (one or more) or "%", edges blank
// at times, within the book's limit.
std::string RandomName(Random& r) {
  std::string name = r.OneIn(6) ? " " : r.OneIn(20) ? "%" : "";
  size_t words = 1 + r.Below(3);
  for (size_t w = 0; w < words; ++w) {
    if (w > 0) name += r.OneIn(3) ? "%" : r.OneIn(4) ? "  " : " ";
    name += r.Word();
  }
  if (r.OneIn(6)) name += r.OneIn(4) ? "%" : " ";
  if (r.OneIn(10)) name += kBreaks[r.Below(3)] + "x";
  if (name.size() > kMaxName) name.resize(kMaxName);
  if (name.find_first_not_of(" %") == std::string::npos) name = "Zed";
  return name;
}

std::string RandomAddress(Random& r) {
  switch (r.Below(6)) {
    case 5:
      return r.OneIn(4) ? " " : r.Word() + kBreaks[r.Below(3)] + r.Word();
    case 0:
      return "ann.lee@example.org";
    case 1:
      return (r.OneIn(2) ? "\"" + r.Word() + "\"" : r.Word()) + "@x.org";
    case 2:
      return "+46 8 123 45 67";
    case 3:
      return "12 Main St, Town";
    default:
      return (r.OneIn(2) ? " " : "") + r.Word() + " " + r.Word() + (r.OneIn(2) ? " " : "");
  }
}

std::string RandomComment(Random& r) {
  std::string comment;
  size_t pieces = r.Below(5);
  for (size_t p = 0; p < pieces; ++p) {
    comment += r.OneIn(3) ? kBreaks[r.Below(3)] : r.OneIn(3) ? "  " : " ";
    comment += r.Word();
  }
  if (r.OneIn(4)) comment += " ";
  return comment;
}

// An entry as the book lists it for a stored name.
Entry Listed(int index, const std::string& stored, const std::string& address,
             const std::string& comment) {
  std::string shown = stored;
  for (char& c : shown) {
    if (c == '%') c = ' ';
  }
  return {index, false, ovel::SurnameOffset(stored.c_str()), shown, address, comment};
}

std::string Describe(const Entry& e) {
  return "[" + e.name + "|" + std::to_string(e.surnameOffset) + "|" + e.address + "|" + e.comment +
         "]";
}

// One book through one format: every entry back as it was, or told.
void CheckRoundTrip(const Format& format, const std::vector<Entry>& book) {
  std::vector<std::string> notices;
  std::vector<GroupMembers> noGroups;
  std::string text = format.write({book, noGroups}, {Encoding::kCp1252, true, &notices});
  std::vector<bool> told(book.size()), leftOut(book.size());
  for (const std::string& notice : notices) {
    size_t index = std::strtoul(notice.c_str() + 6, nullptr, 10);
    ASSERT_LT(index, book.size()) << notice;
    told[index] = true;
    leftOut[index] = leftOut[index] || notice.ends_with("; left out");
  }
  ImportText file;
  std::string error;
  ReadOptions options;
  ASSERT_TRUE(ReadImport(text, options, &file, &error) || book.empty()) << error << "\n" << text;
  size_t row = 0;
  for (size_t i = 0; i < book.size(); ++i) {
    if (leftOut[i]) continue;
    ASSERT_LT(row, file.rows.size()) << "entry " << i << " lost\n" << text;
    std::string why;
    auto back = BookEntryOf(file.rows[row++], Encoding::kCp1252, 0, &why);
    if (told[i]) continue;
    ASSERT_TRUE(back) << "entry " << i << " " << Describe(book[i]) << ": " << why << "\n" << text;
    Entry again = Listed(book[i].index, back->name, back->address, back->comment);
    EXPECT_EQ(Describe(again), Describe(book[i])) << "entry " << i << " changed silently\n" << text;
    if (Describe(again) != Describe(book[i])) return;
  }
  EXPECT_EQ(row, file.rows.size()) << text;
}

}  // namespace

TEST(FormatProperty, RandomBooksComeBackOrAreTold) {
  const char* seconds = std::getenv("FORMAT_PROPERTY_SECONDS");
  const char* seedText = std::getenv("FORMAT_PROPERTY_SEED");
  auto limit = std::chrono::seconds(seconds ? std::atoi(seconds) : 10);
  unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                           : std::random_device()();
  Random r{std::mt19937(seed)};
  auto start = std::chrono::steady_clock::now();
  size_t books = 0;
  while (std::chrono::steady_clock::now() - start < limit && !HasFailure()) {
    std::vector<Entry> book;
    size_t size = 1 + r.Below(8);
    for (size_t i = 0; i < size; ++i) {
      book.push_back(
          Listed(static_cast<int>(i), RandomName(r), RandomAddress(r), RandomComment(r)));
    }
    for (const Format* format : Formats()) {
      SCOPED_TRACE(std::string(format->name) + ", FORMAT_PROPERTY_SEED=" + std::to_string(seed));
      CheckRoundTrip(*format, book);
    }
    ++books;
  }
  std::printf("%zu random books through %zu formats (FORMAT_PROPERTY_SEED=%u)\n", books,
              Formats().size(), seed);
}
