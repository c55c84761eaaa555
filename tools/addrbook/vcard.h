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
  std::string address;  // EMAIL when it is an e-mail address, else X-ADDRESS
  std::string note;
  std::vector<std::string> members;  // member UIDs, for a group
};

// Escapes a property value (backslash, comma, semicolon, newline).
std::string VcardEscape(const std::string& value);
// Folds a content line at 75 octets without splitting a UTF-8 character;
// the result ends in CRLF.
std::string VcardFold(const std::string& line);
bool IsEmailAddress(const std::string& text);
std::string VcardText(const Card& card);

}  // namespace addrbook
