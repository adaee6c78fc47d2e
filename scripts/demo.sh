#!/usr/bin/env bash
# Installs what the project needs, builds, and starts the desktop program on the demo bench.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
if [ -x build/bin/vtutility ]; then
  exec build/bin/vtutility --demo "$@"
fi
exec build/bin/vtutil --demo list
