#!/usr/bin/env python3
"""Checks that the Makefile's package list gives a fresh minimal Debian (git
and make only) every program and file that the native build and its tests
use: each must come from a listed package, from a package that every Debian
system has (Essential, or of priority required), or from a package that a
listed one depends on. Recommended packages do not count: an installation
may leave them out.

Usage: check-package-list.py SOURCE   (exit status 77: not a Debian system)
"""
import os
import re
import shutil
import subprocess
import sys

# What the build and the tests use: programs by name, other files by path.
PROGRAMS = [
    "make", "cmake", "ctest", "cpack", "g++", "clang++", "addr2line", "strip",
    "file",            # CPack's scan of the programs' libraries
    "dpkg-deb", "dpkg-shlibdeps", "groff", "gzip", "zip", "tmux", "python3",
    "localedef",       # compiles the decimal-comma locale of a number test
]
FILES = [
    "/usr/share/i18n/locales/de_DE",  # the source of that locale
    "/usr/include/gtest/gtest.h",
    "/usr/include/benchmark/benchmark.h",
]


def installed_packages():
    """Every installed package: its dependencies (of each alternative group
    the first), whether every system has it, and what it provides."""
    fields = "${Package}\t${Status}\t${Depends}, ${Pre-Depends}\t${Essential}\t${Priority}\t${Provides}\n"
    table = subprocess.run(["dpkg-query", "-W", "-f=" + fields],
                           capture_output=True, text=True, check=True).stdout
    plain = lambda text: re.sub(r"\s*\(.*?\)", "", text).split(":")[0].strip()
    packages = {}
    for line in table.splitlines():
        name, status, deps, essential, priority, provides = line.split("\t")
        if not status.endswith(" installed"):
            continue
        packages[name] = {
            "depends": [plain(group.split("|")[0]) for group in deps.split(",") if plain(group)],
            "base": essential == "yes" or priority == "required",
            "provides": [plain(p) for p in provides.split(",") if plain(p)],
        }
    return packages


def owner(path):
    """The installed package that holds `path` (merged /usr or not)."""
    candidates = [path, os.path.realpath(path)]
    for p in list(candidates):
        if p.startswith("/usr/"):
            candidates.append(p[4:])
    for p in candidates:
        r = subprocess.run(["dpkg-query", "-S", p], capture_output=True, text=True)
        if r.returncode == 0:
            return r.stdout.split(":")[0].split(",")[0].strip()
    return None


def main():
    source = sys.argv[1]
    if not shutil.which("dpkg-query"):
        print("SKIP: not a Debian system")
        return 77
    listed = subprocess.run(["make", "-s", "--no-print-directory", "-C", source, "print-packages"],
                            capture_output=True, text=True, check=True).stdout.split()
    packages = installed_packages()
    providers = {}
    for name, facts in packages.items():
        for p in facts["provides"]:
            providers.setdefault(p, []).append(name)
    # The listed packages and all they depend on, a virtual package standing
    # for the installed packages that provide it.
    covered, todo = set(), list(listed)
    while todo:
        name = todo.pop()
        if name in covered:
            continue
        covered.add(name)
        for dep in packages.get(name, {}).get("depends", []):
            todo.extend([dep] if dep in packages else providers.get(dep, []))

    failures = []
    paths = []
    for program in PROGRAMS:
        path = shutil.which(program)
        if not path:
            failures.append(f"{program}: not installed")
        else:
            paths.append((program, path))
    for path in FILES:
        if os.path.exists(path):
            paths.append((path, path))
        else:
            failures.append(f"{path}: not installed")
    for what, path in paths:
        package = owner(path)
        if package is None:
            print(f"note: {what} ({path}) comes from no Debian package; not checked")
            continue
        if package in covered or packages.get(package, {}).get("base"):
            continue
        failures.append(f"{what}: package {package} is not in the list, nor needed by it")
    for f in failures:
        print("FAIL:", f)
    if not failures:
        print(f"package list: {len(PROGRAMS) + len(FILES)} programs and files covered")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
