#!/usr/bin/env bash
# Installs what the project needs, builds both presets and runs every test in each.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
for preset in default asan; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" -j "$(nproc)"
done
if command -v clang++ >/dev/null; then bash fuzz/run_fuzzers.sh -t 30; fi
