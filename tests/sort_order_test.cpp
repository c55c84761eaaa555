// The order of sort keys: on Windows lstrcmpiA itself, on POSIX the table
// derived from it.  Both builds must sort alike; the fingerprint below is
// that of the order the real lstrcmpiA gives (under Wine, code page 1252).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "frame/platform.h"

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(SortOrder, KeysCompareAsLstrcmpiADoes) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  };
  const Case cases[] = {
      {"\xC4rzte", "Arzt", 1},      // Ä beside A ...
      {"\xC4rzte", "Bach", -1},     // ... not after Z
      {"Zz", "\xC5ngstr\xF6m", 1},  //
      {"ae", "\xE6", 0},            // æ weighs as "ae"
      {"Stra\xDF"
       "e",
       "strasse", 0},               // ß as "ss"
      {"Zo\xEB", "zoe", 1},         // accents after letters
      {"co-op", "coop", 1},         // a hyphen weighs after the letters
      {"co-op", "cop", -1},         //
      {"O'Brien", "Obrien", 1},     // so does an apostrophe
      {"van Dyke", "vanDyke", -1},  // a space is a character
      {"\xA0x", " x", 1},           // no-break space after space
      {"-", "", 1},                 //
      {"SMITH", "smith", 0},        // case is ignored
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(ovel::PlatformCompareNoCase(c.a, c.b)), c.order) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(ovel::PlatformCompareNoCase(c.b, c.a)), -c.order) << c.b << " / " << c.a;
  }
}

TEST(SortOrder, TenThousandRandomKeysSortAsOnWindows) {
  // Letters with and without accents, space, hyphen, apostrophe, digits,
  // punctuation, and the other bytes of code page 1252.
  std::string alphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 -'.,&%()"
      "\x8A\x8C\x8E\x96\x97\x9A\x9C\x9E\x9F\xA0\xAD\xB2";
  for (int c = 0xC0; c <= 0xFF; ++c) alphabet += static_cast<char>(c);
  for (int c = 1; c < 0x20; ++c) alphabet += static_cast<char>(c);
  std::mt19937 random(20261208);
  std::vector<std::string> keys;
  for (int i = 0; i < 10000; ++i) {
    std::string key;
    for (unsigned n = 1 + random() % 12; n > 0; --n) key += alphabet[random() % alphabet.size()];
    // Every tenth key is a near twin of an earlier one, so that keys that
    // differ only in accents, case or punctuation meet.
    if (i % 10 == 9) {
      key = keys[random() % keys.size()];
      key[random() % key.size()] = alphabet[random() % alphabet.size()];
    }
    keys.push_back(key);
  }
  std::vector<int> order(keys.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
    return ovel::PlatformCompareNoCase(keys[x].c_str(), keys[y].c_str()) < 0;
  });
  uint64_t fingerprint = 14695981039346656037ull;  // FNV-1a over the order
  for (int index : order) {
    for (int shift = 0; shift < 32; shift += 8) {
      fingerprint =
          (fingerprint ^ ((static_cast<unsigned>(index) >> shift) & 0xFF)) * 1099511628211ull;
    }
  }
  EXPECT_EQ(fingerprint, 17521200327186204829ull);
}

}  // namespace
