// vCard: written as 4.0, read as phones and mail programs write it: 2.1
// (quoted-printable values in a CHARSET, PREF), 3.0 (TYPE=pref) and 4.0
// (PREF=1); folded lines, grouped properties (item1.EMAIL), base64 photos
// skipped.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string_view>
#include <utility>

#include "formats/format.h"
#include "formats/format_support.h"
#include "formats/import_groups.h"
#include "formats/vcard_lines.h"

namespace addrbook {
namespace {

// What a card has given so far.
struct CardState {
  ImportRow row;
  NameParts name;
  std::string email, phone, postal;
  int emailRank = 1000, phoneRank = 1000;  // the preference of the one kept
  bool own = false;                        // written by this tool: values kept with their blanks
};

ImportRow Finished(CardState& card) {
  ImportRow& row = card.row;
  auto clean = [&](const std::string& text) { return card.own ? text : Trimmed(text); };
  row.address = !card.email.empty()   ? clean(card.email)
                : !card.phone.empty() ? clean(card.phone)
                                      : card.postal;
  card.name.exact = card.own;
  if (row.group) {
    row.name = Trimmed(card.name.formatted);
  } else {
    SetName(std::move(card.name), &row);
  }
  return std::move(row);  // the card is done with
}

// The rank of a phone: preferred first (PREF, TYPE=pref), then mobile,
// business, home and other numbers; faxes and pagers last.
int PhoneRank(const std::string& params) {
  auto has = [&](const char* type) { return params.find(type) != std::string::npos; };
  int kind = has("CELL") || has("IPHONE") ? 0 : has("WORK") ? 1 : has("HOME") ? 2 : 3;
  if (has("FAX") || has("PAGER")) kind = 4;
  return Preference(params) * 5 + kind;
}

// The properties a card is read from; the others are skipped.
enum class Known {
  kOther,
  kFn,
  kN,
  kOrg,
  kEmail,
  kTel,
  kAdr,
  kNote,
  kProdid,
  kKind,
  kAbKind,
  kShowAs,
  kUid,
  kMember
};

Known KnownProperty(const std::string& name) {
  static const std::pair<std::string_view, Known> kNames[] = {
      {"FN", Known::kFn},
      {"N", Known::kN},
      {"ORG", Known::kOrg},
      {"EMAIL", Known::kEmail},
      {"TEL", Known::kTel},
      {"ADR", Known::kAdr},
      {"NOTE", Known::kNote},
      {"PRODID", Known::kProdid},
      {"KIND", Known::kKind},
      {"X-ADDRESSBOOKSERVER-KIND", Known::kAbKind},
      {"X-ABSHOWAS", Known::kShowAs},
      {"UID", Known::kUid},
      {"MEMBER", Known::kMember},
      {"X-ADDRESSBOOKSERVER-MEMBER", Known::kMember}};
  for (const auto& [text, known] : kNames) {
    if (text == name) return known;
  }
  return Known::kOther;
}

// A postal address: this tool's cards give the street exactly (blanks
// alone too); others every part that is there, joined.
std::string Postal(const std::string& value, bool own) {
  std::vector<std::string> parts = Components(value);
  if (own) return parts.size() > 2 ? parts[2] : std::string();
  std::string postal;
  for (const std::string& part : parts) {
    std::string trimmed = Trimmed(part);
    if (trimmed.empty()) continue;
    if (!postal.empty()) postal += ", ";
    postal += trimmed;
  }
  return postal;
}

// N: family name, given name, middle names, prefixes, suffixes.
void TakeNameParts(const std::string& value, NameParts* name) {
  std::vector<std::string> parts = Components(value);
  parts.resize(5);
  size_t i = 0;
  for (std::string* part :
       {&name->family, &name->given, &name->middle, &name->prefix, &name->suffix}) {
    *part = std::move(parts[i++]);
  }
}

// What one property of a card gives.
void Take(const Property& p, CardState* card) {
  NameParts& name = card->name;
  switch (KnownProperty(p.name)) {
    case Known::kFn:
      name.formatted = Text(p.value);
      break;
    case Known::kN:
      TakeNameParts(p.value, &name);
      break;
    case Known::kOrg:
      if (name.organisation.empty()) name.organisation = Text(p.value, ';');
      break;
    case Known::kEmail:
      if (int rank = Preference(p.params);
          rank < card->emailRank && !TrimmedView(p.value).empty()) {
        card->email = Text(p.value);  // the first of the most preferred
        card->emailRank = rank;
      }
      break;
    case Known::kTel:
      if (int rank = PhoneRank(p.params); rank < card->phoneRank && !TrimmedView(p.value).empty()) {
        card->phone = Text(p.value);
        card->phoneRank = rank;
        if (std::string trimmed = Trimmed(card->phone); trimmed.compare(0, 4, "tel:") == 0)
          card->phone = trimmed.substr(4);
      }
      break;
    case Known::kAdr:
      if (card->postal.empty()) card->postal = Postal(p.value, card->own);
      break;
    case Known::kNote:
      card->row.comment = Text(p.value);
      break;
    case Known::kProdid:
      card->own = p.value == kOwnProductId;
      break;
    case Known::kKind:
      if (Lower(p.value) == "org") name.organisationFirst = true;
      [[fallthrough]];
    case Known::kAbKind:
      if (Lower(p.value) == "group") card->row.group = true;
      break;
    case Known::kShowAs:
      if (Lower(p.value) == "company") name.organisationFirst = true;
      break;
    case Known::kUid:
      card->row.key = UidKey(Text(p.value));
      break;
    case Known::kMember:
      card->row.members.push_back(UidKey(Text(p.value)));
      break;
    case Known::kOther:
      break;
  }
}

bool IsVcardText(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  return start != std::string::npos && Lower(text.substr(start, 11)) == "begin:vcard";
}

bool Begins(const Property& p) { return p.name == "BEGIN" && Lower(p.value) == "vcard"; }

ReadResult ReadVcard(const std::string& text, const ReadOptions&) {
  ReadResult result;
  std::vector<ImportRow>* rows = &result.rows;
  rows->reserve(text.size() / 128);  // a card is rarely shorter; never moved while it grows
  bool inCard = false;
  CardState card;
  auto unfinished = [&] {
    ImportRow row = Finished(card);
    row.refused = "the card has no END:VCARD (is the file cut short?)";
    rows->push_back(row);
  };
  // A card within a card (vCard 2.1's AGENT) is part of the outer card:
  // skipped whole, its BEGIN and END counted.
  int embedded = 0;
  bool agentNext = false;
  ForEachProperty(text, [&](const Property& p) {
    if (embedded > 0) {
      embedded += Begins(p) ? 1 : p.name == "END" ? -1 : 0;
      return;
    }
    if (agentNext && Begins(p)) {
      agentNext = false;
      embedded = 1;
      return;
    }
    agentNext = false;
    if (Begins(p)) {
      if (inCard) unfinished();
      inCard = true;
      card = CardState();
      card.row.line = p.line;
      return;
    }
    if (!inCard) return;
    if (p.name == "AGENT") {
      std::string value = Lower(Trimmed(p.value));
      agentNext = value.empty();
      if (value == "begin:vcard") embedded = 1;
    } else if (p.name == "END") {
      inCard = false;
      rows->push_back(Finished(card));
    } else {
      Take(p, &card);
    }
  });
  if (inCard) unfinished();
  return result;
}

uint64_t Fnv1a(const std::string& text, uint64_t hash) {
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return hash;
}

// A URI that names an entry by what it holds (a plain entry's name and
// address, a group's name and comment), so that it stays the same across
// changes to other entries; `repeat` tells apart entries that hold the
// same.
std::string Uid(const Entry& e, int repeat) {
  std::string content =
      e.group ? "group\n" + e.name + '\n' + e.comment : "entry\n" + e.name + '\n' + e.address;
  if (repeat > 0) content += '\n' + std::to_string(repeat);
  uint64_t high = Fnv1a(content, 1469598103934665603ull);
  uint64_t low = Fnv1a(content, high ^ 0x9E3779B97F4A7C15ull);
  char text[64];
  std::snprintf(text, sizeof text, "urn:uuid:%08x-%04x-4%03x-8%03x-%012llx",
                static_cast<unsigned>(high >> 32), static_cast<unsigned>(high >> 16) & 0xFFFF,
                static_cast<unsigned>(high) & 0xFFF, static_cast<unsigned>(low >> 48) & 0xFFF,
                static_cast<unsigned long long>(low) & 0xFFFFFFFFFFFFull);
  return text;
}

// The UID of every entry, in order.
std::vector<std::string> Uids(const std::vector<Entry>& entries) {
  std::map<std::string, int> seen;
  std::vector<std::string> uids;
  for (const Entry& e : entries) {
    std::string key = (e.group ? "g" : "e") + e.name + '\n' + (e.group ? e.comment : e.address);
    uids.push_back(Uid(e, seen[key]++));
  }
  return uids;
}

std::string WriteVcard(const WholeBook& book, const WriteOptions& options) {
  std::string out;
  std::vector<std::string> uids = Uids(book.entries);
  auto utf8 = [&](const std::string& text) { return ToUtf8(text, options.encoding); };
  for (const Entry& e : book.entries) {
    Card card;
    card.uid = uids[static_cast<size_t>(&e - book.entries.data())];
    card.group = e.group;
    card.fullName = utf8(e.name);
    card.familyName = utf8(Surname(e));
    card.givenName = utf8(GivenNames(e));
    if (!e.group) card.address = utf8(e.address);
    card.note = utf8(e.comment);
    for (int m : book.MembersOf(e)) card.members.push_back(uids[static_cast<size_t>(m)]);
    out += VcardText(card);
  }
  return out;
}

}  // namespace

// The row of the table of formats (formats.cpp).
extern const Format kVcardFormat = {"vcard", "card", IsVcardText, ReadVcard, WriteVcard, nullptr};

}  // namespace addrbook
