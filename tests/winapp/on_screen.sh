#!/usr/bin/env bash
# Runs a command on an X server of its own, since Wine's windows need a display. Exit 77
# (skipped) without xvfb-run.
# Usage: on_screen.sh COMMAND ARGUMENTS...
set -euo pipefail
if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is not installed"
  exit 77
fi
exec xvfb-run -a -s "-screen 0 2000x1200x24" "$@"
