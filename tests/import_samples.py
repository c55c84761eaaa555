#!/usr/bin/env python3
"""Writes small files in the shapes that address books, phones and mail
programs export, each with what importing it into an empty book must give.

Usage: import_samples.py DIR

For each sample NAME it writes DIR/NAME (the file to import), DIR/NAME.args
(options for import, maybe empty) and DIR/NAME.expected: the summary line
the import prints, then the book as `list --format csv` shows it, without
the index column.
"""
import base64
import os
import sys

HEADER = "name,address,comment,group,surname"


def crlf(lines):
    return "".join(line + "\r\n" for line in lines)


def card(*lines, version="3.0"):
    return ["BEGIN:VCARD", "VERSION:" + version, *lines, "END:VCARD"]


# Outlook's CSV header in each language it exports in: first, middle and
# last name, e-mail address, notes.
OUTLOOK = {
    "en": ("First Name", "Middle Name", "Last Name", "E-mail Address", "Notes"),
    "de": ("Vorname", "Weitere Vornamen", "Nachname", "E-Mail-Adresse", "Notizen"),
    "fr": ("Prénom", "Deuxième prénom", "Nom", "Adresse de messagerie", "Notes"),
    "es": ("Nombre", "Segundo nombre", "Apellidos", "Dirección de correo electrónico", "Notas"),
    "it": ("Nome", "Secondo nome", "Cognome", "Indirizzo posta elettronica", "Note"),
    "nl": ("Voornaam", "Middelste naam", "Achternaam", "E-mailadres", "Notities"),
    "pt": ("Nome", "Nome do meio", "Apelido", "Endereço de correio electrónico", "Notas"),
}

SAMPLES = {}


def sample(name, data, summary, rows, args=""):
    SAMPLES[name] = (data, args, [summary, HEADER] + rows)


# Google Contacts, new CSV: prefix, middle name, multi-value cells, a
# contact with only a phone, one whose whole name does not fit.
sample("google.csv", crlf([
    "First Name,Middle Name,Last Name,Name Prefix,Name Suffix,E-mail 1 - Value,Phone 1 - Value,Notes",
    "Mary,,van Dyke,,,mary@x.org ::: mary@work.org,,from google",
    "John,Quincy,Adams,,,jqa@x.org,,",
    "Phone,,Only,,,,+49 30 1234 ::: +49 30 5678,",
    "Maximiliane,Theodora,Wolkenstein,Dr.,Jr.,max@x.org,,",
    ",,,,,,,",
]), "imported 4 of 5 rows; 1 refused (said above)", [
    "Mary van Dyke,mary@x.org,from google,0,van Dyke",
    "John Quincy Adams,jqa@x.org,,0,Adams",
    "Phone Only,'+49 30 1234,,0,Only",
    "Maximiliane Wolkenstein,max@x.org,,0,Wolkenstein",
])
sample("google-old.csv", crlf([
    "Name,Given Name,Additional Name,Family Name,E-mail 1 - Value",
    "Olga Old,Olga,,Old,olga@x.org",
]), "imported 1 of 1 row", ["Olga Old,olga@x.org,,0,Old"])
# Google's "Outlook CSV": UTF-16 with a byte order mark.
sample("google-utf16.csv",
       "\ufeffFirst Name,Last Name,E-mail Address\r\nZoë,Łaska,zoe@x.org\r\nJosé,Ruiz,jose@x.org\r\n"
       .encode("utf-16-le"), "imported 1 of 2 rows; 1 refused (said above)",
       ["José Ruiz,jose@x.org,,0,Ruiz"])
for language, (first, middle, last, mail, notes) in OUTLOOK.items():
    header = ";".join('"%s"' % c for c in (first, middle, last, mail, notes))
    text = crlf([header, '"Jürgen";"";"Müller";"j@x.org";"%s"' % language])
    # Outlook writes its ANSI code page; German in Windows-1252.
    data = text.encode("cp1252") if language == "de" else text
    sample("outlook-%s.csv" % language, data, "imported 1 of 1 row",
           ["Jürgen Müller,j@x.org,%s,0,Müller" % language])
sample("thunderbird-en.csv", crlf([
    "First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,Notes",
    "Tina,Bird,Tina Bird,,tina@x.org,,tb",
]), "imported 1 of 1 row", ["Tina Bird,tina@x.org,tb,0,Bird"])
sample("thunderbird-de.csv", crlf([
    "Vorname,Nachname,Anzeigename,Spitzname,Primäre E-Mail-Adresse,Notizen",
    "Tina,Vogel,Tina Vogel,,tina@x.de,",
]), "imported 1 of 1 row", ["Tina Vogel,tina@x.de,,0,Vogel"])
# Columns named on the command line; a file with CR line ends only.
sample("columns.csv", "Kontakt;Post;Info\rAnn Lee;ann@x.org;by hand\r",
       "imported 1 of 1 row", ["Ann Lee,ann@x.org,by hand,0,Lee"],
       "--columns name=Kontakt,address=2,comment=Info")
sample("handmade.csv", "name, address, comment\nAnn Lee, ann@x.org, spaces after commas\n",
       "imported 1 of 1 row", ["Ann Lee,ann@x.org,spaces after commas,0,Lee"])
sample("headerless.csv", "No Header,nohead@x.org,first line\n", "imported 1 of 1 row",
       ["No Header,nohead@x.org,first line,0,Header"])
# The tool's own CSV: fields exactly as they are, the surname column, a
# literal "%" refused, a group left out.
sample("own.csv", crlf([
    "index,name,address,comment,group,members,surname",
    '0,"  Spaced  Name",s@x.org,\'=SUM(A1),0,,Name',
    "1,Ludwig van Beethoven,l@x.org,,0,,van Beethoven",
    "2,100% Pure Ltd,p@x.org,,0,,Ltd",
    "3,Club,,,1,0 1,Club",
]), "imported 2 of 4 rows; 1 group left out; 1 refused (said above)", [
    "Ludwig van Beethoven,l@x.org,,0,van Beethoven",
    '"  Spaced  Name",s@x.org,\'=SUM(A1),0,Name',
])
# Android's vCard 2.1: quoted-printable UTF-8 with a soft line break, PREF.
sample("android.vcf", crlf(card(
    "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=BCrgen;;;",
    "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller",
    "EMAIL;HOME:j@x.org", "EMAIL;PREF;WORK:jw@x.org",
    "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Zeile eins und ein Text der umbr=",
    "ochen wird =C3=A4", version="2.1")), "imported 1 of 1 card",
    ["Jürgen Müller,jw@x.org,Zeile eins und ein Text der umbrochen wird ä,0,Müller"])
# Apple's vCard 3.0: a byte order mark, grouped properties, TYPE=pref, a
# folded base64 photo, a middle name and prefix; a group.
photo = base64.b64encode(bytes(range(256))).decode()
sample("apple.vcf", "\ufeff" + crlf(card(
    "N:de la Cruz;Ann;Maria;Dr.;", "FN:Dr. Ann Maria de la Cruz",
    "item1.EMAIL;type=INTERNET:ann@home.org", "item2.EMAIL;type=INTERNET;type=pref:ann@x.org",
    "PHOTO;ENCODING=b;TYPE=JPEG:" + photo[:60], " " + photo[60:140], " " + photo[140:],
    "NOTE:v3\\, with a comma") + card("FN:Team", "X-ADDRESSBOOKSERVER-KIND:group")),
    "imported 1 of 2 cards; 1 group left out",
    ['Dr. Ann Maria de la Cruz,ann@x.org,"v3, with a comma",0,de la Cruz'])
# vCard 4.0: PREF=1, a name shortened to fit, a card cut short.
sample("v4.vcf", crlf(card(
    "FN:Bart Alexander Fitzgerald", "N:Fitzgerald;Bart;Alexander;;",
    "EMAIL;PREF=2:b@x.org", "EMAIL;PREF=1:bart@x.org", version="4.0")
    + ["BEGIN:VCARD", "VERSION:4.0", "FN:Cut Short", "EMAIL:cut@x.org"]),
    "imported 1 of 2 cards; 1 refused (said above)",
    ["Bart Fitzgerald,bart@x.org,,0,Fitzgerald"])
# Thunderbird's LDIF: a base64 name, a phone, a group.
sample("thunderbird.ldif", "\n".join([
    "version: 1", "",
    "dn:: " + base64.b64encode("cn=Zoë Quinn,mail=zoe@x.org".encode()).decode(),
    "objectclass: top", "objectclass: person", "objectclass: inetOrgPerson",
    "givenName:: " + base64.b64encode("Zoë".encode()).decode(), "sn: Quinn",
    "cn:: " + base64.b64encode("Zoë Quinn".encode()).decode(),
    "mail: zoe@x.org", "description: from", "  thunderbird", "",
    "dn: cn=Phil Phone", "objectclass: inetOrgPerson", "cn: Phil Phone", "sn: Phone",
    "telephoneNumber: +1 555 0100", "",
    "dn: cn=Friends", "objectclass: groupOfNames", "cn: Friends",
    "member: cn=Zoë Quinn,mail=zoe@x.org", "",
]), "imported 2 of 3 records; 1 group left out", [
    "Phil Phone,'+1 555 0100,,0,Phone",
    "Zoë Quinn,zoe@x.org,from thunderbird,0,Quinn",
])
sample("aliases.mutt", "\n".join([
    "# mutt aliases",
    'alias ann "Lee, Ann" <ann@x.org> # met at the fair',
    "alias bob bob@x.org (Bob Ray)",
    "alias beet \"van Beethoven, Ludwig\" <l@x.org>",
    "alias both ann, bob",
    "",
]), "imported 3 of 4 aliases; 1 group left out", [
    "Ann Lee,ann@x.org,met at the fair,0,Lee",
    "Bob Ray,bob@x.org,,0,Ray",
    "Ludwig van Beethoven,l@x.org,,0,van Beethoven",
])
sample("own.json", '\ufeff{"entries": [\n {"name": "Ann  Lee", "surname": "Lee", "address": "a@x.org",'
       ' "comment": "two spaces", "group": false},\n {"name": "Bob\\u0000 Evil", "address": "b@x.org"}\n]}\n',
       "imported 1 of 2 entries; 1 refused (said above)", ["Ann  Lee,a@x.org,two spaces,0,Lee"])


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, (data, args, expected) in SAMPLES.items():
        mode = "wb" if isinstance(data, bytes) else "w"
        with open(os.path.join(out, name), mode, **({} if mode == "wb" else {"newline": "", "encoding": "utf-8"})) as f:
            f.write(data)
        with open(os.path.join(out, name + ".args"), "w") as f:
            f.write(args + "\n")
        with open(os.path.join(out, name + ".expected"), "w", encoding="utf-8") as f:
            f.write("\n".join(expected) + "\n")


if __name__ == "__main__":
    main()
