#!/usr/bin/env python3
"""Times ehiharvest against peers doing the same job on generated trees, in
alternating runs, and prints the medians, the ratios and the peak memory.

Warm mode (the default): the page cache holds the tree; ehiharvest, the Unix
pipeline and the floor walker. Cold mode (--cold): the page cache is dropped
before every timed run (sync; echo 3 > /proc/sys/vm/drop_caches, which needs
root); ehiharvest, the floor walker, the awk pipeline, a ripgrep pipeline and
eight cats in parallel (what the disk gives a reader that keeps it busy)."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
QUALIFYING = "find . -type f ! -name '.*' \\( -name '*EHI*' -o -name '*Orvitan*' \\) -print0"
PIPELINE = QUALIFYING + " | xargs -0 -r awk -F'\\t' 'NF==20' | LC_ALL=C sort -u > /dev/null"
# ripgrep picks the files and the lines with a tab, awk applies the exact
# test, sort removes the duplicates.
RIPGREP = ("rg -uu --no-filename --no-line-number -g '*EHI*' -g '*Orvitan*' -g '!.*' '\\t' ."
           " | awk -F'\\t' 'NF==20' | LC_ALL=C sort -u > /dev/null")
PARALLEL_CAT = QUALIFYING + " | xargs -0 -r -P8 -n 64 cat > /dev/null"


def run(cmd, cwd, shell=False, memory=False):
    """Runs cmd in a new session; returns (seconds, peak RSS in MiB or 0).

    With `memory`, GNU time reports the peak of the command alone (the
    pipeline's largest member), not of the forked copy of this script; that
    run is the untimed warm-up, since the wrapper's own process lengthens a
    run of a few milliseconds. Timed runs start the command directly."""
    if shell:
        cmd = ["sh", "-c", cmd]
    if memory:
        cmd = ["/usr/bin/time", "-f", "%M", "-o", "/tmp/ehi-bench-rss"] + cmd
    start = time.perf_counter()
    p = subprocess.Popen(cmd, cwd=cwd, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         start_new_session=True)
    code = p.wait()
    elapsed = time.perf_counter() - start
    if code != 0:
        sys.exit(f"{cmd} failed with {code} in {cwd}")
    if not memory:
        return elapsed, 0.0
    with open("/tmp/ehi-bench-rss") as f:
        return elapsed, int(f.read().split()[-1]) / 1024.0


def drop_caches():
    """Empties the page cache; False when this process may not."""
    try:
        subprocess.run(["sync"], check=True)
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def tree(preset, seed, base):
    root = os.path.join(base, f"{preset}-{seed}")
    marker = os.path.join(root, ".generated")
    if not os.path.exists(marker):
        shutil.rmtree(root, ignore_errors=True)
        print(f"generating {preset} in {root} ...", flush=True)
        subprocess.check_call([sys.executable, os.path.join(HERE, "gen_tree.py"), preset, root,
                               "--seed", str(seed)])
        open(marker, "w").close()
    return root


def expected_table(root):
    """The table the harvest must write, made independently: every record
    (a line of exactly 19 tabs, at most 255 bytes) of every qualifying file,
    once each, in byte order, ending in CR LF. The generated trees have no
    numeric extensions, Ctrl-Z or long lines."""
    records = set()
    for d, dirs, files in os.walk(root):
        for n in files:
            if n.startswith(".") or not ("EHI" in n or "Orvitan" in n):
                continue
            with open(os.path.join(d, n), "rb") as f:
                data = f.read()
            for line in data.replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n"):
                line = line[:255]
                if line.count(b"\t") == 19:
                    records.add(line)
    return b"".join(r + b"\r\n" for r in sorted(records))


def check_table(cmd, root, cold):
    """One more harvest run; its table must equal the expected table."""
    table = os.path.join(root, "Orvitan.Tab")
    if os.path.exists(table):
        os.remove(table)
    if cold:
        drop_caches()
    subprocess.run(cmd, cwd=root, stdout=subprocess.DEVNULL, check=True)
    with open(table, "rb") as f:
        got = f.read()
    os.remove(table)
    return got == expected_table(root)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build-bench")
    ap.add_argument("--presets", default="lab,archive,bigfiles,dups,crowded")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--trees", default="/tmp/ehi-bench")
    ap.add_argument("--cold", action="store_true", help="drop the page cache before every run")
    a = ap.parse_args()
    harvest = os.path.abspath(os.path.join(a.build, "harvest", "ehiharvest"))
    floor = os.path.abspath(os.path.join(a.build, "bench", "floor_walker"))
    commands = {"harvest": ([harvest], False), "pipeline": (PIPELINE, True),
                "floor": ([floor], False)}
    if a.cold:
        if not drop_caches():
            print("Cold-cache mode needs root and a writable /proc/sys/vm/drop_caches: skipped.")
            return
        if shutil.which("rg") is None:
            sys.exit("Cold-cache mode compares with ripgrep: install Debian's ripgrep first.")
        commands["ripgrep"] = (RIPGREP, True)
        commands["cat -P8"] = (PARALLEL_CAT, True)
        print("Cold cache: the page cache is dropped before every timed run.", flush=True)
    rows = []
    mismatches = 0
    for preset in a.presets.split(","):
        root = tree(preset, a.seed, a.trees)
        table = os.path.join(root, "Orvitan.Tab")
        runs = {name: [] for name in commands}
        mem = {}
        for rnd in range(a.rounds + 1):  # round 0 warms up (and is not counted)
            for name, (cmd, shell) in commands.items():
                if name == "harvest" and os.path.exists(table):
                    os.remove(table)  # it would be read back as input
                if a.cold:
                    drop_caches()
                t, m = run(cmd, root, shell=shell, memory=rnd == 0)
                if rnd > 0:
                    runs[name].append(t)
                else:
                    mem[name] = m
        same = check_table(commands["harvest"][0], root, a.cold)
        print(f"{preset}: the table {'equals' if same else 'DIFFERS FROM'} the expected table",
              flush=True)
        mismatches += 0 if same else 1
        rows.append((preset, {k: statistics.median(v) for k, v in runs.items()}, mem))
    names = list(commands)
    print()
    print(f"{'preset':9}" + "".join(f"{n + ' s':>12}" for n in names) +
          "".join(f"{'h/' + n:>12}" for n in names[1:]) + f"{'h MiB':>8}")
    for preset, med, mem in rows:
        print(f"{preset:9}" + "".join(f"{med[n]:12.3f}" for n in names) +
              "".join(f"{med['harvest'] / med[n]:12.2f}" for n in names[1:]) +
              f"{mem['harvest']:8.1f}")
    if mismatches:
        sys.exit(f"{mismatches} table(s) differ from the expected table")


if __name__ == "__main__":
    main()
