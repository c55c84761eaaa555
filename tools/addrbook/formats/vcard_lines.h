// vCard's content lines: writing a card of vCard 4.0 (RFC 6350), and
// reading the properties of any version, 2.1 to 4.0.  The vCard format
// (vcard.cpp) reads and writes through these.
#pragma once

#include <functional>
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

// The PRODID of the cards this tool writes: their values are read back
// exactly, blanks and all.
constexpr const char* kOwnProductId = "-//ovel//addrbook//EN";

// Escapes a property value: backslash, comma, semicolon and LF as RFC 6350
// does; CR as "\r" and the other control characters but tab (C0, DEL, C1)
// as "\x1b", which Components reads back.
std::string VcardEscape(const std::string& value);
// Folds a content line at 75 octets without splitting a UTF-8 character;
// the result ends in CRLF.
std::string VcardFold(const std::string& line);
// The property line (unfolded) that holds an address: EMAIL for an e-mail
// address, TEL for a phone number, else ADR with the text as its street.
std::string AddressProperty(const std::string& address);
std::string VcardText(const Card& card);

struct Property {
  std::string name;  // upper case, without parameters or group prefix
  std::string value;
  int line;
  std::string params;  // upper case, each after a ";"
};

// Hands `take` the properties of vCard text in turn: content lines unfolded
// (a line beginning with a space or tab goes on the one before; a
// quoted-printable line ending in "=" goes on with the next), each split
// into its name and value, the value decoded from the encoding and
// character set that its parameters name.  One at a time, so that a large
// file's properties are never all in memory.
void ForEachProperty(const std::string& text, const std::function<void(const Property&)>& take);
// How much a property is preferred: 1 to 100 (PREF=1 in vCard 4.0, a
// larger number counting as 100; PREF or TYPE=pref in 2.1 and 3.0 count
// as 1), 101 when it is not.
int Preference(const std::string& params);
// The components of a structured value split at `separator` (none when
// it is 0), unescaped ("\n", "\r" and the "\x1b" of VcardEscape too).
std::vector<std::string> Components(const std::string& value, char separator = ';');
// A text value, unescaped; with a `separator`, its first component.
std::string Text(const std::string& value, char separator = '\0');

}  // namespace addrbook
