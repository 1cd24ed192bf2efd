#!/usr/bin/env python3
"""Times ehiharvest against the Unix pipeline doing the same job and against
the floor walker, on generated trees, with warm caches and alternating runs.
Prints the median times, the median ratios and the peak memory of each."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PIPELINE = (
    "find . -type f ! -name '.*' \\( -name '*EHI*' -o -name '*Orvitan*' \\) -print0"
    " | xargs -0 -r awk -F'\\t' 'NF==20' | LC_ALL=C sort -u > /dev/null"
)


def timed(cmd, cwd, shell=False):
    """Runs cmd in a new session; returns (seconds, peak RSS in MiB).

    GNU time reports the peak of the command alone (the pipeline's largest
    member), not of the forked copy of this script."""
    if shell:
        cmd = ["/usr/bin/time", "-f", "%M", "-o", "/tmp/ehi-bench-rss", "sh", "-c", cmd]
    else:
        cmd = ["/usr/bin/time", "-f", "%M", "-o", "/tmp/ehi-bench-rss"] + cmd
    start = time.perf_counter()
    p = subprocess.Popen(cmd, cwd=cwd, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                         start_new_session=True)
    _, status, usage = os.wait4(p.pid, 0)
    elapsed = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"{cmd} failed with {code} in {cwd}")
    with open("/tmp/ehi-bench-rss") as f:
        return elapsed, int(f.read().split()[-1]) / 1024.0


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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build-bench")
    ap.add_argument("--presets", default="lab,archive,bigfiles,dups")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--trees", default="/tmp/ehi-bench")
    a = ap.parse_args()
    harvest = os.path.abspath(os.path.join(a.build, "harvest", "ehiharvest"))
    floor = os.path.abspath(os.path.join(a.build, "bench", "floor_walker"))
    rows = []
    for preset in a.presets.split(","):
        root = tree(preset, a.seed, a.trees)
        table = os.path.join(root, "Orvitan.Tab")
        runs = {"harvest": [], "pipeline": [], "floor": []}
        mem = {"harvest": 0.0, "pipeline": 0.0, "floor": 0.0}
        for rnd in range(a.rounds + 1):  # round 0 warms the caches
            for name in ("harvest", "pipeline", "floor"):
                if name == "harvest" and os.path.exists(table):
                    os.remove(table)  # it would be read back as input
                if name == "harvest":
                    t, m = timed([harvest], root)
                elif name == "pipeline":
                    t, m = timed(PIPELINE, root, shell=True)
                else:
                    t, m = timed([floor], root)
                if rnd > 0:
                    runs[name].append(t)
                    mem[name] = max(mem[name], m)
        if os.path.exists(table):
            os.remove(table)
        med = {k: statistics.median(v) for k, v in runs.items()}
        rows.append((preset, med, mem))
    print()
    print(f"{'preset':9} {'harvest s':>10} {'pipeline s':>10} {'floor s':>8} "
          f"{'h/pipe':>7} {'h/floor':>8} {'h MiB':>7} {'pipe MiB':>8} {'floor MiB':>9}")
    for preset, med, mem in rows:
        print(f"{preset:9} {med['harvest']:10.3f} {med['pipeline']:10.3f} {med['floor']:8.3f} "
              f"{med['harvest'] / med['pipeline']:7.2f} {med['harvest'] / med['floor']:8.2f} "
              f"{mem['harvest']:7.1f} {mem['pipeline']:8.1f} {mem['floor']:9.1f}")


if __name__ == "__main__":
    main()
