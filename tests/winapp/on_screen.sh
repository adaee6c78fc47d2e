#!/usr/bin/env bash
# Runs a command on the X server the Wine fixture started for the prefix in WINE_DIR (see
# tests/windows/run_under_wine.sh), where Wine's desktop shows its windows. Exit 77 (skipped) when
# there is none.
# Usage: on_screen.sh WINE_DIR COMMAND ARGUMENTS...
set -euo pipefail
display_file=$1/display
shift
if [ ! -f "$display_file" ]; then
  echo "no X server for the Windows windows (Xvfb is not installed)"
  exit 77
fi
read -r display _ <"$display_file"
export DISPLAY=$display
exec "$@"
