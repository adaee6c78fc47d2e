#!/bin/sh
# The real program, as a test station runs it: a command-line word acts on the first drive once its
# row is clicked, the window closes, and the process must end (the waiting window must not keep it
# alive). Runs on an X server (run_under_xvfb.sh); xdotool clicks the row.
# Usage: unattended_end_test.sh VTUTILITY
set -u
program=$1
if ! command -v xdotool >/dev/null 2>&1; then
  echo "xdotool is not installed: skipping"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0

# One run: the words after the program, then the file the run must leave in the program's
# directory (the program writes its results beside itself).
run() {
  expected=$1
  shift
  rm -rf "$dir/run" && mkdir "$dir/run" && cp "$program" "$dir/run/vtutility"
  (cd "$dir/run" && exec ./vtutility --demo "$@") >"$dir/out" 2>&1 &
  pid=$!
  window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" --name "Utility" | head -1)
  if [ -z "$window" ]; then
    echo "FAIL ($*): the window did not appear"; cat "$dir/out"; kill "$pid"; fail=1; return
  fi
  sleep 1
  # The first row of the device list (ListView1 starts 47 pixels down; its header comes first).
  xdotool mousemove --window "$window" 100 80 click 1
  i=0
  while kill -0 "$pid" 2>/dev/null && [ $i -lt 30 ]; do sleep 1; i=$((i + 1)); done
  if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL ($*): the process is still running 30 s after the click; its windows:"
    xdotool search --onlyvisible --pid "$pid" --name "" getwindowname %@ 2>/dev/null
    kill "$pid"; wait "$pid"; fail=1; return
  fi
  wait "$pid"
  status=$?
  if [ $status -ne 0 ]; then echo "FAIL ($*): exit status $status"; cat "$dir/out"; fail=1; fi
  if [ ! -e "$dir/run/$expected" ]; then echo "FAIL ($*): no $expected"; ls "$dir/run"; fail=1; fi
  [ $fail -eq 0 ] && echo "ok: vtutility --demo $* ended after writing $expected"
}

run RW_OK.txt --rw-result-file rwtest
run station.txt dumpssdinfo station
exit $fail
