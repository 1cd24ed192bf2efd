#!/usr/bin/env python3
"""Harvests the same generated trees with the native build and with the
Windows build under Wine: tables, console lines and exit statuses must be
identical (the code offsets of a runtime error report aside).

usage: differential_test.py NATIVE_EHIHARVEST WINDOWS_EHIHARVEST_EXE WINE_RUNNER
"""
import os
import random
import re
import shutil
import stat
import subprocess
import sys
import tempfile

native, windows, wine = sys.argv[1:4]


def record(rng, subject, first_field=None):
    first = first_field if first_field is not None else f"{subject} 000"
    return "\t".join([first, f"2024-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}"] +
                     [str(rng.randint(-2, 2)) for _ in range(18)])


def write(root, path, lines, ends=("\r\n",), tail=b""):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        for i, line in enumerate(lines):
            f.write(line.encode("latin-1") + ends[i % len(ends)].encode())
        f.write(tail)


def mixed_tree(root):
    """Line ends, Ctrl-Z, numeric extensions, duplicates, hidden and
    read-only files, and odd names that Windows allows."""
    rng = random.Random(7)
    pool = [record(rng, f"SUB{n:03d}") for n in range(60)]
    header = "header: not a record"
    ends = {"crlf": ("\r\n",), "lf": ("\n",), "cr": ("\r",), "mixed": ("\r\n", "\n", "\r")}
    odd = ["EHI with spaces.txt", "a#b%c&d(EHI)'e;f=g@h[i]j^k{l}m~n!o,p.txt",
           "EHI" + "x" * 150 + ".dat", "trailing.EHI", "EHI", "ÉHI-latin1-EHI.txt",
           "x.EHI.y.z"]
    for i, name in enumerate(odd):
        style = list(ends)[i % 4]
        write(root, f"odd/{name}", [header] + rng.sample(pool, 5), ends[style])
    # Ctrl-Z right after a line end ends the file; inside a line it is data;
    # in the skipped rest of a long line it ends the file too.
    write(root, "ctrlz/EHI_a.txt", [pool[0], pool[1]], tail=b"\x1a" + pool[2].encode() + b"\r\n")
    write(root, "ctrlz/EHI_b.txt", [pool[3] + "\x1a" + "x", pool[4]])
    write(root, "ctrlz/EHI_c.txt", ["y" * 300 + "\x1a" + "z", pool[5]])
    # Numeric extensions: the number goes over the first field's "000".
    for ext in ["017", "+12", "$1F", "0x9", "999", "1234"]:
        write(root, f"numbers/EHI_s.{ext}",
              [record(rng, "NUM01"), record(rng, "X", "000"), record(rng, "X", "A B 000"),
               record(rng, "X", "SYN01 00x")])
    # Duplicates across files and inside one.
    write(root, "dups/EHI_1.txt", pool[:20] + pool[:5])
    write(root, "dups/deeper/EHI_2.txt", pool[10:30])
    # Hidden (dot) files are not read; hidden folders are walked.
    write(root, ".EHI_hidden.txt", [record(rng, "HIDDEN")])
    write(root, ".hiddendir/EHI_in_hidden_folder.txt", [record(rng, "INHIDDEN")])
    # Read-only files are read like any other.
    write(root, "ro/EHI_readonly.txt", pool[30:40])
    os.chmod(os.path.join(root, "ro/EHI_readonly.txt"), 0o444)
    # Names without the capital letters do not count.
    write(root, "ehi-lower.txt", [record(rng, "LOWER")])
    write(root, "Ehi.txt", [record(rng, "MIXEDCASE")])


def entries_tree(count):
    """`count` plain files in the start folder, one of them qualifying."""
    def make(root):
        rng = random.Random(count)
        for i in range(count - 1):
            write(root, f"f{i:05d}.dat", ["x"])
        write(root, "EHI_one.txt", [record(rng, "ONE")])
    return make


def long_path_tree(root):
    rng = random.Random(3)
    deep = "/".join(["d" * 60] * 4)
    write(root, deep + "/EHI_too_deep.txt", [record(rng, "DEEP")])


def readonly_table_tree(root):
    rng = random.Random(4)
    write(root, "EHI.txt", [record(rng, "T")])
    write(root, "Orvitan.Tab", [record(rng, "OLD")])
    os.chmod(os.path.join(root, "Orvitan.Tab"), 0o444)


def empty_tree(root):
    write(root, "notes.txt", ["nothing here"])


TREES = [("mixed", mixed_tree), ("2000 entries", entries_tree(2000)),
         ("2001 entries", entries_tree(2001)), ("long path", long_path_tree),
         ("read-only table", readonly_table_tree), ("no records", empty_tree)]


first_positions = {}


def source_of(exe, hex_offset, windows_build):
    """The function and file that addr2line names for a report position."""
    tool, address = "addr2line", int(hex_offset, 16)
    if windows_build:
        tool = "x86_64-w64-mingw32-addr2line"
        head = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True,
                              text=True, check=True).stdout
        address += int(re.search(r"ImageBase\s+([0-9a-fA-F]+)", head).group(1), 16)
    out = subprocess.run([tool, "-f", "-C", "-e", exe, hex(address)], capture_output=True,
                         text=True, check=True).stdout.split("\n")
    return out[0], os.path.basename(out[1].split(":")[0])


def run(cmd, cwd):
    p = subprocess.run(cmd, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, timeout=300)
    m = re.search(rb"Runtime error \d+ at \$([0-9A-F]{8})", p.stdout)
    if m:
        first_positions[cmd[-1]] = m.group(1).decode()
    table = None
    path = os.path.join(cwd, "Orvitan.Tab")
    if os.path.exists(path):
        with open(path, "rb") as f:
            table = f.read()
    # Code offsets differ between the two builds, and so does the depth of
    # the call chain under main; the rest must not.
    out = re.sub(rb"\$[0-9A-F]{8}", b"$XXXXXXXX", p.stdout)
    out = re.sub(rb"(\r\n  \$XXXXXXXX)+", b"\r\n  (call chain)", out)
    return p.returncode, out, p.stderr, table


def make_writable(root):
    for d, dirs, files in os.walk(root):
        for n in dirs + files:
            os.chmod(os.path.join(d, n), stat.S_IRWXU)


def main():
    failures = 0
    base = tempfile.mkdtemp(prefix="ehidiff-")
    try:
        for name, make in TREES:
            results = []
            for label, cmd in [("native", [native]), ("windows", [wine, windows])]:
                root = os.path.join(base, f"{name}-{label}".replace(" ", "_"))
                os.makedirs(root)
                make(root)
                results.append(run(cmd, root))
            (s1, o1, e1, t1), (s2, o2, e2, t2) = results
            same = (s1, o1, t1) == (s2, o2, t2)
            print(f"{'same' if same else 'DIFFERENT'}: {name}: status {s1}/{s2}, "
                  f"console {o1[:70]!r}, table {len(t1 or b'')}/{len(t2 or b'')} bytes")
            if not same:
                failures += 1
                print(f"  native : {s1} {o1!r}\n  windows: {s2} {o2!r} {e2[-300:]!r}")
            if e1:
                failures += 1
                print(f"  the native run wrote to standard error: {e1!r}")

        # The first position of a report names the same statement in both
        # builds (addr2line on the .exe wants the image base added).
        if native in first_positions and windows in first_positions:
            places = [source_of(native, first_positions[native], False),
                      source_of(windows, first_positions[windows], True)]
            ok = places[0] == places[1] and places[0][1].endswith(".cpp")
            print(f"{'same' if ok else 'DIFFERENT'}: the report's first position: {places}")
            failures += 0 if ok else 1
        else:
            failures += 1
            print("no runtime error report to compare positions with")

        # Windows' own hidden and system attributes (as attrib sets them)
        # hide a file as a dot does: the table is the one of the tree
        # without those files.
        root = os.path.join(base, "attributes")
        mixed_tree(root)
        rng = random.Random(9)
        for n in ["EHI_marked_hidden.txt", "EHI_marked_system.txt"]:
            write(root, n, [record(rng, "ATTRIB" + n[11:17].upper())])
        for flag, n in [("+h", "EHI_marked_hidden.txt"), ("+s", "EHI_marked_system.txt")]:
            subprocess.run([wine, "cmd", "/c", "attrib", flag, n], cwd=root,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=120, check=True)
        s2, o2, _, t2 = run([wine, windows], root)
        expected = os.path.join(base, "mixed-native")
        with open(os.path.join(expected, "Orvitan.Tab"), "rb") as f:
            want = f.read()
        ok = s2 == 0 and t2 == want
        print(f"{'same' if ok else 'DIFFERENT'}: attrib +h/+s files left out: status {s2}")
        failures += 0 if ok else 1
    finally:
        make_writable(base)
        shutil.rmtree(base, ignore_errors=True)
    if failures:
        print(f"{failures} difference(s)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
