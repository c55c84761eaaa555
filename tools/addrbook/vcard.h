// vCard 4.0 (RFC 6350) output.
#pragma once

#include <string>
#include <vector>

namespace addrbook {

struct Card {
  std::string uid;  // a URI
  bool group;
  std::string fullName;  // UTF-8
  std::string familyName;
  std::string givenName;
  std::string address;  // EMAIL, TEL, or else the street of an ADR
  std::string note;
  std::vector<std::string> members;  // member UIDs, for a group
};

// Escapes a property value (backslash, comma, semicolon, newline) and
// leaves out control characters other than tab.
std::string VcardEscape(const std::string& value);
// Folds a content line at 75 octets without splitting a UTF-8 character;
// the result ends in CRLF.
std::string VcardFold(const std::string& line);
bool IsEmailAddress(const std::string& text);
// Digits with the usual separators (spaces, "-", ".", "/", brackets, a
// leading "+"), at least three of them.
bool IsPhoneNumber(const std::string& text);
// The property line (unfolded) that holds an address: EMAIL for an e-mail
// address, TEL for a phone number, else ADR with the text as its street.
std::string AddressProperty(const std::string& address);
std::string VcardText(const Card& card);

}  // namespace addrbook
