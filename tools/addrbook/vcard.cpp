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
    } else if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
      continue;  // RFC 6350 leaves control characters out of TEXT values
    } else if (static_cast<unsigned char>(c) == 0xC2 && i + 1 < value.size() &&
               static_cast<unsigned char>(value[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(value[i + 1]) <= 0x9F) {
      ++i;  // a C1 control character, in UTF-8
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

bool IsPhoneNumber(const std::string& text) {
  int digits = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (!(c == ' ' || c == '-' || c == '(' || c == ')' || c == '.' || c == '/' ||
                 (c == '+' && i == 0))) {
      return false;
    }
  }
  return digits >= 3;
}

std::string AddressProperty(const std::string& address) {
  if (IsEmailAddress(address)) return "EMAIL:" + VcardEscape(address);
  if (IsPhoneNumber(address)) return "TEL;VALUE=text:" + VcardEscape(address);
  // Anything else, whole, as the street of a postal address.
  return "ADR:;;" + VcardEscape(address) + ";;;;";
}

std::string VcardText(const Card& card) {
  std::string out = "BEGIN:VCARD\r\nVERSION:4.0\r\n";
  if (card.group) out += "KIND:group\r\n";
  out += VcardFold("UID:" + card.uid);
  out += VcardFold("FN:" + VcardEscape(card.fullName));
  if (!card.group) {
    out +=
        VcardFold("N:" + VcardEscape(card.familyName) + ";" + VcardEscape(card.givenName) + ";;;");
    if (!card.address.empty()) out += VcardFold(AddressProperty(card.address));
  }
  for (const std::string& member : card.members) out += VcardFold("MEMBER:" + member);
  if (!card.note.empty()) out += VcardFold("NOTE:" + VcardEscape(card.note));
  return out + "END:VCARD\r\n";
}

}  // namespace addrbook
