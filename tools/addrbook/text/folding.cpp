#include "text/folding.h"

namespace addrbook {
namespace {

// Base letters of U+00C0-U+00FF: '.' for a letter folded to two ("ae",
// "th", "ss"), '=' for a sign that stays (multiplication, division).
const char kLatin1Bases[] =
    "aaaaaa.ceeeeiiiidnooooo=ouuuuy.."
    "aaaaaa.ceeeeiiiidnooooo=ouuuuy.y";
// Base letters of U+0100-U+017F (Latin Extended-A); '.' for "ij", "oe".
const char kExtendedBases[] =
    "aaaaaaccccccccddddeeeeeeeeeegggggggghhhhiiiiiiiiii..jjkkk"
    "llllllllllnnnnnnnnnoooooo..rrrrrrsssssssstttttt"
    "uuuuuuuuuuuuwwyyyzzzzzzs";

// The folded form of one character, appended.
void AppendFolded(std::string* out, char32_t code) {
  if (code >= 'A' && code <= 'Z') code += 32;
  if (code == '\'' || code == 0x2019 || code == 0x02BC) return;  // apostrophes
  if (code >= 0x0300 && code <= 0x036F) return;                  // combining marks
  if (code >= 0xC0 && code <= 0xFF && kLatin1Bases[code - 0xC0] != '=') {
    char base = kLatin1Bases[code - 0xC0];
    if (base != '.') {
      *out += base;
    } else {
      *out += code == 0xC6 || code == 0xE6 ? "ae" : code == 0xDF ? "ss" : "th";
    }
    return;
  }
  if (code >= 0x100 && code <= 0x17F) {
    char base = kExtendedBases[code - 0x100];
    *out += base != '.' ? std::string(1, base) : code <= 0x133 ? "ij" : "oe";
    return;
  }
  if ((code >= 0x391 && code <= 0x3A9) || (code >= 0x410 && code <= 0x42F)) code += 0x20;
  if (code >= 0x400 && code <= 0x40F) code += 0x50;
  AppendUtf8(out, code);
}

}  // namespace

std::string Folded(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    char32_t code;
    NextCharacter(utf8, &i, &code);
    AppendFolded(&out, code);
  }
  return out;
}

TextMatcher::TextMatcher(const std::string& wanted, Encoding encoding, bool exact)
    : wanted_(exact ? wanted : Folded(wanted)), encoding_(encoding), exact_(exact) {}

std::string TextMatcher::Key(const std::string& bookText) const {
  return exact_ ? bookText : Folded(ToUtf8(bookText, encoding_));
}

bool TextMatcher::Holds(const std::string& bookText) const {
  return Key(bookText).find(wanted_) != std::string::npos;
}

bool TextMatcher::Equals(const std::string& bookText) const { return Key(bookText) == wanted_; }

bool TextMatcher::Begins(const std::string& bookText) const {
  return Key(bookText).compare(0, wanted_.size(), wanted_) == 0;
}

}  // namespace addrbook
