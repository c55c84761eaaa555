// The addrbook tool's text helpers: encodings, CSV, vCard and JSON import.
#include <gtest/gtest.h>

#include <algorithm>

#include "formats/csv_fields.h"
#include "formats/format.h"
#include "formats/format_support.h"
#include "formats/vcard_lines.h"
#include "text/encoding.h"
#include "text/escaping.h"
#include "text/folding.h"
#include "text/suggestion.h"

using namespace addrbook;

TEST(Encoding, BookTextToUtf8AndBack) {
  std::string book = "Gr\xFC\xDF \x80 \x93q\x94 \x81";  // ü ß € “q” and an undefined byte
  std::string utf8 = ToUtf8(book, Encoding::kCp1252);
  EXPECT_EQ(utf8, "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xC2\x81");
  std::string error;
  EXPECT_EQ(FromUtf8(utf8, Encoding::kCp1252, &error), book);
  EXPECT_EQ(ToUtf8("\x80", Encoding::kLatin1), "\xC2\x80");
  EXPECT_EQ(FromUtf8("\xC2\x80", Encoding::kLatin1, &error), "\x80");
  EXPECT_EQ(ToUtf8("ok \xFF", Encoding::kUtf8), "ok \xEF\xBF\xBD");  // invalid byte replaced
  // UTF-16: a pair is one character; a lone surrogate a byte no book stores.
  EXPECT_EQ(FromUtf16(u"\u0141\U0001F600"), "\xC5\x81\xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf16(std::u16string{u'a', char16_t(0xD800), u'b'}),
            "a\xFF"
            "b");
}

TEST(Encoding, RefusesWhatTheBookCannotHold) {
  std::string error;
  EXPECT_FALSE(FromUtf8("\xE2\x82\xAC", Encoding::kLatin1, &error));  // € is not in Latin-1
  EXPECT_NE(error.find("cannot be stored"), std::string::npos);
  EXPECT_FALSE(FromUtf8("\xE4\xB8\xAD", Encoding::kCp1252, &error));  // 中
  EXPECT_FALSE(FromUtf8("\xC3", Encoding::kUtf8, &error));            // cut sequence
  EXPECT_FALSE(FromUtf8("\xC0\xAF", Encoding::kUtf8, &error));        // overlong
  EXPECT_EQ(FromUtf8("\xE4\xB8\xAD", Encoding::kUtf8, &error), "\xE4\xB8\xAD");
  EXPECT_EQ(Utf8Width("a\xC3\xBC\xE2\x82\xAC"), 3u);
  EXPECT_EQ(Utf8Width("\xE6\x9D\xB1\xE4\xBA\xAC"), 4u);  // two wide characters
  EXPECT_EQ(Utf8Prefix("\xE6\x9D\xB1\xE4\xBA\xAC", 3), "\xE6\x9D\xB1");
  EXPECT_EQ(Utf8Prefix("a\xC3\xBC\xE2\x82\xAC", 2), "a\xC3\xBC");
}

TEST(Csv, FieldsAreQuotedAndFormulasNeutralised) {
  EXPECT_EQ(CsvField("plain"), "plain");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(CsvField("=1+2"), "'=1+2");
  EXPECT_EQ(CsvField("-3"), "'-3");
  EXPECT_EQ(CsvField("@cmd"), "'@cmd");
  EXPECT_EQ(CsvField("\tx"), "\"'\tx\"");  // quoted: a tab may separate fields
  EXPECT_EQ(CsvLine({"a", "b,c", ""}), "a,\"b,c\",\r\n");
  EXPECT_EQ(CsvField("=1+2", false), "=1+2");
  // An import takes back exactly the guard an export adds.
  for (const char* text : {"=1+2", "-3", "@cmd", "'quoted", "'", "'=x", "''-1", "plain", ""}) {
    EXPECT_EQ(WithoutFormulaGuard(CsvField(text)), text);
  }
  EXPECT_EQ(DetectSeparator("name;address;comment\n"), ';');
  EXPECT_EQ(DetectSeparator("name\taddress\tcomment\n"), '\t');
  EXPECT_EQ(DetectSeparator("\"a;b;c\",address\n"), ',');
}

TEST(Csv, ParsesQuotesCommasAndLineBreaks) {
  std::vector<CsvRecord> records;
  std::string error;
  ASSERT_TRUE(ParseCsv("name,address\r\n\"Lee, Ann\",\"a\"\"b\"\n\n\"two\nlines\",x\nlast,y",
                       &records, &error));
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[1].fields, (std::vector<std::string>{"Lee, Ann", "a\"b"}));
  EXPECT_EQ(records[2].line, 4);
  EXPECT_EQ(records[2].fields, (std::vector<std::string>{"two\nlines", "x"}));
  EXPECT_EQ(records[3].line, 6);
  // A short record after a long one: no field of the long one is left.
  records.clear();
  ASSERT_TRUE(ParseCsv("a,b,c\nd\n\"e\"\"\",f\n", &records, &error));
  EXPECT_EQ(records[1].fields, (std::vector<std::string>{"d"}));
  EXPECT_EQ(records[2].fields, (std::vector<std::string>{"e\"", "f"}));
  EXPECT_FALSE(ParseCsv("a,\"open\n", &records, &error));
  EXPECT_NE(error.find("never closed"), std::string::npos);
  EXPECT_FALSE(ParseCsv("\"a\"b\n", &records, &error));
}

TEST(Vcard, EscapesFoldsAndKindsOfAddress) {
  EXPECT_EQ(VcardEscape("a,b;c\\d\ne\r\nf\rg"), "a\\,b\\;c\\\\d\\ne\\r\\nf\\rg");
  std::string longLine = "NOTE:" + std::string(100, 'x');
  std::string folded = VcardFold(longLine);
  EXPECT_EQ(folded.substr(0, 77), "NOTE:" + std::string(70, 'x') + "\r\n");
  EXPECT_EQ(folded.substr(77), " " + std::string(30, 'x') + "\r\n");
  // A two-octet character at the fold stays whole.
  std::string accents = "FN:" + std::string(71, 'a') + "\xC3\xBC" + "z";
  std::string foldedAccents = VcardFold(accents);
  EXPECT_EQ(foldedAccents.find("\xC3\r\n"), std::string::npos);
  EXPECT_EQ(foldedAccents.substr(0, 74), "FN:" + std::string(71, 'a'));
  EXPECT_TRUE(IsEmailAddress("ann@example.org"));
  EXPECT_FALSE(IsEmailAddress("12 Main Street"));
  EXPECT_FALSE(IsEmailAddress("a@b"));
  EXPECT_FALSE(IsEmailAddress("@example.org"));

  Card card{"urn:uuid:x", false, "Mary van Dyke", "van Dyke", "Mary", "12 Main St, Town",
            "hi;there",   {}};
  EXPECT_EQ(
      VcardText(card),
      "BEGIN:VCARD\r\nVERSION:4.0\r\nPRODID:-//ovel//addrbook//EN\r\nUID:urn:uuid:x\r\n"
      "FN:Mary van Dyke\r\n"
      "N:van Dyke;Mary;;;\r\nADR:;;12 Main St\\, Town;;;;\r\nNOTE:hi\\;there\r\nEND:VCARD\r\n");
  // Control characters other than tab (C0, DEL, C1) escaped, and read back.
  EXPECT_EQ(VcardEscape("a\x1b[31mb\tc\x7f\xc2\x9b"), "a\\x1b[31mb\tc\\x7f\\x9b");
  EXPECT_EQ(Text(VcardEscape("a\x1b\r\n\r\x7f\xc2\x9b")), "a\x1b\r\n\r\x7f\xc2\x9b");
  const struct {
    const char* address;
    const char* property;
  } kinds[] = {
      {"ann@example.org", "EMAIL:ann@example.org"},
      {"+49 (30) 123-456", "TEL;VALUE=text:+49 (30) 123-456"},
      {"12", "ADR:;;12;;;;"},
      {"1 Main St; Flat 2", "ADR:;;1 Main St\\; Flat 2;;;;"},
  };
  for (const auto& kind : kinds) EXPECT_EQ(AddressProperty(kind.address), kind.property);
  Card group{"urn:uuid:g", true, "Club", "", "", "", "", {"urn:uuid:a", "urn:uuid:b"}};
  EXPECT_EQ(VcardText(group),
            "BEGIN:VCARD\r\nVERSION:4.0\r\nPRODID:-//ovel//addrbook//EN\r\nKIND:group\r\n"
            "UID:urn:uuid:g\r\nFN:Club\r\n"
            "MEMBER:urn:uuid:a\r\nMEMBER:urn:uuid:b\r\nEND:VCARD\r\n");
}

// JSON of any shape or depth is refused or read, never a crash: fields of
// the wrong type, and nesting far past any book's.
TEST(Json, FieldsOfAnyTypeAndAnyDepthAreReadOrRefused) {
  const struct {
    std::string text;
    bool read;       // a list of entries was found
    size_t rows;     // entries given
    size_t refused;  // entries refused, or groups
  } cases[] = {
      {R"({"entries":[{"comment":[],"name":""}]})", true, 0, 1},
      {R"([{"name":"Ann Lee","address":null}])", true, 1, 0},
      {R"([{"name":"Ann Lee","address":"a@x","group":0}])", true, 1, 0},
      {R"([{"name":"Ann Lee","address":"a@x","group":1}])", true, 0, 1},
      {R"([{"name":"Ann Lee","comment":{"a":1}}, 7, "x"])", true, 0, 3},
      {R"([{"name":"100% Pure Ltd","address":"a@x"}])", true, 0, 1},
      {std::string(100000, '[') + std::string(100000, ']'), false, 0, 0},
      {R"({"entries":{"name":"x"}})", false, 0, 0},
  };
  for (const auto& c : cases) {
    ReadResult read = FormatNamed("json")->read(c.text, {});
    const std::vector<ImportRow>& rows = read.rows;
    EXPECT_EQ(read.error.empty(), c.read) << c.text.substr(0, 60);
    size_t refused = static_cast<size_t>(std::count_if(
        rows.begin(), rows.end(), [](auto& r) { return r.group || !r.refused.empty(); }));
    EXPECT_EQ(rows.size() - refused, c.rows) << c.text.substr(0, 60);
    EXPECT_EQ(refused, c.refused) << c.text.substr(0, 60);
  }
  // Malformed JSON is refused with its line.
  ReadResult read = FormatNamed("json")->read("[{\"name\": \"a\",\n \"address\": x}]", {});
  EXPECT_NE(read.error.find("line 2"), std::string::npos) << read.error;
}

// What could drive a terminal is escaped; everything else passes as it is.
TEST(Output, SafeTextEscapesWhatCouldDriveATerminal) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain Zo\xc3\xab \xe2\x82\xac", "plain Zo\xc3\xab \xe2\x82\xac"},
      {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},  // OSC: a window title
      {"a\xc2\x9b"
       "2J",
       "a\\x9b2J"},  // C1 CSI: clear the screen
      {"\xe2\x80\xae"
       "exe.txt",
       "\\u202eexe.txt"},                                // right-to-left override
      {"\xe2\x81\xa6x\xe2\x81\xa9", "\\u2066x\\u2069"},  // isolates
      {"\xff"
       "bad\x7f",
       "\\xffbad\\x7f"},  // not UTF-8; DEL
      // Marks that turn a line around, and separators that break it.
      {"a\xe2\x80\x8f\xe2\x80\x8e\xd8\x9c", "a\\u200f\\u200e\\u061c"},
      {"1\xe2\x80\xa8"
       "2\xe2\x80\xa9",
       "1\\u20282\\u2029"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(SafeText(in), out);
}

// Book text on each kind of output: no byte that is a control there goes
// through raw; a line break is a mark in a table.
TEST(Output, ShownTextInEveryOutputEncoding) {
  OutputOptions cp1252;  // a Windows-1252 book on a Windows-1252 terminal
  OutputOptions latin1 = cp1252;
  latin1.display = Encoding::kLatin1;
  OutputOptions utf8Book;
  utf8Book.encoding = Encoding::kUtf8;
  utf8Book.utf8 = true;
  OutputOptions table = utf8Book;
  table.markLineBreaks = true;
  OutputOptions cp1252Table = cp1252;
  cp1252Table.markLineBreaks = true;
  struct Case {
    const OutputOptions& options;
    std::string in, out;
  } cases[] = {
      {cp1252, "Zo\xeb \x80 \x81\x8d\x8f\x90\x9d", "Zo\xeb \x80 \\x81\\x8d\\x8f\\x90\\x9d"},
      {cp1252, "a\x1b[2Jb", "a\\x1b[2Jb"},
      {latin1, "\x80\x81\xe9", "\\u20ac\\x81\xe9"},                   // through UTF-8
      {utf8Book, "Jos\xe9 M\xc3\xbcller", "Jos\\xe9 M\xc3\xbcller"},  // a byte of no encoding
      {utf8Book, "one\ntwo", "one\\x0atwo"},
      {table, "one\r\ntwo\n\nthree\n",
       "one\xe2\x86\xb5two\xe2\x86\xb5\xe2\x86\xb5three\xe2\x86\xb5"},
      {cp1252Table, "\none\x1b", "\xb6one\\x1b"},
  };
  for (const Case& c : cases) EXPECT_EQ(ShownText(c.in, c.options), c.out) << c.in;
}

// Search as people type: one case, no accents, no apostrophes, in every
// book encoding; exact is byte for byte.
TEST(Search, FoldedAndExactMatching) {
  EXPECT_EQ(Folded("\xc3\x89mile M\xc3\xbcller \xc5\x92uvre Stra\xc3\x9f"
                   "e O'Neill"),
            "emile muller oeuvre strasse oneill");
  EXPECT_EQ(Folded("\xd0\x9c\xce\xa3 E\xcc\x81 \xc3\x97"), "\xd0\xbc\xcf\x83 e \xc3\x97");
  struct Case {
    std::string wanted, text;
    Encoding encoding;
    bool exact, holds;
  } cases[] = {
      {"muller", "Hans M\xfcller", Encoding::kCp1252, false, true},
      {"zoe", "Zo\xc3\xab Zed", Encoding::kUtf8, false, true},
      {"\xc3\xa9mile", "\xc3\x89mile", Encoding::kUtf8, false, true},  // é finds É
      {"\xc3\xa9mile", "\xc9mile", Encoding::kLatin1, false, true},
      {"\xc5\xa1"
       "ebek",
       "\x8a"
       "ebek",
       Encoding::kCp1252, false, true},  // š finds Š (0x8a)
      {"oneill", "Fran\xe7ois O'Neill", Encoding::kCp1252, false, true},
      {"zoe",
       "Zo\xeb"
       "e",
       Encoding::kCp1252, true, false},  // exact: bytes
      {"Zo\xeb", "Zo\xeb", Encoding::kCp1252, true, true},
      {"zoe", "Zo\xeb", Encoding::kCp1252, true, false},
      {"max", "M\xe4rz", Encoding::kCp1252, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextMatcher(c.wanted, c.encoding, c.exact).Holds(c.text), c.holds) << c.text;
  }
  TextMatcher fr("fran", Encoding::kCp1252, false);
  EXPECT_TRUE(fr.Begins("Fran\xe7ois"));
  EXPECT_FALSE(fr.Begins("Le Fran\xe7ois"));
  EXPECT_TRUE(TextMatcher("zoe zed", Encoding::kCp1252, false).Equals("Zo\xeb Zed"));
  EXPECT_FALSE(TextMatcher("zoe", Encoding::kCp1252, false).Equals("Zo\xeb Zed"));
}

// A book's encoding from its text; close matches for mistyped words.
TEST(Found, EncodingAndClosestWord) {
  EXPECT_EQ(FoundEncoding("Zo\xc3\xab"), Encoding::kUtf8);
  EXPECT_EQ(FoundEncoding("Zo\xeb"), Encoding::kCp1252);
  EXPECT_EQ(FoundEncoding("plain ASCII"), Encoding::kCp1252);
  EXPECT_EQ(FoundEncoding("Zo\xc3\xab and Ren\xe9"), Encoding::kCp1252);  // mixed: not UTF-8
  EXPECT_EQ(FoundEncoding(""), Encoding::kCp1252);
  const std::vector<std::string> options = {"--groups", "--format", "--exact", "--help"};
  EXPECT_EQ(ClosestWord("--fromat", options), "--format");
  EXPECT_EQ(ClosestWord("--FORMAT", options), "--format");
  EXPECT_EQ(ClosestWord("--group", options), "--groups");
  EXPECT_EQ(ClosestWord("--colour", options), "");
  const std::vector<std::string> commands = {"list", "add", "delete", "find"};
  EXPECT_EQ(ClosestWord("lst", commands), "list");
  EXPECT_EQ(ClosestWord("dleete", commands), "delete");
  EXPECT_EQ(ClosestWord("xyz", commands), "");
  EXPECT_EQ(TextLines("a\r\nb\rc\n"), (std::vector<std::string>{"a", "b", "c", ""}));
}
