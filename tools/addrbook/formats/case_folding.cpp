#include "formats/case_folding.h"

#include "text/encoding.h"
#include "text/folding.h"

namespace addrbook {

std::string FoldCase(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    size_t at = i;
    char32_t code;
    if (DecodeUtf8(utf8, &i, &code)) {
      AppendUtf8(&out, LowerLetter(code));
    } else {
      i = at + 1;
      out += utf8[at];
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '\t')) out.pop_back();
  return out;
}

}  // namespace addrbook
