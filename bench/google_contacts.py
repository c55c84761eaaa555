#!/usr/bin/env python3
"""Writes a Google Contacts CSV export of N contacts (default 4000) to
standard output, in the shape Google's export has (its header, quoting,
CRLF line ends, empty columns), for timing `addrbook import`:

    bench/google_contacts.py 4000 > contacts.csv
    time build/release/addrbook -d DIR import contacts.csv
"""
import random
import sys

HEADER = ("First Name,Middle Name,Last Name,Phonetic First Name,Phonetic Middle Name,"
          "Phonetic Last Name,Name Prefix,Name Suffix,Nickname,File As,Organization Name,"
          "Organization Title,Organization Department,Birthday,Notes,Photo,Labels,"
          "E-mail 1 - Label,E-mail 1 - Value,Phone 1 - Label,Phone 1 - Value")
FIRST = ["Anna", "Ben", "Chloe", "Dmitri", "Elena", "Femi", "Grace", "Hugo", "Isla", "Jonas",
         "Kenji", "Lea", "Marco", "Nadia", "Omar", "Priya", "Quinn", "Rosa", "Sven", "Tara"]
LAST = ["Adams", "Brandt", "Costa", "de Vries", "Eriksen", "Fischer", "Gomez", "Huang", "Ivanov",
        "Jensen", "Kowalski", "Lopez", "Meyer", "Nakamura", "O'Neill", "Petrov", "Quist",
        "Rossi", "Schmidt", "van Dijk"]


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 4000
    rand = random.Random(4000)
    out = sys.stdout
    out.write(HEADER + "\r\n")
    for i in range(count):
        first, last = rand.choice(FIRST), rand.choice(LAST) + str(i)
        note = "met at the conference, %d" % i if i % 3 == 0 else ""
        out.write('%s,,%s,,,,,,,,Example Ltd,,,,"%s",,* myContacts,* Home,%s.%s@mail.example,'
                  'Mobile,+49 30 %07d\r\n' % (first, last, note, first.lower(),
                                               last.lower().replace(" ", "").replace("'", ""),
                                               i))


if __name__ == "__main__":
    main()
