#!/usr/bin/env bash
# vtutility.exe as a test station runs it, under Wine on an X server: a command-line word acts on
# the first drive once xdotool clicks its row, the window closes, and the process ends, leaving
# its result file beside the program.
# Usage: unattended_test.sh WINE_DIR VTUTILITY_EXE SOURCE_DIR. Exit 77 (skipped) without xdotool.
set -uo pipefail
wine_dir=$1 program=$2 source_dir=$3
runner="$source_dir/tests/windows/run_under_wine.sh"
if ! command -v xdotool >/dev/null; then
  echo "xdotool is not installed"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0

# One run: the file it must leave, then the words after the program.
run() {
  local expected=$1
  shift
  rm -rf "$dir/run" && mkdir "$dir/run" && cp "$program" "$dir/run/vtutility.exe"
  (cd "$dir/run" && exec bash "$runner" "$wine_dir" ./vtutility.exe --demo "$@") >"$dir/out" 2>&1 &
  local pid=$!
  local window
  window=$(timeout 60 xdotool search --sync --onlyvisible --name "Utility" | head -1)
  if [ -z "$window" ]; then
    echo "FAIL ($*): the window did not appear"; cat "$dir/out"; kill "$pid"; fail=1; return
  fi
  sleep 1
  # The first row of the device list (ListView1 starts 47 pixels down, under its header).
  xdotool mousemove --window "$window" 100 76 click 1
  local i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 60 ]; do sleep 1; i=$((i + 1)); done
  if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL ($*): the process is still running 60 s after the click"
    kill "$pid"; wait "$pid"; fail=1; return
  fi
  wait "$pid"
  local status=$?
  if [ $status -ne 0 ]; then echo "FAIL ($*): exit status $status"; cat "$dir/out"; fail=1; fi
  if [ ! -e "$dir/run/$expected" ]; then echo "FAIL ($*): no $expected"; ls "$dir/run"; fail=1; fi
  [ $fail -eq 0 ] && echo "ok: vtutility.exe --demo $* ended after writing $expected"
}

run RW_OK.txt --rw-result-file rwtest
run station.txt dumpssdinfo station
exit $fail
