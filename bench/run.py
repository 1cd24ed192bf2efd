#!/usr/bin/env python3
"""Times ehiharvest against peers doing the same job on generated trees, in
alternating runs, and prints the medians, the ratios and the peak memory.

Warm mode (the default): the page cache holds the tree; ehiharvest, the Unix
pipeline, the floor walker and the parallel floor. Cold mode (--cold): the
page cache is dropped before every timed run (sync; echo 3 >
/proc/sys/vm/drop_caches, which needs root); ehiharvest, the floor walker,
the parallel floor, the awk pipeline, a ripgrep pipeline and eight cats in
parallel. Share mode (--share): the tree is served through slow_share, a
FUSE mirror that answers every request a fixed delay late, mounted anew
before every run so that nothing is cached; ehiharvest, the floor walker
and the parallel floor, with the requests each run made.

Every table a harvest writes must equal the table derived from the tree."""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
QUALIFYING = "find . -type f ! -name '.*' \\( -name '*EHI*' -o -name '*Orvitan*' \\) -print0"
PIPELINE = QUALIFYING + " | xargs -0 -r awk -F'\\t' 'NF==20' | LC_ALL=C sort -u > /dev/null"
# ripgrep picks the files and the lines with a tab, awk applies the exact
# test, sort removes the duplicates.
RIPGREP = ("rg -uu --no-filename --no-line-number -g '*EHI*' -g '*Orvitan*' -g '!.*' '\\t' ."
           " | awk -F'\\t' 'NF==20' | LC_ALL=C sort -u > /dev/null")
PARALLEL_CAT = QUALIFYING + " | xargs -0 -r -P8 -n 64 cat > /dev/null"
TABLE = "Orvitan.Tab"
# Exit status of slow_share when the kernel refuses the mount.
MOUNT_REFUSED = 3


def run(cmd, cwd, shell=False, memory=False):
    """Runs cmd in a new session; returns (seconds, peak RSS in MiB or 0,
    what it printed).

    With `memory`, GNU time reports the peak of the command alone (the
    pipeline's largest member), not of the forked copy of this script; that
    run is the untimed warm-up, since the wrapper's own process lengthens a
    run of a few milliseconds. Timed runs start the command directly. If
    this script is stopped meanwhile, the command is killed first, so that
    nothing holds a mount that is to be taken down."""
    if shell:
        cmd = ["sh", "-c", cmd]
    rss = f"/tmp/ehi-bench-rss-{os.getpid()}"
    if memory:
        cmd = ["/usr/bin/time", "-f", "%M", "-o", rss] + cmd
    start = time.perf_counter()
    p = subprocess.Popen(cmd, cwd=cwd, stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         start_new_session=True)
    try:
        out = p.communicate()[0]
    except BaseException:
        os.killpg(p.pid, signal.SIGKILL)
        p.wait()
        raise
    elapsed = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit(f"{cmd} failed with {p.returncode} in {cwd}")
    if not memory:
        return elapsed, 0.0, out
    with open(rss) as f:
        peak = int(f.read().split()[-1]) / 1024.0
    os.remove(rss)
    return elapsed, peak, out


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
    once each, in byte order, ending in CR LF; and how many records there
    are with their duplicates, which the floors must count. The generated
    trees have no numeric extensions, Ctrl-Z or long lines."""
    records = set()
    count = 0
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
                    count += 1
    return b"".join(r + b"\r\n" for r in sorted(records)), count


def take_table(root):
    """The table a harvest left in root (None if none), removed so that the
    next harvest does not read it back as input."""
    path = os.path.join(root, TABLE)
    if not os.path.exists(path):
        return None
    with open(path, "rb") as f:
        data = f.read()
    os.remove(path)
    return data


def mounted(path):
    """True while something is mounted on path, even a file system whose
    server has gone (which `os.path.ismount` cannot tell from nothing)."""
    with open("/proc/self/mounts") as f:
        return any(line.split()[1] == path for line in f)


class FuseUnavailable(Exception):
    """FUSE cannot be used on this machine; the message says why."""


class Share:
    """A slow_share mount of `source`, taken down on every way out (use it
    in a `with` block). `requests` holds the counts it printed at its end."""

    def __init__(self, program, source, mount_point, delay_ms):
        self.cmd = [program, "--delay-ms", str(delay_ms), source, mount_point]
        self.mount_point = mount_point
        self.proc = None
        self.log = None
        self.requests = {}

    def __enter__(self):
        self.log = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(self.cmd, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=self.log,
                                     start_new_session=True)
        try:
            self._wait_for_mount()
        except BaseException:
            self.__exit__()
            raise
        return self

    def _wait_for_mount(self):
        deadline = time.monotonic() + 10
        while not mounted(self.mount_point):
            code = self.proc.poll()
            if code == MOUNT_REFUSED:
                raise FuseUnavailable(self._log_text().strip())
            if code is not None:
                sys.exit(f"slow_share ended with {code}: {self._log_text().strip()}")
            if time.monotonic() > deadline:
                sys.exit("slow_share did not mount within 10 s")
            time.sleep(0.005)

    def __exit__(self, *exc):
        if self.proc is None:
            return False
        # A mount still in use is retried for a second, then detached.
        for attempt in range(50):
            if not mounted(self.mount_point):
                break
            lazy = ["-z"] if attempt == 49 else []
            subprocess.run(["fusermount3", "-u"] + lazy + [self.mount_point],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if mounted(self.mount_point):
                time.sleep(0.02)
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        for line in self._log_text().splitlines():
            if line.startswith("slow_share: requests="):
                self.requests = {k: int(v) for k, v in
                                 (w.split("=") for w in line.split()[1:])}
            else:
                print(line, flush=True)
        self.log.close()
        self.proc = None
        return False

    def _log_text(self):
        self.log.seek(0)
        return self.log.read().decode(errors="replace")


def fuse_problem(program):
    """Why slow_share cannot run here, or None."""
    if not os.path.exists(program):
        return "slow_share was not built (it needs Debian's libfuse3-dev)"
    if not os.path.exists("/dev/fuse"):
        return "there is no /dev/fuse"
    if not os.access("/dev/fuse", os.R_OK | os.W_OK):
        return "/dev/fuse may not be opened by this user"
    if shutil.which("fusermount3") is None:
        return "fusermount3 is not installed (Debian's fuse3)"
    return None


def on_terminate(signum, frame):
    # The same way out as Ctrl-C: every mount is taken down on the way.
    raise KeyboardInterrupt


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build-bench")
    ap.add_argument("--presets", help="lab,archive,bigfiles,dups,crowded (share mode: lab,archive)")
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--trees", default="/tmp/ehi-bench")
    ap.add_argument("--cold", action="store_true", help="drop the page cache before every run")
    ap.add_argument("--share", action="store_true",
                    help="run on a slow FUSE mirror of the tree, mounted anew for every run")
    ap.add_argument("--delay-ms", type=float, default=1.0,
                    help="share mode: the delay of every request (1 ms)")
    ap.add_argument("--baseline", metavar="EHIHARVEST",
                    help="another ehiharvest build, timed in the same rounds as column 'base' "
                         "(its tables checked too): before and after a change, alternating")
    ap.add_argument("--skip", default="",
                    help="commands left out, comma-separated (e.g. floor: 50 s a run on the share)")
    a = ap.parse_args()
    presets = a.presets or ("lab,archive" if a.share else "lab,archive,bigfiles,dups,crowded")
    harvest = os.path.abspath(os.path.join(a.build, "harvest", "ehiharvest"))
    floor = os.path.abspath(os.path.join(a.build, "bench", "floor_walker"))
    pfloor = os.path.abspath(os.path.join(a.build, "bench", "parallel_floor"))
    share_program = os.path.abspath(os.path.join(a.build, "bench", "slow_share"))
    commands = {"harvest": ([harvest], False), "floor": ([floor], False),
                "pfloor": ([pfloor], False)}
    if not a.share:
        commands = {"harvest": commands["harvest"], "pipeline": (PIPELINE, True),
                    "floor": commands["floor"], "pfloor": commands["pfloor"]}
    if a.cold:
        if not drop_caches():
            print("Cold-cache mode needs root and a writable /proc/sys/vm/drop_caches: skipped.")
            return
        if not a.share:
            if shutil.which("rg") is None:
                sys.exit("Cold-cache mode compares with ripgrep: install Debian's ripgrep first.")
            commands["ripgrep"] = (RIPGREP, True)
            commands["cat -P8"] = (PARALLEL_CAT, True)
        print("Cold cache: the page cache is dropped before every timed run.", flush=True)
    if a.baseline:
        # Right after the harvest, so the two share each round's conditions.
        named = list(commands.items())
        commands = dict(named[:1] + [("base", ([os.path.abspath(a.baseline)], False))] + named[1:])
    for name in filter(None, a.skip.split(",")):
        if name == "harvest" or name not in commands:
            sys.exit(f"--skip: no command {name!r} to leave out")
        del commands[name]
    mount_point = None
    if a.share:
        problem = fuse_problem(share_program)
        if problem:
            print(f"Slow-share mode needs FUSE, and {problem}: skipped.")
            return
        mount_point = tempfile.mkdtemp(prefix="ehi-share-")
        print(f"Slow share: every request answered {a.delay_ms:g} ms late, mounted anew "
              "before every run (nothing cached).", flush=True)
    for sig in (signal.SIGTERM, signal.SIGHUP):
        if signal.getsignal(sig) != signal.SIG_IGN:  # not under nohup
            signal.signal(sig, on_terminate)
    try:
        rows, mismatches = measure(a, presets, commands, share_program, mount_point)
    except FuseUnavailable as e:
        print(f"Slow-share mode could not mount ({e}): skipped.")
        return
    finally:
        if mount_point:
            os.rmdir(mount_point)
    report(rows, list(commands), a.share)
    if mismatches:
        sys.exit(f"{mismatches} table(s) or count(s) differ from the expected ones")


def measure(a, presets, commands, share_program, mount_point):
    """Times every command on every preset; returns the rows to print and
    how many tables or floor counts differed from the expected ones."""
    rows = []
    mismatches = 0
    for preset in presets.split(","):
        root = tree(preset, a.seed, a.trees)
        # A table left by an interrupted run is not part of the tree: taken
        # away first, it would otherwise count among the expected records
        # while the floors, run after it is gone, never see it.
        take_table(root)
        expected, expected_count = expected_table(root)
        runs = {name: [] for name in commands}
        requests = {name: [] for name in commands}
        mem = {}
        checked = 0
        for rnd in range(a.rounds + 1):  # round 0 warms up (and is not counted)
            for name, (cmd, shell) in commands.items():
                if a.cold:
                    drop_caches()
                if mount_point:
                    with Share(share_program, root, mount_point, a.delay_ms) as share:
                        t, m, out = run(cmd, mount_point, shell=shell, memory=rnd == 0)
                    requests[name].append(share.requests)
                else:
                    t, m, out = run(cmd, root, shell=shell, memory=rnd == 0)
                if name in ("harvest", "base"):
                    checked += 1
                    if take_table(root) != expected:
                        mismatches += 1
                        print(f"{preset}: round {rnd}: the table DIFFERS FROM the expected table",
                              flush=True)
                elif name in ("floor", "pfloor") and out.strip() != str(expected_count).encode():
                    # A floor that skipped work would pass for a fast one.
                    mismatches += 1
                    print(f"{preset}: round {rnd}: {name} counted {out.strip().decode()} "
                          f"records, not {expected_count}", flush=True)
                if rnd > 0:
                    runs[name].append(t)
                else:
                    mem[name] = m
        print(f"{preset}: {checked} harvest tables checked against the expected table, "
              f"the floors' counts against {expected_count} records", flush=True)
        rows.append((preset, {k: statistics.median(v) for k, v in runs.items()}, mem, requests))
    return rows, mismatches


def report(rows, names, share):
    print()
    print(f"{'preset':9}" + "".join(f"{n + ' s':>12}" for n in names) +
          "".join(f"{'h/' + n:>12}" for n in names[1:]) + f"{'h MiB':>8}")
    for preset, med, mem, _ in rows:
        print(f"{preset:9}" + "".join(f"{med[n]:12.3f}" for n in names) +
              "".join(f"{med['harvest'] / med[n]:12.2f}" for n in names[1:]) +
              f"{mem['harvest']:8.1f}")
    if not share:
        return
    # What each program asked of the share per run (medians over all runs):
    # the delayed requests set its pace, the peak how many it kept in flight.
    kinds = ["lookup", "getattr", "opendir", "readdir", "open", "read"]
    print()
    print(f"{'preset':9}{'command':>9}{'requests':>10}" + "".join(f"{k:>9}" for k in kinds) +
          f"{'in flight':>10}")
    for preset, _, _, requests in rows:
        for name in names:
            counts = requests[name]

            def median(key):
                return int(statistics.median(c.get(key, 0) for c in counts))
            print(f"{preset:9}{name:>9}{median('requests'):>10}" +
                  "".join(f"{median(k):>9}" for k in kinds) +
                  f"{median('in_flight_peak'):>10}")


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit("stopped (nothing left mounted)")
