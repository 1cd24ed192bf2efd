#!/bin/sh
# Runs a Windows program under Wine: the loader is not on the PATH, so it is
# found where Debian's wine64 package puts it. Wine's own messages are off.
loader=$(dpkg -L wine64 2>/dev/null | grep '/wine64$' | head -n 1)
if [ -z "$loader" ] || [ ! -x "$loader" ]; then
  echo "wine.sh: no Wine loader (install Debian's wine64)" >&2
  exit 127
fi
WINEDEBUG=${WINEDEBUG:--all}
export WINEDEBUG
exec "$loader" "$@"
