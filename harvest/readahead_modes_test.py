#!/usr/bin/env python3
"""Runs the harvest on a generated tree in each read-ahead mode (off,
normal, the worker as far ahead as it may be, the fetchers from the start) and
checks that every run ends with status 0, prints the same line and writes the
same table. Built with ThreadSanitizer, a data race ends a run with a report
on standard error, which fails this test too.

Usage: readahead_modes_test.py EHIHARVEST_FAULT GEN_TREE_PY"""
import os
import subprocess
import sys
import tempfile

MODES = [["--no-read-ahead"], [], ["--read-ahead-first"], ["--warm"]]


def main():
    program, generator = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as base:
        tree = os.path.join(base, "lab")
        subprocess.check_call([sys.executable, generator, "lab", tree, "--seed", "3"])
        table = os.path.join(tree, "Orvitan.Tab")
        first = None
        failures = 0
        for mode in MODES:
            if os.path.exists(table):
                os.remove(table)
            r = subprocess.run([program] + mode, cwd=tree, stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=600)
            with open(table, "rb") as f:
                got = (r.returncode, r.stdout, r.stderr, f.read())
            name = " ".join(mode) or "(normal)"
            print(f"{name}: status {r.returncode}, {r.stdout.decode(errors='replace').strip()}",
                  flush=True)
            if r.returncode != 0 or r.stderr:
                print(r.stderr.decode(errors="replace"))
                failures += 1
            if first is None:
                first = got
            elif got != first:
                print(f"{name}: not what the walk alone gives")
                failures += 1
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
