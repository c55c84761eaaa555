#include "formats/case_folding.h"

#include "text/encoding.h"

namespace addrbook {
namespace {

char32_t Folded(char32_t c) {
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

}  // namespace

std::string FoldCase(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    size_t at = i;
    char32_t code;
    if (DecodeUtf8(utf8, &i, &code)) {
      AppendUtf8(&out, Folded(code));
    } else {
      i = at + 1;
      out += utf8[at];
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
  return out;
}

std::string Unaccented(char32_t c) {
  // Latin-1 from U+00C0, one letter each ('?' where there is none).
  static const char kLatin1[] = "AAAAAAACEEEEIIIIDNOOOOO?OUUUUYTsaaaaaaaceeeeiiiidnooooo?ouuuuyty";
  // Latin Extended-A from U+0100.
  static const char kExtendedA[] =
      "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiJjJjKkkLlLlLlLlLlNnNnNnnNnOoOoOoOoRrRrRr"
      "SsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
  if (c == 0xC6) return "AE";
  if (c == 0xE6) return "ae";
  if (c == 0xDF) return "ss";
  if (c == 0xDE) return "TH";
  if (c == 0xFE) return "th";
  if (c == 0x152) return "OE";
  if (c == 0x153) return "oe";
  if (c >= 0xC0 && c <= 0xFF && kLatin1[c - 0xC0] != '?') return std::string(1, kLatin1[c - 0xC0]);
  if (c >= 0x100 && c <= 0x17F) return std::string(1, kExtendedA[c - 0x100]);
  return "";
}

}  // namespace addrbook
