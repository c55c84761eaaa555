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
  AppendUtf8(out, LowerLetter(code));
}

}  // namespace

char32_t LowerLetter(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c == 0x178) return 0xFF;
  // Latin Extended-A: pairs of capital and small letter, the capital even
  // in two runs and odd in the two others.
  bool evenCapital = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
  bool oddCapital = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if ((evenCapital && c % 2 == 0) || (oddCapital && c % 2 == 1)) return c + 1;
  // Greek: the capitals, with and without their tonos.
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 0x25;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 0x3F;
  if (c == 0x3C2) return 0x3C3;  // final sigma
  // Cyrillic: the basic capitals, those with marks, and the pairs after.
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  bool cyrillicPair =
      (c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F);
  if (cyrillicPair && c % 2 == 0) return c + 1;
  if (c >= 0x4C1 && c <= 0x4CE && c % 2 == 1) return c + 1;
  return c;
}

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
