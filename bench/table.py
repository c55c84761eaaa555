#!/usr/bin/env python3
"""Prints the table of bench/README.md from Google Benchmark's JSON output
(medians of repetitions): each operation's time per size, its ratio to its
floor and to SQLite, and the time per entry."""
import json
import sys

SIZES = [16, 256, 4095]
# operation: (floor, SQLite peer)
ROWS = {
    "Load": ("FloorReadCopy", "SqliteReadAll"),
    "Walk": (None, None),
    "AddWithView": ("FloorWriteFsyncRename", "SqliteInsert"),
    "AddWithoutView": ("FloorWriteFsyncRename", "SqliteInsert"),
    "DeleteWithView": ("FloorWriteFsyncRename", "SqliteDelete"),
    "ExpandRecursive": (None, None),
    "FloorRead": (None, None),
    "FloorReadCopy": (None, None),
    "FloorWriteFsyncRename": (None, None),
    "FloorWriteFsyncRenameDirFsync": (None, None),
    "SqliteReadAll": (None, None),
    "SqliteInsert": (None, None),
    "SqliteDelete": (None, None),
}


def main():
    data = json.load(open(sys.argv[1]) if len(sys.argv) > 1 else sys.stdin)
    times = {}
    paired = {}  # (ratio counter, size) -> median ratio of SavesBesideFloor
    batch = {}  # (counter, size) -> TransactionAdds' counters
    for b in data["benchmarks"]:
        if b.get("aggregate_name", "median") != "median":
            continue
        name, size = b["run_name"].split("/")[:2]
        scale = {"ns": 1e-3, "us": 1, "ms": 1e3}[b["time_unit"]]
        times[(name, int(size))] = b["real_time"] * scale  # microseconds
        for counter in ("add_ratio", "delete_ratio"):
            if counter in b:
                paired[(counter, int(size))] = b[counter]
        if name == "TransactionAdds":
            for counter in ("floor_us", "adds_us", "save_us", "save_ratio"):
                batch[(counter, int(size))] = b[counter]

    def us(value):
        return "%.1f" % value if value < 100 else "%.0f" % value

    print("| operation | 16 | 256 | 4095 | / floor at 4095 | / SQLite at 4095 | per entry 16 / 256 / 4095 (us) |")
    print("|---|---:|---:|---:|---:|---:|---|")
    for name, (floor, peer) in ROWS.items():
        if (name, 16) not in times:
            continue
        row = [us(times[(name, s)]) for s in SIZES]
        ratio = lambda other: ("%.2f" % (times[(name, 4095)] / times[(other, 4095)])) if other else ""
        per = " / ".join("%.3f" % (times[(name, s)] / s) for s in SIZES)
        print("| %s | %s | %s | %s |" % (name, " | ".join(row), ratio(floor) + " | " + ratio(peer), per))
    print()
    print("Times in microseconds (medians). Floors: FloorReadCopy for loads, "
          "FloorWriteFsyncRename for saves.")
    print()
    # A durable save against the least a durable save can do: write, fsync,
    # rename, fsync the directory.
    print("| save / FloorWriteFsyncRenameDirFsync | 16 | 256 | 4095 |")
    print("|---|---:|---:|---:|")
    for name in ("AddWithView", "DeleteWithView"):
        cells = []
        for s in SIZES:
            if (name, s) in times and ("FloorWriteFsyncRenameDirFsync", s) in times:
                cells.append("%.2f" % (times[(name, s)] / times[("FloorWriteFsyncRenameDirFsync", s)]))
            else:
                cells.append("")
        print("| %s | %s |" % (name, " | ".join(cells)))
    if paired:
        # The same ratios from SavesBesideFloor: each save timed right after
        # a floor write, medians over every iteration of the run.
        for name, counter in (("AddWithView", "add_ratio"), ("DeleteWithView", "delete_ratio")):
            cells = ["%.2f" % paired[(counter, s)] if (counter, s) in paired else "" for s in SIZES]
            print("| %s, paired with the floor | %s |" % (name, " | ".join(cells)))
    if ("floor_us", 4000) in batch and ("SingleAdds", 4000) in times:
        # Many adds into an empty book: one transaction, or a save each.
        print()
        print("| 4000 adds into an empty book | ms |")
        print("|---|---:|")
        print("| in one transaction: the adds, in memory | %.1f |" % (batch[("adds_us", 4000)] / 1e3))
        print("| in one transaction: the one save | %.2f |" % (batch[("save_us", 4000)] / 1e3))
        print("| the floor of that save (paired) | %.2f |" % (batch[("floor_us", 4000)] / 1e3))
        print("| the save / its floor | %.2f |" % batch[("save_ratio", 4000)])
        print("| each a save of its own (SingleAdds) | %.0f |" % (times[("SingleAdds", 4000)] / 1e3))


if __name__ == "__main__":
    main()
