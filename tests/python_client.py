#!/usr/bin/env python3
"""A second-language caller of libovel.so, through ctypes (standard library
only). It declares ViewItem and MemberItem itself, so it checks their layout
from outside C, and runs a scenario with groups on a copy of the example
club book.

Usage: python_client.py LIBOVEL_SO EXAMPLE_BOOK
"""
import ctypes
import os
import shutil
import sys
import tempfile


class ViewItem(ctypes.Structure):
    _fields_ = [("group", ctypes.c_int32), ("surnameOffset", ctypes.c_int32),
                ("name", ctypes.c_char_p), ("address", ctypes.c_char_p),
                ("comment", ctypes.c_char_p)]


class MemberItem(ctypes.Structure):
    pass


MemberItem._fields_ = [("next", ctypes.POINTER(MemberItem)), ("group", ctypes.c_int32),
                       ("surnameOffset", ctypes.c_int32), ("name", ctypes.c_char_p),
                       ("address", ctypes.c_char_p), ("comment", ctypes.c_char_p)]

failures = 0


def check(condition, what):
    global failures
    if not condition:
        failures += 1
        print("FAIL:", what)


def main():
    lib = ctypes.CDLL(sys.argv[1])
    client_p = ctypes.c_void_p
    lib.OvelInitialize.argtypes = [ctypes.POINTER(client_p), ctypes.c_char_p]
    lib.OvelTerminate.argtypes = [client_p]
    lib.OvelAddItem.argtypes = [client_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]
    lib.OvelInitView.argtypes = [client_p, ctypes.c_int]
    lib.OvelInitView.restype = ctypes.c_void_p
    lib.OvelGetViewCount.argtypes = [ctypes.c_void_p]
    lib.OvelGetViewItem.argtypes = [ctypes.c_void_p, ctypes.c_int]
    lib.OvelGetViewItem.restype = ctypes.POINTER(ViewItem)
    lib.OvelFreeItem.argtypes = [ctypes.POINTER(ViewItem)]
    lib.OvelDeleteViewItem.argtypes = [ctypes.c_void_p, ctypes.c_int]
    lib.OvelFreeView.argtypes = [ctypes.c_void_p]
    lib.OvelExpandGroup.argtypes = [client_p, ctypes.c_char_p, ctypes.c_int]
    lib.OvelExpandGroup.restype = ctypes.POINTER(MemberItem)
    lib.OvelFreeGroup.argtypes = [ctypes.POINTER(MemberItem)]
    # Beyond the eleven: a transaction, many changes in one save.
    lib.OvelBeginChanges.argtypes = [client_p]
    lib.OvelEndChanges.argtypes = [client_p, ctypes.c_int]
    # Beyond the eleven: groups made and changed.
    lib.OvelAddGroup.argtypes = [client_p, ctypes.c_char_p, ctypes.c_char_p]
    lib.OvelAddGroupMember.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    lib.OvelRemoveGroupMember.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]

    with tempfile.TemporaryDirectory() as directory:
        shutil.copy(sys.argv[2], os.path.join(directory, "ADDRBOOK.DAT"))
        client = client_p()
        check(lib.OvelInitialize(ctypes.byref(client), directory.encode()) == 1, "initialize")

        view = lib.OvelInitView(client, 1)
        check(view is not None, "view")
        items = []
        for i in range(lib.OvelGetViewCount(view)):
            item = lib.OvelGetViewItem(view, i)
            v = item.contents
            items.append((v.group, v.surnameOffset, v.name, v.address, v.comment))
            lib.OvelFreeItem(item)
        check(items[0] == (0, 4, b"Ada Byron", b"ada@analytical.example", b"founding member"),
              "first item %r" % (items[0],))
        groups = [name for group, _, name, address, _ in items if group]
        check(groups == [b"Chess club", b"Everyone", b"Officers"], "groups %r" % groups)
        check(all(address == b"<Group>" for group, _, _, address, _ in items if group),
              "group address")
        check(items[-1][2] == b"Ludwig van Beethoven" and items[-1][1] == 7, "percent names")

        def expand(name, recursive):
            head = lib.OvelExpandGroup(client, name, recursive)
            out, node = [], head
            while node:
                m = node.contents
                out.append((m.group, m.name, m.address))
                node = m.next
            lib.OvelFreeGroup(head)
            return out

        flat = expand(b"everyone", 0)
        check([g for g, _, _ in flat] == [1, 1, 0, 0], "flat expansion %r" % flat)
        check(flat[0][2] == b"", "a listed group has an empty address")
        deep = expand(b"Everyone", 1)
        check(len(deep) == 7 and all(g == 0 for g, _, _ in deep), "recursive %r" % deep)

        check(lib.OvelAddItem(client, b"Zoe Zed", b"zoe@example.org", None) == 1, "add")
        check(lib.OvelGetViewCount(view) == len(items) + 1, "count after add")
        check(lib.OvelDeleteViewItem(view, 0) == 1, "delete")

        book = os.path.join(directory, "ADDRBOOK.DAT")
        with open(book, "rb") as f:
            before = f.read()
        check(lib.OvelBeginChanges(client) == 1, "begin")
        check(lib.OvelAddItem(client, b"Yan Yu", b"yan@example.org", None) == 1, "add in a transaction")
        check(lib.OvelDeleteViewItem(view, 0) == 1, "delete in a transaction")
        with open(book, "rb") as f:
            check(f.read() == before, "nothing saved before the end")
        check(lib.OvelEndChanges(client, 1) == 1, "end")
        check(lib.OvelGetViewCount(view) == len(items), "both changes kept")
        with open(book, "rb") as f:
            check(b"Yan Yu" in f.read(), "saved at the end")
        check(lib.OvelAddGroup(client, b"Quartet", b"strings") == 1, "add a group")
        check(lib.OvelAddGroup(client, b"QUARTET", None) == 0, "a second group of the name")
        chosen = []
        for index in (1, 0):
            item = lib.OvelGetViewItem(view, index)
            chosen.append(item.contents.name)
            lib.OvelFreeItem(item)
            check(lib.OvelAddGroupMember(view, b"quartet", index) == 1, "add member %d" % index)
        members = [name for _, name, _ in expand(b"Quartet", 0)]
        check(members == chosen, "members in the order added %r" % members)
        check(lib.OvelRemoveGroupMember(view, b"Quartet", 1) == 1, "remove member")
        check(len(expand(b"Quartet", 0)) == 1, "one member left")
        check(lib.OvelFreeView(view) == 1, "free view")
        check(lib.OvelFreeView(view) == 0, "second free view")
        check(lib.OvelTerminate(client) == 1, "terminate")

    print("%d passed, %d failed" % (1 if not failures else 0, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
