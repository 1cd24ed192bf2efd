#!/usr/bin/env python3
"""Seeded generator of synthetic harvest trees for the benchmark.

Presets:
  lab       ~200 folders, 3,000 files, 600 qualifying, 20,000 records
  archive   ~2,000 folders, 100,000 files, 10,000 qualifying, 100,000 records
            (half of them duplicates)
  bigfiles  ~50 qualifying files of 20 MB each, mostly lines that are not records
  dups      100,000 copies of one record in a few files
  crowded   50 folders of 2,000 entries each (1,998 files with names of about
            235 characters, one in ten qualifying, 5 records each)
"""
import argparse
import os
import random

PRESETS = {
    "lab": dict(folders=200, files=3000, qualifying=600, records=20000, dup_share=0.2),
    "archive": dict(folders=2000, files=100000, qualifying=10000, records=100000, dup_share=0.5),
}


def record(rng, n):
    fields = [f"SUB{n:06d} 000", f"2020-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}"]
    fields += [str(rng.randint(-2, 2)) for _ in range(18)]
    return "\t".join(fields)


def folders_for(rng, root, count):
    dirs = [root]
    for i in range(count - 1):
        parent = rng.choice(dirs[-50:] if len(dirs) > 50 and rng.random() < 0.7 else dirs)
        d = os.path.join(parent, f"d{i:04d}")
        os.makedirs(d, exist_ok=True)
        dirs.append(d)
    return dirs


def general(root, p, seed):
    rng = random.Random(seed)
    dirs = folders_for(rng, root, p["folders"])
    distinct = int(p["records"] * (1 - p["dup_share"]))
    pool = [record(rng, n) for n in range(distinct)]
    per_file = p["records"] // p["qualifying"]
    # Each qualifying file gets `per_file` records, from the pool in order,
    # then duplicates drawn at random.
    lines_out = pool + [rng.choice(pool) for _ in range(p["records"] - distinct)]
    rng.shuffle(lines_out)
    q = 0
    for i in range(p["files"]):
        d = dirs[i % len(dirs)]
        if q < p["qualifying"] and i % (p["files"] // p["qualifying"]) == 0:
            chunk = lines_out[q * per_file:(q + 1) * per_file]
            with open(os.path.join(d, f"EHI_{i:06d}.txt"), "w", newline="") as f:
                f.write("header line\r\n" + "".join(l + "\r\n" for l in chunk))
            q += 1
        else:
            with open(os.path.join(d, f"other_{i:06d}.dat"), "w") as f:
                f.write("not a result file\n")


def bigfiles(root, seed):
    rng = random.Random(seed)
    os.makedirs(root, exist_ok=True)
    filler = "\t".join(["x"] * 8) + " this line is not a record " + "y" * 60
    for i in range(50):
        d = os.path.join(root, f"batch{i % 5}")
        os.makedirs(d, exist_ok=True)
        lines = []
        size = 0
        n = 0
        while size < 20 * 1024 * 1024:
            line = record(rng, i * 100000 + n) if n % 200 == 0 else filler
            lines.append(line + "\r\n")
            size += len(line) + 2
            n += 1
        with open(os.path.join(d, f"EHI_big{i:02d}.txt"), "w", newline="") as f:
            f.write("".join(lines))


def dups(root, seed):
    rng = random.Random(seed)
    os.makedirs(root, exist_ok=True)
    one = record(rng, 1) + "\r\n"
    for i in range(4):
        with open(os.path.join(root, f"EHI_dup{i}.txt"), "w", newline="") as f:
            f.write(one * 25000)


def crowded(root, seed):
    rng = random.Random(seed)
    os.makedirs(root, exist_ok=True)
    n = 0
    for d in range(50):
        folder = os.path.join(root, f"d{d:02d}")
        os.makedirs(folder, exist_ok=True)
        for i in range(1998):  # with "." and "..", the most a folder may hold
            if i % 10 == 0:
                with open(os.path.join(folder, f"EHI_{i:04d}_" + "x" * 220 + ".txt"), "w",
                          newline="") as f:
                    f.write("".join(record(rng, n + k) + "\r\n" for k in range(5)))
                n += 5
            else:
                open(os.path.join(folder, f"other_{i:04d}_" + "y" * 220 + ".dat"), "w").close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("preset", choices=["lab", "archive", "bigfiles", "dups", "crowded"])
    ap.add_argument("root")
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    os.makedirs(a.root, exist_ok=True)
    if a.preset in PRESETS:
        general(a.root, PRESETS[a.preset], a.seed)
    elif a.preset == "bigfiles":
        bigfiles(a.root, a.seed)
    elif a.preset == "crowded":
        crowded(a.root, a.seed)
    else:
        dups(a.root, a.seed)


if __name__ == "__main__":
    main()
