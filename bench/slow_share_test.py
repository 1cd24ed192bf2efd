#!/usr/bin/env python3
"""Checks slow_share: its usage errors; then, where FUSE can be used, that
the mirror shows a folder too large for one listing reply and files larger
than one read request as they are, that each kind of request waits at
least the delay, that requests from several threads wait together, and
that it counts what it answered.

usage: slow_share_test.py SLOW_SHARE    (exit status 77: FUSE unavailable)
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time

program = sys.argv[1]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


# Usage errors: status 2, and the reason on the first line.
for args, reason in [
    ([], "a source folder and a mount point are needed"),
    (["a", "b", "c"], "a source folder and a mount point are needed"),
    (["--delay-ms", "-1", "a", "b"], "bad value for --delay-ms"),
    (["--delay-ms", "1x", "a", "b"], "bad value for --delay-ms"),
    (["a", "b", "--delay-ms"], "bad value for --delay-ms"),
    (["--threads", "0", "a", "b"], "bad value for --threads"),
    (["--cache", "5", "a", "b"], "unknown option --cache"),
]:
    p = subprocess.run([program] + args, capture_output=True, text=True)
    first = p.stderr.splitlines()[0] if p.stderr else ""
    check(p.returncode == 2 and first == "slow_share: " + reason,
          f"{args}: status {p.returncode}, {first!r}")


def mounted(path):
    with open("/proc/self/mounts") as f:
        return any(line.split()[1] == path for line in f)


class Mount:
    def __init__(self, source, target, delay_ms):
        self.target = target
        self.log = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([program, "--delay-ms", str(delay_ms), source, target],
                                     stderr=self.log, start_new_session=True)
        while not mounted(target):
            code = self.proc.poll()
            if code is not None:
                self.log.seek(0)
                why = self.log.read().decode().strip()
                if code == 3:  # the kernel refused the mount
                    print("FUSE cannot be used here, the mount is not tried:", why)
                    if not failures:
                        sys.exit(77)
                    finish()
                sys.exit(f"slow_share ended with {code}: {why}")
            time.sleep(0.005)

    def close(self):
        """Unmounts; returns the request counts printed at the end."""
        while mounted(self.target):
            subprocess.run(["fusermount3", "-u", self.target])
        self.proc.wait(timeout=10)
        self.log.seek(0)
        line = self.log.read().decode().strip().splitlines()[-1]
        return {k: int(v) for k, v in (w.split("=") for w in line.split()[1:])}



def finish():
    for f in failures:
        print("FAILED:", f)
    sys.exit(1 if failures else 0)


if not os.access("/dev/fuse", os.R_OK | os.W_OK) or shutil.which("fusermount3") is None:
    print("no /dev/fuse that this user may open, or no fusermount3: the mount is not tried")
    if not failures:
        sys.exit(77)
    finish()

with tempfile.TemporaryDirectory() as work:
    src, mnt = os.path.join(work, "src"), os.path.join(work, "mnt")
    big = os.path.join(src, "big")
    os.makedirs(big)
    os.mkdir(mnt)
    rng = random.Random(5)
    # 1,500 names of about 100 bytes: many listing replies, each entry
    # that did not fit one reply carried into the next.
    for i in range(1500):
        name = f"{i:04d}" + "n" * 96
        if i % 3 == 0:
            os.mkdir(os.path.join(big, name))
        else:
            open(os.path.join(big, name), "w").close()
    sizes = [0, 1, 4095, 4097, 131072, 300001]
    for size in sizes:
        with open(os.path.join(src, f"data{size}"), "wb") as f:
            f.write(rng.randbytes(size))

    share = Mount(src, mnt, 2)
    try:
        seen = {(e.name, e.is_dir(follow_symlinks=False)) for e in os.scandir(os.path.join(mnt, "big"))}
        there = {(e.name, e.is_dir(follow_symlinks=False)) for e in os.scandir(big)}
        check(seen == there, f"listing: {len(seen ^ there)} entries differ")
        for size in sizes:
            with open(os.path.join(mnt, f"data{size}"), "rb") as f, \
                    open(os.path.join(src, f"data{size}"), "rb") as g:
                check(f.read() == g.read(), f"data{size} reads differently")
    finally:
        share.close()

    # Each kind of request on its own, against a fresh mount: each takes at
    # least the delay.
    for i in range(8):
        open(os.path.join(src, f"c{i}"), "w").close()
    delay = 0.2
    share = Mount(src, mnt, delay * 1000)
    try:
        state = {}
        steps = [
            ("lookup", lambda: os.stat(os.path.join(mnt, "data4097"))),
            ("open", lambda: state.setdefault("fd", os.open(os.path.join(mnt, "data4097"),
                                                            os.O_RDONLY))),
            ("read", lambda: os.read(state["fd"], 10)),
            ("listing", lambda: os.listdir(mnt)),
        ]
        for kind, step in steps:
            start = time.monotonic()
            step()
            took = time.monotonic() - start
            check(took >= delay, f"{kind} took {took:.3f} s, less than the delay")
        os.close(state["fd"])
        # Eight lookups at once must wait together, not one after another.
        gate = threading.Barrier(8)

        def look(i):
            gate.wait()
            os.stat(os.path.join(mnt, f"c{i}"))
        threads = [threading.Thread(target=look, args=(i,)) for i in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        counts = share.close()
    check(counts["in_flight_peak"] >= 2, f"at most {counts['in_flight_peak']} in flight at once")
    for kind, n in [("lookup", 9), ("open", 1), ("opendir", 1)]:
        check(counts[kind] == n, f"{counts[kind]} {kind} requests counted, not {n}")

finish()
