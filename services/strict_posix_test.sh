#!/bin/sh
# The portable build's promise, checked with the flags the POSIX platform
# files are built with: a POSIX call compiles, and each call or constant
# that only Linux or the GNU C library adds does not (those the C++ library
# needs declared included).
# Usage: strict_posix_test.sh COMPILER FLAG...
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Compiles a function body after C headers the platform files include
# (and, with the body, any more lines given first); the compiler's messages
# land in $work/log.
compiles() {
  printf '%s\n' '#include <dirent.h>' '#include <fcntl.h>' '#include <pthread.h>' \
    '#include <string.h>' '#include <sys/mman.h>' '#include <time.h>' '#include <unistd.h>' \
    'int Probe(int fd);' "$1" > "$work/probe.cpp"
  shift
  "$@" -fsyntax-only "$work/probe.cpp" > "$work/log" 2>&1
}

# With the C++ library's headers that call GNU extensions of their own.
body='return open("x", O_RDONLY | O_CLOEXEC) + fd;'
compiles "#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <thread>
int Probe(int fd) { $body }" "$@" || { cat "$work/log"; echo "FAIL: a POSIX call does not compile: $body"; exit 1; }

# Each: the name the compiler must call undeclared, and a use of it.
status=0
while IFS='|' read -r name body; do
  if compiles "int Probe(int fd) { $body }" "$@"; then
    echo "FAIL: compiles with only POSIX: $body"
    status=1
  elif ! grep error "$work/log" | grep -q "$name"; then
    cat "$work/log"
    echo "FAIL: refused, but not for $name: $body"
    status=1
  fi
done <<'CASES'
pipe2|int fds[2]; return pipe2(fds, O_CLOEXEC) + fd;
O_TMPFILE|return O_TMPFILE + fd;
MADV_HUGEPAGE|return MADV_HUGEPAGE + fd;
DT_DIR|return DT_DIR + fd;
syncfs|return syncfs(fd);
syscall|return static_cast<int>(syscall(0L, fd));
pthread_mutex_clocklock|return pthread_mutex_clocklock(nullptr, CLOCK_MONOTONIC, nullptr) + fd;
CASES
[ "$status" = 0 ] && echo "only POSIX: the POSIX call compiles, every extension is refused"
exit "$status"
