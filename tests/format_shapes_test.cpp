// The shapes other programs export that the tool reads: organisations,
// contacts without a name, every phone column, abook's own file, Excel's
// "sep=" line, names written without spaces, header names in any case,
// files whose every record must be accounted for once, and the text the
// readers and writers share.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "format_cases.h"
#include "formats/case_folding.h"
#include "formats/mutt_text.h"

TEST(FormatShapes, CsvOfOtherPrograms) {
  CheckFiles({
      // Outlook: a company alone; the phones in their order when there is
      // no e-mail address (preferred, mobile, business, home, other).
      {"First Name,Last Name,Company,E-mail Address,Primary Phone,Home Phone,Business Phone,"
       "Mobile Phone,Other Phone\r\n,,ACME Corporation,info@acme.org,,,,,\r\n"
       "Hal,Home,,,,1 home,,,9 other\r\nBea,Both,,,,1 home,2 business,,\r\n"
       "Mo,Bile,,,,1 home,2 business,3 mobile,\r\nPia,Prime,,,4 primary,1 home,,3 mobile,\r\n",
       "",
       "row",
       {"2|ACME%Corporation|info@acme.org||", "3|Hal Home|1 home||", "4|Bea Both|2 business||",
        "5|Mo Bile|3 mobile||", "6|Pia Prime|4 primary||"}},
      // Google: the phone its label marks preferred ("* "); no name at all.
      {"Name,Given Name,Family Name,E-mail 1 - Value,Phone 1 - Type,Phone 1 - Value,Phone 2 - "
       "Type,Phone 2 - Value\n,,,,Home,111,* Work,222\n",
       "",
       "row",
       {"2|222|222||"}},
      // German Excel: a sep= line, a header in capitals, a company.
      {"sep=;\r\nVORNAME;NACHNAME;FIRMA;TELEFON GESCH\xC3\x84"
       "FTLICH\r\n;;Stadtwerke M\xC3\xBCnchen;"
       "+49 89 1\r\n",
       "",
       "row",
       {"3|Stadtwerke%M\xC3\xBCnchen|+49 89 1||"}},
      // Excel's "CSV UTF-8": a byte order mark, then sep=.
      {"\xEF\xBB\xBFsep=,\nPR\xC3\x89NOM,NOM,ADRESSE DE MESSAGERIE,SOCI\xC3\x89T\xC3\x89\nAnn,Lee,"
       "a@x.org,\n,,,Soci\xC3\xA9t\xC3\xA9 G\xC3\xA9n\xC3\xA9rale\n",
       "",
       "row",
       {"3|Ann Lee|a@x.org||",
        "4|Soci\xC3\xA9t\xC3\xA9%G\xC3\xA9n\xC3\xA9rale|||refused: the address is empty"}},
      // Web mail: Name, Email, Phone; names by address, shortened at a
      // sensible point; an organisation's too long name at a space.
      {"Name,Email,Phone,Company\n,news@lists.example.org,,\nBob,,555 1234,\n"
       ",newsletter-team@lists.example.org,,\n,info@x.org,,Internationale Vereinigung der "
       "Freunde\n",
       "",
       "row",
       {"2|news@lists.example.org|news@lists.example.org||", "3|Bob|555 1234||",
        "4|newsletter-team@lists|newsletter-team@lists.example.org||shortened: the end of the "
        "address",
        "5|Internationale|info@x.org||shortened: the end of the organisation's name"}},
      // Columns by number on a file without a header: the first line is a
      // contact even when its address is a street.
      {"Ann Lee,12 Main St,first\nBob Ray,3 High St,second\n",
       "name=1,address=2,comment=3",
       "row",
       {"1|Ann Lee|12 Main St|first|", "2|Bob Ray|3 High St|second|"}},
      {"Name,Address\nAnn Lee,12 Main St\n", "name=1,address=2", "row", {"2|Ann Lee|12 Main St||"}},
  });
}

TEST(FormatShapes, VcardOfOtherPrograms) {
  CheckFiles({
      // iCloud's company card; Nextcloud's KIND:org; a Chinese name.
      {"BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nFN:ACME Corporation\r\nORG:ACME Corporation;\r\n"
       "X-ABShowAs:COMPANY\r\nTEL;type=WORK:+1 555 "
       "0100\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\n"
       "KIND:org\r\nFN:Stadtwerke M\xC3\xBCnchen\r\nORG:Stadtwerke "
       "M\xC3\xBCnchen\r\nEMAIL:i@swm.de\r\n"
       "END:VCARD\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nFN:\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E\r\nN:"
       "\xE7"
       "\x8E\x8B;\xE5\xB0\x8F\xE6\x98\x8E;;;\r\nEMAIL:w@x.cn\r\nEND:VCARD\r\n",
       "",
       "card",
       {"1|ACME%Corporation|+1 555 0100||", "9|Stadtwerke%M\xC3\xBCnchen|i@swm.de||",
        "16|\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E|w@x.cn||refused: the character \xE7\x8E\x8B "
        "cannot "
        "be stored in cp1252"}},
      // Phones by kind; a PREF that overflows counts as 100, not 1; a card
      // of an address alone.
      {"BEGIN:VCARD\r\nFN:Tel Kinds\r\nTEL;TYPE=HOME:1\r\nTEL;TYPE=WORK:2\r\nTEL;TYPE=CELL:3\r\n"
       "END:VCARD\r\nBEGIN:VCARD\r\nFN:Pref Big\r\nEMAIL;PREF=4294967297:wrap@x.org\r\n"
       "EMAIL;PREF=2:two@x.org\r\nEND:VCARD\r\nBEGIN:VCARD\r\nEMAIL:only@x.org\r\nEND:VCARD\r\n",
       "",
       "card",
       {"1|Tel Kinds|3||", "7|Pref Big|two@x.org||", "12|only@x.org|only@x.org||"}},
      // Outlook's 2.1 in Windows-1252 that names its CHARSET: converted
      // once.
      {"BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=Windows-1252:M\xFCller;J\xFCrgen\r\n"
       "EMAIL:j@x.org\r\nEND:VCARD\r\n",
       "",
       "card",
       {"1|J\xC3\xBCrgen M\xC3\xBCller|j@x.org||"}},
      // vCard 2.1's AGENT: the card within is part of the outer one.
      {"BEGIN:VCARD\r\nVERSION:2.1\r\nN:Boss;Big\r\nAGENT:\r\nBEGIN:VCARD\r\nVERSION:2.1\r\n"
       "N:Helper;Hal\r\nEMAIL:hal@x.org\r\nEND:VCARD\r\nEMAIL:big@x.org\r\nEND:VCARD\r\n",
       "",
       "card",
       {"1|Big Boss|big@x.org||"}},
  });
}

TEST(FormatShapes, LdifMuttAndAbook) {
  CheckFiles({
      // An organisation; a change record; mobile before the business phone.
      {"version: 1\n\ndn: o=ACME\nobjectclass: organization\no: ACME Corp\nmail: i@acme.org\n\n"
       "dn: cn=Ann Lee\nchangetype: modify\nreplace: mail\nmail: new@x.org\n-\n\n"
       "dn: cn=Mo Bile\ncn: Mo Bile\ntelephoneNumber: 2\nmobile: 3\n",
       "",
       "record",
       {"3|ACME%Corp|i@acme.org||",
        "8||||refused: a change record (changetype: modify), not a contact; skipped",
        "14|Mo Bile|3||"}},
      // A trailing comma is no group; \# is a "#"; "\," a comma within a
      // name.
      {"alias ann Ann Lee <ann@x.org>,\nalias hash Hash \\# Tag <h@x.org> # real comment\n"
       "alias lee \"Lee\\, Ann\" <lee@x.org>\nalias q \"Quinn, Zo\" <\"z q\"@x.org>\n",
       "",
       "alias",
       {"1|Ann Lee|ann@x.org||", "2|Hash # Tag|h@x.org|real comment|", "3|Lee, Ann|lee@x.org||",
        "4|Zo Quinn|z q@x.org||"}},
      {"# abook addressbook file\n\n[format]\nprogram=abook\nversion=0.6.1\n\n\n[0]\nname=Ann Lee\n"
       "email=ann@x.org,ann2@x.org\nnotes=met\n\n[1]\nname=Bob Ray\nworkphone=555 1\nphone=555 "
       "2\n\n"
       "[2]\nemail=list@x.org\n\n[3]\nname=No Address\n",
       "",
       "contact",
       {"8|Ann Lee|ann@x.org|met|", "13|Bob Ray|555 1||", "18|list@x.org|list@x.org||",
        "21|No Address|||refused: the address is empty"}},
  });
}

// Hard entries through every writer and its reader: edge and repeated
// spaces, CR, LF and CRLF, "%" joins, quotes, commas, "#", brackets,
// controls, accents.
TEST(FormatRoundTrip, HardEntriesComeBackOrAreTold) {
  using addrbook::Entry;
  const std::vector<Entry> entries = {
      {0, false, 7, "  Ann  Lee ", "ann@x.org", " edge\r\nCRLF\rCR\nLF "},
      {1, false, 5, "Mary van Dyke", "m\"q,(x)#\"@x.org", "\"quoted\", comma # hash"},
      {2, false, 0, "ACME Corporation", "+46 8 123", "(x) <y> a\\b"},
      {3, false, 5, "Lee, Ann", "lee@x.org", "\x1B[31m\x7F\xC2\x81"},
      {4, false, 6, "Jos\xC3\xA9 M\xC3\xBCller", " 12 Main St, Town ", "\t tab"},
      {5, false, 0, "\xC3\x86r\xC3\xB8", "w@x.dk", ""},
  };
  CheckRoundTrips(entries, {}, {{"mutt", "2-4-"}, {"abook", "0 1 2 3 4 "}});
}

// Header names in any case of Latin, Greek and Cyrillic letters; alias
// keys of names with their accents taken off, each unique.
TEST(FormatText, CaseFoldingAndAliasKeys) {
  using namespace addrbook;
  const std::pair<const char*, const char*> folded[] = {
      {"TELEFON GESCH\xC3\x84"
       "FTLICH ",
       "telefon gesch\xC3\xA4"
       "ftlich"},
      {"\xC5\x81\xC3\x93"
       "D\xC5\xB9",
       "\xC5\x82\xC3\xB3"
       "d\xC5\xBA"},
      {"\xCE\x8C\xCE\x9D\xCE\x9F\xCE\x9C\xCE\x91", "\xCF\x8C\xCE\xBD\xCE\xBF\xCE\xBC\xCE\xB1"},
      {"\xD0\x98\xD0\x9C\xD0\xAF \xD0\x81", "\xD0\xB8\xD0\xBC\xD1\x8F \xD1\x91"},
      {"\xFF"
       "A",
       "\xFF"
       "a"},
  };
  for (const auto& [text, want] : folded) EXPECT_EQ(FoldCase(text), want) << text;
  std::set<std::string> used;
  EXPECT_EQ(AliasKey("Jos\xC3\xA9 M\xC3\xBCller", &used), "jose-muller");
  EXPECT_EQ(AliasKey("JOS\xC3\x89 M\xC3\x9CLLER", &used), "jose-muller-2");
  EXPECT_EQ(AliasKey("\xC3\x86sa \xC3\x98rsted-Stra\xC3\x9F"
                     "e",
                     &used),
            "aesa-orsted-strasse");
  EXPECT_EQ(AliasKey("\xE7\x8E\x8B\xE5\xB0\x8F", &used), "entry");
}
