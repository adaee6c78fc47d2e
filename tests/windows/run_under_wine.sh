#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of the build's own, so that the test run neither
# touches nor waits for anyone else's Wine.
# Usage: run_under_wine.sh PREFIX_DIR (--start | --stop | PROGRAM ARGUMENTS...).
# --start makes the prefix when missing and starts a wineserver that stays until --stop, so each
# program starts in a fraction of a second, and, where Xvfb is installed, an X server of the run's
# own that every window of the prefix is shown on (Wine's desktop binds to the display it started
# with). Exit 77 (skipped) without Wine.
set -euo pipefail
wine_dir=$1
export WINEPREFIX=$wine_dir/prefix WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
shift
# The display file holds the X server's display and process.
display_file=$wine_dir/display
if [ -f "$display_file" ]; then
  read -r display _ <"$display_file"
  export DISPLAY=$display
fi
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
    if command -v Xvfb >/dev/null && [ ! -f "$display_file" ]; then
      number=90
      while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do number=$((number + 1)); done
      setsid Xvfb ":$number" -screen 0 2000x1200x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      echo ":$number $!" >"$display_file"
      export DISPLAY=:$number
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$number" ] && break; sleep 0.1; done
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
    if [ -f "$display_file" ]; then
      read -r _ pid <"$display_file"
      kill "$pid" 2>/dev/null || true
      rm -f "$display_file"
    fi
    ;;
  *)
    exec wine "$@"
    ;;
esac
