// The order of sort keys: the table derived from lstrcmpiA, on every system
// and code page.  sort_order_windows.inc holds the order the real
// lstrcmpiA gives the random keys below (under Wine, code page 1252), and
// a failure names the keys that differ.  sort_order_test_cp932 runs these
// under Windows' Japanese code page, where lstrcmpiA itself sorts
// otherwise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "frame/platform.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// The key indices of TenThousandRandomKeysSortAsOnWindows in the order
// lstrcmpiA sorts them (stable: equal keys keep their index order).
const int kWindowsOrder[] = {
#include "sort_order_windows.inc"
};

int Sign(int value) { return (value > 0) - (value < 0); }

// A key as C would write it, quoted: bytes outside printable ASCII as \xNN.
std::string Escaped(const std::string& key) {
  std::string shown = "\"";
  for (unsigned char c : key) {
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      shown += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      shown += hex;
    }
  }
  return shown + "\"";
}

// Keys of letters with and without accents, space, hyphen, apostrophe,
// digits, punctuation, and the other bytes of code page 1252.
std::vector<std::string> RandomKeys() {
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
  return keys;
}

#if defined(_WIN32)
// With OVEL_SORT_ORDER_OUT=FILE the test, run under Wine, writes the order
// lstrcmpiA gives the keys to FILE in the shape of sort_order_windows.inc:
// that makes the file anew when the keys change.
void WriteOrder(const char* path, const std::vector<int>& order) {
  FILE* file = std::fopen(path, "w");
  ASSERT_NE(file, nullptr) << path;
  std::fprintf(file, "// Written by sort_order_test.exe under Wine, OVEL_SORT_ORDER_OUT set.\n");
  for (size_t i = 0; i < order.size(); ++i) {
    std::fprintf(file, "%d,%s", order[i], i % 16 == 15 || i + 1 == order.size() ? "\n" : " ");
  }
  std::fclose(file);
}
#endif

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
    EXPECT_EQ(Sign(ovel::PlatformCompareNoCase(c.a, c.b)), c.order)
        << Escaped(c.a) << " / " << Escaped(c.b);
    EXPECT_EQ(Sign(ovel::PlatformCompareNoCase(c.b, c.a)), -c.order)
        << Escaped(c.b) << " / " << Escaped(c.a);
  }
}

TEST(SortOrder, TenThousandRandomKeysSortAsOnWindows) {
  const std::vector<std::string> keys = RandomKeys();
  std::vector<int> order(keys.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
    return ovel::PlatformCompareNoCase(keys[x].c_str(), keys[y].c_str()) < 0;
  });
#if defined(_WIN32)
  if (const char* path = std::getenv("OVEL_SORT_ORDER_OUT")) {
    std::vector<int> system_order = order;
    std::stable_sort(system_order.begin(), system_order.end(),
                     [&](int x, int y) { return lstrcmpiA(keys[x].c_str(), keys[y].c_str()) < 0; });
    WriteOrder(path, system_order);
  }
#endif
  ASSERT_EQ(order.size(), std::size(kWindowsOrder));

  // Where the order first departs from Windows', the key each puts there.
  auto departs = std::mismatch(order.begin(), order.end(), std::begin(kWindowsOrder));
  if (departs.first != order.end()) {
    const size_t at = departs.first - order.begin();
    ADD_FAILURE() << "the order departs from Windows' at position " << at << ": Windows puts key "
                  << *departs.second << " " << Escaped(keys[*departs.second])
                  << " there, this build key " << *departs.first << " "
                  << Escaped(keys[*departs.first]);
  }
  // The first two keys Windows sorts next to each other that compare the
  // other way round here (equal keys keep their index order).
  for (size_t i = 0; i + 1 < std::size(kWindowsOrder); ++i) {
    const int first = kWindowsOrder[i], second = kWindowsOrder[i + 1];
    const int order_here =
        Sign(ovel::PlatformCompareNoCase(keys[first].c_str(), keys[second].c_str()));
    if (order_here > 0 || (order_here == 0 && first > second)) {
      ADD_FAILURE() << "Windows sorts " << Escaped(keys[first]) << " before "
                    << Escaped(keys[second]) << ", this build compares them as " << order_here;
      break;
    }
  }
}

#if defined(_WIN32)
// sort_order_test_cp932 sets OVEL_CODE_PAGE=932 and a Japanese locale: the
// run shows the order whatever the code page only if Wine took it.
TEST(SortOrder, RunsInTheCodePageAsked) {
  const char* wanted = std::getenv("OVEL_CODE_PAGE");
  if (!wanted) GTEST_SKIP() << "OVEL_CODE_PAGE is not set";
  EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(wanted)));
}
#endif

}  // namespace
