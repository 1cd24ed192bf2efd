#!/usr/bin/env python3
"""Writes examples/sample-tree: synthetic EHI result files for 'make run'.

Every subject and answer in it is made up. The tree has duplicates across
files, a hidden file and a hidden folder, files with a numeric extension,
mixed line ends and lines that are not records.
"""
import os
import random
import sys

random.seed(42)
root = sys.argv[1] if len(sys.argv) > 1 else "examples/sample-tree"
HEADER = "SYNTHETIC DATA - generated for the examples, not real participants"
COLUMNS = "subject session\tdate\tnotes (not a record: too few tabs)"


def record(subject, date, answers):
    # 20 fields: "subject 000", the date and 18 answers from -2 to 2.
    return "\t".join([f"{subject} 000", date] + [str(a) for a in answers])


pool = []
for n in range(1, 31):
    for _ in range(2):
        date = f"2024-{random.randint(1, 12):02d}-{random.randint(1, 28):02d}"
        pool.append(record(f"SYN{n:02d}", date, [random.randint(-2, 2) for _ in range(18)]))

ENDINGS = {"crlf": ["\r\n"], "lf": ["\n"], "cr": ["\r"], "mixed": ["\r\n", "\n", "\r"]}


def write(path, lines, ending="crlf"):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    ends = ENDINGS[ending]
    with open(full, "wb") as f:
        for i, line in enumerate(lines):
            f.write((line + ends[i % len(ends)]).encode())


folders = ["lab-a/2023", "lab-a/2024", "lab-a/2024/spring", "lab-b", "lab-b/old",
           "lab-b/old/deep/deeper", "field-study/site-1", "field-study/site-2", ".archive"]
names = ["EHI_batch{}.txt", "EHI-results-{}.dat", "session{}.EHI", "EHI_{}"]
count = 0
for i, folder in enumerate(folders):
    for j in range(3):
        name = names[(i + j) % len(names)].format(i * 3 + j + 1)
        lines = [HEADER, COLUMNS] + random.sample(pool, 6) + [""]
        write(f"{folder}/{name}", lines, list(ENDINGS)[(i + j) % 4])
        count += 1
# Numeric extensions: the number goes into each record's "000".
for k, ext in enumerate(["017", "018", "019"]):
    write(f"lab-a/2024/spring/EHI_session.{ext}", [HEADER] + random.sample(pool, 4))
    count += 1
# A copy of another file: all of its records are duplicates.
write("lab-b/old/EHI-results-copy.dat", [HEADER] + pool[:6])
write("lab-b/EHI-results-original.dat", [HEADER] + pool[:6])
count += 2
# Files that are not read: hidden, wrong case, no EHI in the name.
write(".EHI_hidden_backup.txt", [HEADER, pool[0].replace("SYN", "HIDDEN")])
write("lab-a/results.txt", [HEADER, pool[1].replace("SYN", "IGNORED")])
write("lab-b/ehi-lowercase.txt", [HEADER, pool[2].replace("SYN", "IGNORED")])
with open(os.path.join(root, "SYNTHETIC-DATA.txt"), "w") as f:
    f.write("Every file in this tree is synthetic example data made for the README and\n"
            "'make run'. The subjects SYN01..SYN30 do not exist.\n")
print(f"{count} qualifying files written to {root}")
