#!/bin/sh
# The Wine tests' prefix ($WINEPREFIX, in the build directory):
#   up [HELPER]  makes it when it is missing, starts its server for the run
#                and registers the test device (tidewell-wine-helper register)
#   down  stops the server
set -eu
case "${1:-}" in
  up)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i >/dev/null 2>&1
    fi
    # The server outlives each test program (one start for the whole run);
    # its own output stays out of the tests' logs.
    wineserver -p120 >/dev/null 2>&1 </dev/null
    # The prefix's services start here, with their output away from the tests'.
    wineboot >/dev/null 2>&1 </dev/null
    if [ -n "${2:-}" ]; then
      wine "$2" register >/dev/null
    fi
    ;;
  down)
    wineserver -k >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: wineprefix.sh up|down" >&2
    exit 2
    ;;
esac
