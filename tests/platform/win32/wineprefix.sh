#!/bin/sh
# The Wine tests' prefix ($WINEPREFIX, in the build directory):
#   up [HELPER]  starts its server for the run (making the prefix when it is
#                missing) and registers the test device (HELPER register)
#   down         stops the server
# The programs' own output goes to $WINEPREFIX.log, shown when a step fails.
# With TIDEWELL_WINE_PTYSHIM (the tests' pty shim) the server runs with it
# preloaded, so that no pty it opens becomes its controlling terminal.
set -u
log="$WINEPREFIX.log"
step() {
  if ! "$@" >>"$log" 2>&1 </dev/null; then
    echo "wineprefix.sh: '$*' failed:" >&2
    cat "$log" >&2
    exit 1
  fi
}
case "${1:-}" in
  up)
    mkdir -p "$WINEPREFIX"
    : >"$log"
    # The server first: it outlives each test program (one start for the run).
    # One left from an earlier run would refuse the start: it is ended.
    wineserver -k >/dev/null 2>&1 && wineserver -w >/dev/null 2>&1
    if [ -f "${TIDEWELL_WINE_PTYSHIM:-}" ]; then
      step env LD_PRELOAD="$TIDEWELL_WINE_PTYSHIM" wineserver -p120
    else
      step wineserver -p120
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      step wineboot -i
    fi
    # The prefix's services start here, with their output away from the tests'.
    step wineboot
    # No debugger: a program that crashes then ends with its exception code
    # (5 for an access violation). Wine's own debugger would end it with
    # status 0, and a crashed test would pass.
    step wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f
    if [ -n "${2:-}" ]; then
      step wine "$2" register
    fi
    ;;
  down)
    wineserver -k >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: wineprefix.sh up [HELPER] | down" >&2
    exit 2
    ;;
esac
