#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of the build's own, so that the test run neither
# touches nor waits for anyone else's Wine.
# Usage: run_under_wine.sh PREFIX_DIR (--start | --stop | PROGRAM ARGUMENTS...).
# --start makes the prefix when missing and starts a wineserver that stays until --stop, so each
# program starts in a fraction of a second. Exit 77 (skipped) without Wine.
set -euo pipefail
export WINEPREFIX=$1/prefix WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
shift
if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
  echo "Wine is not installed"
  exit 77
fi
case ${1:-} in
  --start)
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ ! -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
      rm -rf "$WINEPREFIX"
      wineboot -i >"$WINEPREFIX.log" 2>&1 || true
      wineserver -w || true
      if [ ! -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
        cat "$WINEPREFIX.log"
        echo "FAIL: Wine could not make its prefix"
        exit 1
      fi
    fi
    # Its output is let go, or whoever reads it (CTest) would wait for the server to end.
    # One already running (a run before that was stopped) serves as well.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    # Wine's services start with the first program and stay: started here, with nothing of a
    # test's output to hold open.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1
    ;;
  --stop)
    wineserver -k || true
    ;;
  *)
    exec wine "$@"
    ;;
esac
