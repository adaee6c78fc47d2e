#!/usr/bin/env bash
# Installs what the project needs, builds every preset and runs every test in each, then fuzzes
# every target briefly. Every stage runs even when an earlier one failed; the exit status says
# whether all passed, and the last lines name the stages that failed.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || { echo "test-all: installing the dependencies failed"; exit 1; }
source scripts/ccache-env.sh
failed=()
stage() {
  local name=$1
  shift
  echo "test-all: $name"
  "$@" || failed+=("$name")
}
# The sources first: laid out as .clang-format says, and every include of a lower layer.
stage "check format" bash scripts/check-format.sh
stage "check layers" python3 scripts/check-layers.py
# windows: the cross-build, its tests under Wine and vtutil.exe against the default build's vtutil.
for preset in default asan windows; do
  if stage "configure $preset" cmake --preset "$preset" &&
    stage "build $preset" cmake --build --preset "$preset" -j "$(nproc)"; then
    stage "test $preset" ctest --preset "$preset" -j "$(nproc)"
  fi
done
if command -v clang++ >/dev/null; then stage "fuzz" bash fuzz/run_fuzzers.sh -t 30; fi
if [ "${#failed[@]}" -gt 0 ]; then
  printf 'test-all: FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "test-all: every stage passed"
