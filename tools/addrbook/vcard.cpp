#include "vcard.h"

namespace addrbook {

std::string VcardEscape(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\\' || c == ',' || c == ';') {
      out += '\\';
      out += c;
    } else if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
      continue;  // CRLF becomes one \n
    } else if (c == '\n' || c == '\r') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string VcardFold(const std::string& line) {
  std::string out;
  size_t taken = 0;
  size_t limit = 75;  // octets on the first line; 74 after the leading space
  while (line.size() - taken > limit) {
    size_t cut = taken + limit;
    while (cut > taken && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out.append(line, taken, cut - taken);
    out += "\r\n ";
    taken = cut;
    limit = 74;
  }
  out.append(line, taken, std::string::npos);
  return out + "\r\n";
}

bool IsEmailAddress(const std::string& text) {
  size_t at = text.find('@');
  if (at == std::string::npos || at == 0 || at + 1 >= text.size()) return false;
  if (text.find('@', at + 1) != std::string::npos) return false;
  if (text.find_first_of(" \t\r\n,;<>\"") != std::string::npos) return false;
  size_t dot = text.find('.', at + 1);
  return dot != std::string::npos && dot > at + 1 && dot + 1 < text.size();
}

std::string VcardText(const Card& card) {
  std::string out = "BEGIN:VCARD\r\nVERSION:4.0\r\n";
  if (card.group) out += "KIND:group\r\n";
  out += VcardFold("UID:" + card.uid);
  out += VcardFold("FN:" + VcardEscape(card.fullName));
  if (!card.group) {
    out +=
        VcardFold("N:" + VcardEscape(card.familyName) + ";" + VcardEscape(card.givenName) + ";;;");
    if (!card.address.empty()) {
      out += VcardFold((IsEmailAddress(card.address) ? "EMAIL:" : "X-ADDRESS:") +
                       VcardEscape(card.address));
    }
  }
  for (const std::string& member : card.members) out += VcardFold("MEMBER:" + member);
  if (!card.note.empty()) out += VcardFold("NOTE:" + VcardEscape(card.note));
  return out + "END:VCARD\r\n";
}

}  // namespace addrbook
