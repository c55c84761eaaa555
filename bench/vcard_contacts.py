#!/usr/bin/env python3
"""Writes N contacts (default 4000) as vCard 3.0 to standard output, in the
shape phones and mail programs export them (N and FN, a preferred e-mail,
a phone, an organisation, a note on every third card, CRLF line
ends), for timing `addrbook import` beside abook's --convert:

    bench/vcard_contacts.py 4000 > contacts.vcf
"""
import random
import sys

from google_contacts import FIRST, LAST  # the same names as the CSV export


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 4000
    rand = random.Random(4000)
    lines = []
    for i in range(count):
        first, last = rand.choice(FIRST), rand.choice(LAST) + str(i)
        mail = "%s.%s" % (first.lower(), last.lower().replace(" ", "").replace("'", ""))
        lines += ["BEGIN:VCARD", "VERSION:3.0",
                  "N:%s;%s;;;" % (last, first),
                  "FN:%s %s" % (first, last),
                  "EMAIL;TYPE=INTERNET,pref:%s@mail.example" % mail,
                  "TEL;TYPE=CELL:+49 30 %07d" % i,
                  "ORG:Example Ltd"]
        if i % 3 == 0:
            lines.append("NOTE:met at the conference\\, %d" % i)
        lines.append("END:VCARD")
    sys.stdout.buffer.write(("\r\n".join(lines) + "\r\n").encode())


if __name__ == "__main__":
    main()
