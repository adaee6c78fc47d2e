#!/bin/sh
# Runs a test binary on a virtual X server; skipped (77) where there is none.
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is not installed: skipping the on-screen test"
  exit 77
fi
QT_QPA_PLATFORM=xcb exec xvfb-run -a -s "-screen 0 1400x900x24" "$@"
