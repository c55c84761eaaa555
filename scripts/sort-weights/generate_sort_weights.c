/* Writes the table by which the POSIX build orders 8-bit keys exactly as
 * lstrcmpiA does on a Western (code page 1252) Windows system.  Run under
 * Wine by scripts/make-sort-weights.sh; the output is
 * frame/platform/sort_weights_1252.inc.
 *
 * lstrcmpiA orders strings as their sort keys (LCMapStringA with
 * LCMAP_SORTKEY | NORM_IGNORECASE) compare byte by byte.  A key is, level
 * by level: the primary weights (2 bytes each) of every character that is
 * not a special one, 01, a diacritic weight per primary weight, 01, a case
 * weight per primary weight, 01, 01, then for every special character
 * (hyphen, apostrophe, dashes, control characters: they do not take part
 * in the first levels) its position (0xFFFF less the number of primary
 * weights before it) and its special weight, and 00.  Diacritic and case
 * weights of 2 at the end of their level are left out.  Each byte's own
 * key gives its weights at every level. */
#include <stdio.h>
#include <windows.h>

int main(void) {
  if (GetACP() != 1252) {
    fprintf(stderr, "the ANSI code page is %u, not 1252\n", GetACP());
    return 1;
  }
  printf(
      "// Sort weights of the bytes of code page 1252, as lstrcmpiA weighs them:\n"
      "// {primary weights, diacritic weights, case weights, count of primary\n"
      "// weights, special weight}.  Written by\n"
      "// scripts/sort-weights/generate_sort_weights.c; do not edit.\n");
  for (int byte = 0; byte < 256; ++byte) {
    unsigned short primary[2] = {0, 0};
    unsigned char diacritic[2] = {2, 2}, letterCase[2] = {2, 2};
    unsigned special = 0, count = 0;
    if (byte != 0) {
      char text = (char)byte;
      unsigned char key[64];
      int length = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, &text, 1,
                                (char*)key, sizeof key);
      int at = 0, level = 0, index = 0;
      if (length <= 0) return 2;
      while (at < length - 1) {
        if (key[at] == 1) {
          ++level;
          ++at;
          index = 0;
          continue;
        }
        if (level == 0) {
          if (count == 2) return 3;
          primary[count++] = (unsigned short)(key[at] << 8 | key[at + 1]);
          at += 2;
        } else if (level == 1 || level == 2) {
          if (index >= 2) return 4;
          (level == 1 ? diacritic : letterCase)[index++] = key[at++];
        } else if (level == 4 && at + 4 <= length - 1 && special == 0) {
          special = (unsigned)(key[at + 2] << 8 | key[at + 3]);
          at += 4;
        } else {
          fprintf(stderr, "byte %d: a key of a shape not known here\n", byte);
          return 5;
        }
      }
    }
    printf("{{0x%04x, 0x%04x}, {%u, %u}, {%u, %u}, %u, 0x%04x},  // 0x%02X\n", primary[0],
           primary[1], diacritic[0], diacritic[1], letterCase[0], letterCase[1], count, special,
           byte);
  }
  return 0;
}
