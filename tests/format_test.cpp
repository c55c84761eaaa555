// The addrbook tool's file formats at unit level: for each format a table
// of files (bytes in, through the import's front end) and the rows they
// give, each row with what the book makes of it; then each format's
// writer and reader in turn giving back the entries of a book.
#include "formats/format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format_cases.h"
#include "formats/entry_rules.h"
#include "formats/import.h"
#include "formats/import_groups.h"
#include "text/search.h"

using namespace addrbook;

TEST(FormatCsv, FilesGiveRows) {
  CheckFiles({
      // Google Contacts: a multi-value cell, only a phone, a name too long
      // whole, an empty row; CRLF line ends.
      {"First Name,Middle Name,Last Name,Name Prefix,Name Suffix,E-mail 1 - Value,"
       "Phone 1 - Value,Notes\r\nMary,,van Dyke,,,mary@x.org ::: m@work.org,,from google\r\n"
       "Phone,,Only,,,,+49 30 1234 ::: +49 30 5678,\r\n"
       "Maximiliane,Theodora,Wolkenstein,Dr.,Jr.,max@x.org,,\r\n,,,,,,,\r\n",
       "",
       "row",
       {"2|Mary van%Dyke|mary@x.org|from google|", "3|Phone Only|+49 30 1234||",
        "4|Maximiliane Wolkenstein|max@x.org||shortened: the middle name, the prefix and the "
        "suffix",
        "5|||"
        "|refused: the name is empty"}},
      // Hand-made: refusals by the book's rules, a quoted line break.
      {"name,address,comment\nGood One,g@x.org,\n,missing@x.org,\n"
       "A name that is far too long,x,\n\"Two\nLines\",y,z\n",
       "",
       "row",
       {"2|Good One|g@x.org||", "3|missing@x.org|missing@x.org||",
        "4|A name that is far too long|x||refused: the name is longer than 24 characters",
        "5|Two\nLines|y|z|"}},
      // Outlook in German: ";" separated, Windows-1252 bytes.
      {"\"Vorname\";\"Nachname\";\"E-Mail-Adresse\";\"Notizen\"\r\n\"J\xFCrgen\";\"M\xFCller\";"
       "\"j@x.org\";\"de\"\r\n",
       "",
       "row",
       {"2|J\xC3\xBCrgen M\xC3\xBCller|j@x.org|de|"}},
      // UTF-16 with its byte order mark; a name cp1252 cannot hold.
      {Utf16(u"name,address\n\u0141 Lee,l@x.org\nJos\u00e9 Ruiz,j@x.org\n"),
       "",
       "row",
       {"2|\xC5\x81 Lee|l@x.org||refused: the character \xC5\x81 cannot be stored in cp1252",
        "3|Jos\xC3\xA9 Ruiz|j@x.org||"}},
      // Columns named on the command line; CR line ends alone.
      {"Kontakt;Post;Info\rAnn Lee;ann@x.org;by hand\r",
       "name=Kontakt,address=2,comment=Info",
       "row",
       {"2|Ann Lee|ann@x.org|by hand|"}},
      {"No Header,nohead@x.org,first line\n", "", "row", {"1|No Header|nohead@x.org|first line|"}},
      {"name, address, comment\nAnn Lee, ann@x.org, spaces after commas\n",
       "",
       "row",
       {"2|Ann Lee|ann@x.org|spaces after commas|"}},
      // Headers of other programs and languages: Google's old CSV,
      // Thunderbird's, Outlook's in French, Spanish, Italian, Dutch and
      // Portuguese.
      {"Name,Given Name,Additional Name,Family Name,E-mail 1 - Value\nOlga Old,Olga,,Old,o@x.org\n",
       "",
       "row",
       {"2|Olga Old|o@x.org||"}},
      {"First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,Notes\n"
       "Tina,Bird,Tina Bird,,t@x.org,,tb\n",
       "",
       "row",
       {"2|Tina Bird|t@x.org|tb|"}},
      {"Vorname,Nachname,Anzeigename,Prim\xC3\xA4re E-Mail-Adresse,Notizen\nTina,Vogel,Tina Vogel,"
       "t@x.de,\n",
       "",
       "row",
       {"2|Tina Vogel|t@x.de||"}},
      {"Pr\xC3\xA9nom;Nom;Adresse de messagerie\nA;B;fr@x.org\n", "", "row", {"2|A B|fr@x.org||"}},
      {"Nombre;Apellidos;Direcci\xC3\xB3n de correo electr\xC3\xB3nico\nA;B;es@x.org\n",
       "",
       "row",
       {"2|A B|es@x.org||"}},
      {"Nome;Cognome;Indirizzo posta elettronica;Note\nA;B;it@x.org;n\n",
       "",
       "row",
       {"2|A B|it@x.org|n|"}},
      {"Voornaam;Achternaam;E-mailadres;Notities\nA;B;nl@x.org;n\n",
       "",
       "row",
       {"2|A B|nl@x.org|n|"}},
      {"Nome;Apelido;Endere\xC3\xA7o de correio electr\xC3\xB3nico;Notas\nA;B;pt@x.org;n\n",
       "",
       "row",
       {"2|A B|pt@x.org|n|"}},
      // The tool's own CSV: fields exact, the guard taken off, a "%", a group.
      {"index,name,address,comment,group,members,surname\r\n"
       "0,\"  Spaced  Name\",s@x.org,'=SUM(A1),0,,Name\r\n"
       "1,Ludwig van Beethoven,l@x.org,,0,,van Beethoven\r\n2,100% Pure Ltd,p@x.org,,0,,Ltd\r\n"
       "3,Club,,,1,0 1,Club\r\n",
       "",
       "row",
       {"2|  Spaced  Name|s@x.org|=SUM(A1)|", "3|Ludwig van%Beethoven|l@x.org||",
        "4||p@x.org||refused: the name holds \"%\", which the book would take for a join of "
        "surname words",
        "5|Club|||group"}},
      {"just,some,words\nno,address,here\n", "", "", {"no column for a name"}},
      {"name,address\n\"open,x\n", "", "", {"line 2: a quoted field is never closed"}},
  });
}

TEST(FormatJson, FilesGiveRows) {
  CheckFiles({
      {"\xEF\xBB\xBF{\"entries\": [\n {\"name\": \"Ann  Lee\", \"surname\": \"Lee\", \"address\": "
       "\"a@x.org\", \"comment\": \"two spaces\", \"group\": false},\n {\"name\": \"Bob\\u0000 "
       "Evil\", \"address\": \"b@x.org\"},\n {\"name\": \"Club\", \"group\": true}, 7\n]}\n",
       "",
       "entry",
       {"2|Ann  Lee|a@x.org|two spaces|",
        std::string("3|Bob") + '\0' + " Evil|b@x.org||refused: a field holds a NUL character",
        "4|Club|||group",
        "4||||refused: not an entry (a name, address, comment and surname, each text)"}},
      {"[{\"name\": \"a\",\n \"address\": x}]", "", "", {"not valid JSON at line 2"}},
      {"{\"entries\": {\"name\": \"x\"}}", "", "", {"no list of entries"}},
      // A number no double holds is refused, not thrown past the reader.
      {"[{\"name\": \"Ann Lee\", \"address\": \"a@x.org\", \"n\": 1E400}]",
       "",
       "",
       {"not valid JSON: number overflow"}},
  });
}

TEST(FormatVcard, FilesGiveRows) {
  CheckFiles({
      // vCard 2.1: quoted-printable UTF-8 with a soft line break, PREF.
      {"BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;"
       "J=C3=BCrgen;;;\r\nEMAIL;HOME:j@x.org\r\nEMAIL;PREF;WORK:jw@x.org\r\n"
       "NOTE;ENCODING=QUOTED-PRINTABLE:umbr=\r\nochen =C3=A4\r\nEND:VCARD\r\n",
       "",
       "card",
       {"1|J\xC3\xBCrgen M\xC3\xBCller|jw@x.org|umbrochen \xC3\xA4|"}},
      // 3.0: a byte order mark, grouped properties, TYPE=pref, folded lines,
      // a middle name and prefix; a group.
      {"\xEF\xBB\xBF"
       "BEGIN:VCARD\r\nVERSION:3.0\r\nN:de la Cruz;Ann;Maria;Dr.;\r\n"
       "FN:Dr. Ann Maria de la Cruz\r\nitem1.EMAIL;type=INTERNET:ann@home.org\r\n"
       "item2.EMAIL;type=INTERNET;type=pref:ann@x.org\r\nNOTE:v3\\, with\r\n  a comma\r\n"
       "END:VCARD\r\nBEGIN:VCARD\r\nFN:Team\r\nX-ADDRESSBOOKSERVER-KIND:group\r\nEND:VCARD\r\n",
       "",
       "card",
       {"1|Dr. Ann Maria de%la%Cruz|ann@x.org|v3, with a comma|", "10|Team|||group"}},
      // 4.0: PREF=1, a phone as the address, a name shortened, a card cut short.
      {"BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Bart Alexander Fitzgerald\r\nN:Fitzgerald;Bart;"
       "Alexander;;\r\nEMAIL;PREF=2:b@x.org\r\nEMAIL;PREF=1:bart@x.org\r\nEND:VCARD\r\n"
       "BEGIN:VCARD\r\nFN:Cut Short\r\nTEL:tel:+1 555\r\n",
       "",
       "card",
       {"1|Bart Fitzgerald|bart@x.org||shortened: the middle name",
        "8|Cut Short|+1 555||refused: the card has no END:VCARD (is the file cut short?)"}},
      // E-mails equally preferred: the first of them; CR line ends alone.
      {"BEGIN:VCARD\r\nFN:Eve Equal\r\nEMAIL:plain@x.org\r\nEMAIL;PREF=1:first@x.org\r\n"
       "EMAIL;TYPE=pref:second@x.org\r\nEND:VCARD\r\n",
       "",
       "card",
       {"1|Eve Equal|first@x.org||"}},
      {"BEGIN:VCARD\rVERSION:3.0\rFN:Cy Return\rEMAIL:cy@x.org\rEND:VCARD\r",
       "",
       "card",
       {"1|Cy Return|cy@x.org||"}},
  });
}

TEST(FormatLdif, FilesGiveRows) {
  CheckFiles({
      {"version: 1\n\ndn:: Y249Wm/DqyBRdWlubixtYWlsPXpvZUB4Lm9yZw==\nobjectclass: person\n"
       "givenName:: Wm/Dqw==\nsn: Quinn\ncn:: Wm/DqyBRdWlubg==\nmail: zoe@x.org\n"
       "description: from\n  thunderbird\n\ndn: cn=Phil Phone\ncn: Phil Phone\nsn: Phone\n"
       "telephoneNumber: +1 555 0100\n\ndn: cn=Friends\nobjectclass: groupOfNames\ncn: Friends\n"
       "member: cn=Phil Phone\n",
       "",
       "record",
       {"3|Zo\xC3\xAB Quinn|zoe@x.org|from thunderbird|", "12|Phil Phone|+1 555 0100||",
        "17|Friends|||group"}},
      // CR line ends alone.
      {"dn: cn=Cy Return\rcn: Cy Return\rmail: cy@x.org\r",
       "",
       "record",
       {"1|Cy Return|cy@x.org||"}},
  });
}

TEST(FormatMutt, FilesGiveRows) {
  CheckFiles({
      {"# mutt aliases\nalias ann \"Lee, Ann\" <ann@x.org> # met at the fair\n"
       "alias bob bob@x.org (Bob Ray)\nalias -group g beet \"van Beethoven, Ludwig\" <l@x.org>\n"
       "alias both ann, bob\nalias one ann\nunalias x\n",
       "",
       "alias",
       {"2|Ann Lee|ann@x.org|met at the fair|", "3|Bob Ray|bob@x.org||",
        "4|Ludwig van%Beethoven|l@x.org||", "5|both|||group", "6|one|ann||group",
        "7||||refused: not an alias line"}},
      // CR line ends alone.
      {"alias cy Cy Return <cy@x.org>\ralias dee Dee Dot <d@x.org>\r",
       "",
       "alias",
       {"1|Cy Return|cy@x.org||", "2|Dee Dot|d@x.org||"}},
  });
}

// A book of entries (in UTF-8 book text) written by each format and read
// back: the same names (with their surnames), addresses, comments and
// groups, but for the entries the export tells of (mutt: no mail address;
// abook: a surname of several words, no groups).
TEST(FormatRoundTrip, EveryWriterThenReaderGivesTheEntries) {
  const std::vector<Entry> entries = {
      {0, false, 4, "Ann Lee", "ann@x.org", "says \"hi\", twice; ok"},
      {1, false, 7, "Ludwig van Beethoven", "l@x.org", ""},
      {2, false, 5, "Phil Phone", "+49 30 1234", "=1+2"},
      {3, false, 5, "Zo\xC3\xAB Quinn", "12 Main St, Town", "caf\xC3\xA9"},
      {4, true, 0, "friends", "", "the club"},
  };
  CheckRoundTrips(entries, {{4, {0, 1, -1}}}, {{"mutt", "2-3-"}, {"abook", "1 4-"}});
}

// The groups a file gives: each as "name: its members' names (stored
// form), in order", then "; missing KEY" for each member the file does not
// hold.
std::vector<std::string> GroupsOf(const std::string& bytes) {
  ImportText text;
  std::string error;
  EXPECT_TRUE(ReadImport(bytes, {}, &text, &error)) << error;
  std::vector<std::string> groups;
  for (const GroupFound& g : FindGroupMembers(text.rows)) {
    std::string line = text.rows[g.row].name + ":";
    for (size_t m : g.members) line += " " + text.rows[m].name + ",";
    for (const std::string& key : g.missing) line += " missing " + key + ",";
    groups.push_back(line);
  }
  return groups;
}

TEST(FormatGroups, FilesGiveGroupsWithTheirMembers) {
  const struct {
    std::string bytes;
    std::vector<std::string> groups;
  } cases[] = {
      // vCard 4.0: members by UID (any case, with or without urn:uuid:),
      // by mailto:, a nested group named before it is given, a member not
      // in the file, a member named twice.
      {"BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:All\r\nMEMBER:urn:uuid:B\r\n"
       "MEMBER:urn:uuid:00-ann\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nUID:urn:uuid:00-"
       "ANN\r\n"
       "FN:Ann Lee\r\nEMAIL:ann@x.org\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\n"
       "UID:b\r\nFN:Board\r\nMEMBER:mailto:Ann@x.org\r\nMEMBER:urn:uuid:gone\r\n"
       "MEMBER:urn:uuid:00-ann\r\nEND:VCARD\r\n",
       {"All: Board, Ann Lee,", "Board: Ann Lee, missing gone,"}},
      // vCard 3.0 group cards of phones and web mail.
      {"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:1A\r\nFN:Bo Ray\r\nEMAIL:bo@x.org\r\nEND:VCARD\r\n"
       "BEGIN:VCARD\r\nVERSION:3.0\r\nX-ADDRESSBOOKSERVER-KIND:group\r\nFN:Team\r\n"
       "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:1a\r\nEND:VCARD\r\n",
       {"Team: Bo Ray,"}},
      // LDIF: groupOfNames and groupOfUniqueNames; DNs in other spacing and
      // case, one in base64.
      {"dn: cn=Ann Lee,mail=ann@x.org\ncn: Ann Lee\nmail: ann@x.org\n\n"
       "dn: cn=Bo Ray, mail=bo@x.org\ncn: Bo Ray\nmail: bo@x.org\n\n"
       "dn: cn=Friends\nobjectclass: groupOfNames\ncn: Friends\nmember: CN=Ann Lee, "
       "MAIL=ann@x.org\n"
       "member:: Y249Qm8gUmF5LG1haWw9Ym9AeC5vcmc=\nmember: cn=Nobody\n\n"
       "dn: cn=Old\nobjectclass: groupOfUniqueNames\ncn: Old\nuniqueMember: cn=friends\n",
       {"Friends: Ann Lee, Bo Ray, missing cn=nobody,", "Old: Friends,"}},
      // mutt: aliases, nested lists, addresses (one of an alias, one not).
      {"alias ann Ann Lee <ann@x.org>\nalias team ann, \"Cy Dee\" <cy@x.org>, bo@x.org\n"
       "alias all team, ann@x.org\n",
       {"team: Ann Lee, Cy Dee, bo@x.org,", "all: team, Ann Lee,"}},
      // Google: labels after " ::: ", its own labels left out; Outlook's
      // categories.
      {"First Name,Last Name,E-mail 1 - Value,Labels\nAnn,Lee,ann@x.org,* myContacts ::: Friends\n"
       "Bo,Ray,bo@x.org,Friends ::: * starred ::: Chess\nCy,Dee,cy@x.org,* myContacts\n",
       {"Friends: Ann Lee, Bo Ray,", "Chess: Bo Ray,"}},
      {"First Name,Last Name,E-mail Address,Categories\r\nAnn,Lee,ann@x.org,Business;Personal\r\n"
       "Bo,Ray,bo@x.org,Personal\r\n",
       {"Business: Ann Lee,", "Personal: Ann Lee, Bo Ray,"}},
      // This tool's CSV and JSON: members by index.
      {"index,name,address,comment,group,members,surname\r\n0,Ann Lee,ann@x.org,,0,,Lee\r\n"
       "1,Club,,,1,0 2 9,Club\r\n2,Inner,,,1,0,Inner\r\n",
       {"Club: Ann Lee, Inner, missing 9,", "Inner: Ann Lee,"}},
      {"{\"entries\": [{\"index\": 0, \"name\": \"Ann Lee\", \"surname\": \"Lee\", \"address\": "
       "\"a@x.org\"}, {\"index\": 1, \"name\": \"Club\", \"group\": true, \"members\": [0, 1]}]}",
       {"Club: Ann Lee, Club,"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 60));
    EXPECT_EQ(GroupsOf(c.bytes), c.groups);
  }
}

// A book with nested groups (and a cycle) written by each format and read
// back: every group with its members in order.
TEST(FormatGroups, EveryFormatKeepsNestedGroups) {
  const std::vector<Entry> entries = {
      {0, false, 4, "Ann Lee", "ann@x.org", ""},
      {1, false, 3, "Bo Ray", "bo@x.org", ""},
      {2, true, 0, "everyone", "", "all of us"},
      {3, false, 7, "Ludwig van Beethoven", "l@x.org", ""},
      {4, true, 0, "team", "", ""},
  };
  const std::vector<GroupMembers> groups = {{2, {4, 3, 0}}, {4, {1, 0, 2}}};
  const std::vector<std::string> want = {"everyone: team, Ludwig van%Beethoven, Ann Lee,",
                                         "team: Bo Ray, Ann Lee, everyone,"};
  for (const Format* format : Formats()) {
    SCOPED_TRACE(format->name);
    std::vector<std::string> notices;
    std::string written = format->write({entries, groups}, {Encoding::kUtf8, true, &notices});
    // abook's file holds no groups: each is said instead.
    if (std::string(format->name) == "abook") {
      for (const char* group : {"(everyone)", "(team)"}) {
        EXPECT_TRUE(std::any_of(notices.begin(), notices.end(), [&](const std::string& n) {
          return n.find(group) != std::string::npos;
        })) << group;
      }
      continue;
    }
    EXPECT_EQ(GroupsOf(written), want) << written;
  }
}
