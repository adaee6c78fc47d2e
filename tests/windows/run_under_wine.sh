#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of the build's own, so that the test run neither
# touches nor waits for anyone else's Wine.
# Usage: run_under_wine.sh PREFIX_DIR (--start | --stop | PROGRAM ARGUMENTS...).
# --start makes the prefix when missing and starts a wineserver that stays until --stop, so each
# program starts in a fraction of a second. Exit 77 (skipped) without Wine.
set -euo pipefail
export WINEPREFIX=$1/prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
shift
if ! command -v wine >/dev/null || ! command -v wineserver >/dev/null; then
  echo "Wine is not installed"
  exit 77
fi
case ${1:-} in
  --start)
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i >/dev/null 2>&1
    fi
    wineserver -p
    ;;
  --stop)
    wineserver -k || true
    ;;
  *)
    exec wine "$@"
    ;;
esac
