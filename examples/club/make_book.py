#!/usr/bin/env python3
"""Writes ADDRBOOK.DAT for the example club book.

The library never creates groups, so this generator writes the book file
directly in its format: a format byte 0x02, a little-endian entry count, and
one record per entry in surname order (id word with bit 15 for a group,
counted name, counted address or member list, counted comment).
"""
import os
import struct

# (id, name as stored, address or member ids, comment)
ENTRIES = [
    (1, "Ada Byron", "ada@analytical.example", "founding member"),
    (2, "Chess club", [4, 9, 3], "meets on Tuesdays"),
    (3, "Grace Hopper", "grace@cobol.example", ""),
    (4, "Alan Kay", "alan@smalltalk.example", ""),
    (5, "Cher", "cher@example.org", "one-word name"),
    (6, "Officers", [1, 7], "elected each spring"),
    (7, "Ken Thompson", "ken@unix.example", "treasurer"),
    (8, "Everyone", [6, 2, 5, 10], "the whole club"),
    (9, "Dennis Thompson", "dmr@example.org", "same surname as Ken"),
    (10, "Ludwig van%Beethoven", "ludwig@bonn.example", "sorted under van Beethoven"),
]


def surname_key(name):
    display = name.replace("%", " ")
    i = len(name) - 1
    while i > 0 and name[i] in " %":
        i -= 1
    while i > 0:
        if name[i] == " ":
            return display[i + 1:].lower()
        i -= 1
    return display.lower()


def counted(text):
    data = text.encode("cp1252")
    assert len(data) <= 255
    return bytes([len(data)]) + data


def main():
    records = sorted(ENTRIES, key=lambda e: surname_key(e[1]))
    new_id = {old: position + 1 for position, (old, *_rest) in enumerate(records)}
    out = bytearray([0x02]) + struct.pack("<H", len(records))
    for old, name, body, comment in records:
        group = isinstance(body, list)
        out += struct.pack("<H", new_id[old] | (0x8000 if group else 0))
        out += counted(name)
        if group:
            out += bytes([len(body)]) + b"".join(struct.pack("<H", new_id[m]) for m in body)
        else:
            out += counted(body)
        out += counted(comment)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ADDRBOOK.DAT")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
