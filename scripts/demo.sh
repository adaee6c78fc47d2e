#!/usr/bin/env bash
# Installs what the project needs, builds both programs, and starts the desktop program on the
# demo bench. Without a display it says so and shows the demo drives through vtutil instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/ccache-env.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)" --target vtutility vtutil
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the demo drives as vtutil lists them (the window: xvfb-run -a build/bin/vtutility --demo --screenshot demo.png, then open demo.png)."
  exec build/bin/vtutil --demo list
fi
exec build/bin/vtutility --demo "$@"
