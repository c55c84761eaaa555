#!/usr/bin/env python3
"""`addrbook import` of N contacts (default 4000) beside abook's --convert of
the same contacts, measured side by side in one run:

- abook --convert of a vCard 3.0 file to CSV (abook reads, converts and
  writes a file, with no durable save);
- addrbook import of that vCard file into an empty book;
- addrbook import of the same contacts as a Google Contacts CSV export.

Each import ends in the book's durable save.  Every run starts the three in
turn, after one warm-up run of each that is not counted; each import starts
from an empty book, abook from no output file (it overwrites none).  For
each command: the median of its wall times and of its processor times (user
and system, the system's own account of the finished child), and the median
over the runs of its ratio to abook's run beside it.  Where abook is not
installed, it says so and measures addrbook alone.

    bench/import_beside_abook.py build/release/addrbook [--count N] [--runs R]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def timed(command):
    """Runs `command` with its output thrown away; its wall and processor
    seconds.  Fails loudly when it fails: a failed run is no measure."""
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        child = subprocess.Popen(command, stdout=null, stderr=subprocess.PIPE)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        error = child.stderr.read().decode(errors="replace")
        child.stderr.close()
        child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit("%s failed (%d): %s" % (" ".join(command), child.returncode, error))
    return wall, usage.ru_utime + usage.ru_stime


def write_contacts(generator, count, path):
    with open(path, "wb") as out:
        subprocess.run([sys.executable, os.path.join(HERE, generator), str(count)], stdout=out,
                       check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("addrbook", help="the addrbook program to measure")
    parser.add_argument("--count", type=int, default=4000, help="contacts in each file")
    parser.add_argument("--runs", type=int, default=15, help="counted runs of each command")
    args = parser.parse_args()
    abook = shutil.which("abook")
    work = tempfile.mkdtemp(prefix="ovel-import-bench-")
    try:
        vcard, csv = os.path.join(work, "contacts.vcf"), os.path.join(work, "contacts.csv")
        write_contacts("vcard_contacts.py", args.count, vcard)
        write_contacts("google_contacts.py", args.count, csv)
        book = os.path.join(work, "book")
        os.mkdir(book)
        converted = os.path.join(work, "converted.csv")

        def empty(path):
            if os.path.exists(path):
                os.remove(path)

        commands = []  # (label, command, what to empty before each run)
        if abook:
            commands.append(("abook --convert, vCard to CSV",
                             [abook, "--convert", "--informat", "vcard", "--infile", vcard,
                              "--outformat", "csv", "--outfile", converted], converted))
        for label, path in (("addrbook import, vCard", vcard), ("addrbook import, CSV", csv)):
            commands.append((label, [args.addrbook, "-d", book, "import", path],
                             os.path.join(book, "ADDRBOOK.DAT")))
        times = {label: [] for label, _, _ in commands}
        for run in range(args.runs + 1):
            for label, command, output in commands:
                empty(output)
                measured = timed(command)
                if run > 0:
                    times[label].append(measured)
        report(times, commands, abook, args)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def report(times, commands, abook, args):
    print("%d contacts, %d runs of each command in turn (medians):" % (args.count, args.runs))
    print()
    if not abook:
        print("abook is not installed: addrbook is measured alone, without ratios.")
        print()
    print("| command | wall ms | cpu ms | wall / abook's | cpu / abook's |")
    print("|---|---:|---:|---:|---:|")
    peer = times[commands[0][0]] if abook else None
    for label, _, _ in commands:
        runs = times[label]
        wall = statistics.median(w for w, _ in runs) * 1e3
        cpu = statistics.median(c for _, c in runs) * 1e3
        ratios = ["", ""]
        if peer and runs is not peer:
            # Pair by pair: each run against abook's run of the same round.
            ratios = ["%.2f" % statistics.median(a[i] / b[i] for a, b in zip(runs, peer)
                                                 if b[i] > 0) for i in (0, 1)]
        print("| %s | %.1f | %.1f | %s | %s |" % (label, wall, cpu, ratios[0], ratios[1]))


if __name__ == "__main__":
    main()
