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
import time

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


def scripts_tree(root):
    """Names in scripts that no code page holds all of (CJK, Cyrillic,
    Greek, a character beyond 16 bits): each is read under its own name."""
    rng = random.Random(11)
    for i, path in enumerate(["日本/EHI_ja.txt", "данные/EHI_ru.txt", "EHI_ж.txt",
                              "中文/深い/フォルダ/EHI_深.txt", "Ελληνικά/EHI.dat",
                              "emoji_😀/EHI_😀.txt", "смесь_日本/EHI_s.017"]):
        write(root, path, [record(rng, f"SCRIPT{i:02d}"), record(rng, "X", "S 000")])


def lookalike_tree(root):
    """Full-width look-alikes of ".", "/", "\\", ":" and of letters are
    names like any other. Read as the characters they resemble, they would
    lead out of the start folder to a record that must never appear."""
    rng = random.Random(12)
    outside = os.path.join(os.path.dirname(root), "outside")
    write(outside, "EHI_secret.txt", [record(rng, "SECRET")])
    absolute = "Ｚ：" + outside.replace("/", "＼")
    names = ["．．／outside", "．．＼outside", "x＼..＼..＼outside", absolute, "．．", "ａｂ", "ab"]
    for i, name in enumerate(names):
        write(root, f"{name}/EHI_{i}.txt", [record(rng, f"LOOK{i:02d}")])
    # No "EHI" in the name, whatever it looks like: never read.
    write(root, "ＥＨＩ.txt", [record(rng, "FULLWIDTHLETTERS")])
    # A file, not the null device.
    write(root, "NUL.EHI", [record(rng, "DEVICENAME")])
    # Names that end in a dot or a blank are theirs, not the names without.
    write(root, "dot./EHI_in.txt", [record(rng, "TRAILINGDOT")])
    write(root, "EHI_blank.txt ", [record(rng, "TRAILINGBLANK")])


def long_start_tree(root):
    """A start folder so deep that paths below it pass 260 characters made
    absolute, though none passes 255 from the start folder (the start
    folder itself stays below 260, the most Wine starts a program in)."""
    rng = random.Random(13)
    start = root
    while len(start) < 235:
        start = os.path.join(start, "s" * min(50, 235 - len(start)))
    write(start, "/".join(["d" * 50] * 4) + "/EHI_deep.txt", [record(rng, "DEEPER")])
    write(start, "EHI_top.txt", [record(rng, "TOP")])
    return start


TREES = [("mixed", mixed_tree), ("2000 entries", entries_tree(2000)),
         ("2001 entries", entries_tree(2001)), ("long path", long_path_tree),
         ("read-only table", readonly_table_tree), ("no records", empty_tree),
         ("scripts", scripts_tree), ("look-alikes", lookalike_tree),
         ("long start folder", long_start_tree)]
# What no table may hold.
FORBIDDEN = {"look-alikes": b"SECRET"}


def table_tree(root, table="Orvitan.Tab"):
    """New records and the table of an earlier run, under `table`."""
    rng = random.Random(14)
    write(root, "EHI.txt", [record(rng, "NEW"), record(rng, "BOTH")])
    rng = random.Random(14)
    write(root, table, [record(rng, "OLD"), record(rng, "BOTH")])


def attrib(wine, args, cwd):
    return subprocess.run([wine, "cmd", "/c", "attrib"] + args, cwd=cwd, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=120, check=True).stdout


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
                results.append(run(cmd, make(root) or root))
            (s1, o1, e1, t1), (s2, o2, e2, t2) = results
            same = (s1, o1, t1) == (s2, o2, t2)
            forbidden = FORBIDDEN.get(name)
            if forbidden and (forbidden in (t1 or b"") or forbidden in (t2 or b"")):
                same = False
                print(f"  a table holds {forbidden!r}")
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

        # A table with the hidden or system attribute is read back and
        # replaced as any table, and keeps the attribute.
        for flag in ["+h", "+s"]:
            tables = []
            for label, cmd in [("native", [native]), ("windows", [wine, windows])]:
                root = os.path.join(base, f"table{flag}-{label}")
                table_tree(root)
                if label == "windows":
                    attrib(wine, [flag, "Orvitan.Tab"], root)
                tables.append(run(cmd, root))
            kept = flag[1].upper().encode() in attrib(wine, ["Orvitan.Tab"], root).split(b":")[0]
            want = tables[0]
            (s1, o1, _, t1), (s2, o2, _, t2) = tables
            ok = (s1, o1, t1) == (s2, o2, t2) and kept and b"OLD" in (t2 or b"")
            print(f"{'same' if ok else 'DIFFERENT'}: a table with attrib {flag}: status {s2}, "
                  f"{len(t2 or b'')} bytes, attribute kept: {kept}")
            failures += 0 if ok else 1

        # The table spelt in capitals is the table on Windows: read back,
        # replaced under its own spelling, no second table beside it.
        root = os.path.join(base, "capitals-windows")
        table_tree(root, "ORVITAN.TAB")
        s2, o2, _, _ = run([wine, windows], root)
        with open(os.path.join(root, "ORVITAN.TAB"), "rb") as f:
            t2 = f.read()
        ok = (s2, o2) == want[:2] and t2 == want[3] and "Orvitan.Tab" not in os.listdir(root)
        print(f"{'same' if ok else 'DIFFERENT'}: the table as ORVITAN.TAB: status {s2}, "
              f"{len(t2)} bytes, folder {sorted(os.listdir(root))}")
        failures += 0 if ok else 1

        # A file held open for writing by another program stops the run with
        # access denied (5), as any file that cannot be opened does.
        root = os.path.join(base, "held-windows")
        table_tree(root)
        with open(os.path.join(root, "Orvitan.Tab"), "rb") as f:
            before = f.read()
        holder = subprocess.Popen([wine, "cmd", "/c", "more > EHI_held.txt"], cwd=root,
                                  stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        try:
            for _ in range(600):
                if os.path.exists(os.path.join(root, "EHI_held.txt")):
                    break
                time.sleep(0.1)
            time.sleep(1)
            s2, o2, _, t2 = run([wine, windows], root)
        finally:
            holder.stdin.close()
            holder.wait(timeout=120)
        ok = s2 == 5 and o2.startswith(b"Runtime error 5 at $XXXXXXXX\r\n") and t2 == before
        print(f"{'same' if ok else 'DIFFERENT'}: a file open for writing elsewhere: status {s2}, "
              f"console {o2[:40]!r}")
        failures += 0 if ok else 1

        # A POSIX name holding "\\" reaches Windows (here Wine) as a name it
        # lists but cannot open: the run stops rather than pass over it.
        root = os.path.join(base, "backslash-windows")
        rng = random.Random(15)
        write(root, "EHI_top.txt", [record(rng, "TOP")])
        write(root, "a\\b/EHI_in.txt", [record(rng, "BACKSLASH")])
        s2, o2, _, t2 = run([wine, windows], root)
        ok = s2 == 3 and o2.startswith(b"Runtime error 3 at $XXXXXXXX\r\n") and t2 is None
        print(f"{'same' if ok else 'DIFFERENT'}: a folder a\\b seen through Wine: status {s2}, "
              f"console {o2[:40]!r}")
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
