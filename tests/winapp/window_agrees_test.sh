#!/usr/bin/env bash
# vtutility.exe under Wine against the Linux headless window: the same actions through the
# window's --script hook, and the state it reads back from its controls (--dump) must be the
# document `vtutil window` prints, on the demo bench and on a bench file; the files its save
# buttons write must be the same bytes.
# Usage: window_agrees_test.sh WINE_DIR VTUTILITY_EXE LINUX_VTUTIL SOURCE_DIR (on an X server).
# Exit 77 (skipped) without Wine or without a Linux vtutil to compare with.
set -uo pipefail
wine_dir=$1 windows=$2 linux=$3 source_dir=$4
runner="$source_dir/tests/windows/run_under_wine.sh"
if [ ! -x "$linux" ]; then
  echo "No Linux vtutil at $linux (build the default preset first)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/linux" "$work/windows"
cp "$source_dir/sim/benches/two-drives.json" "$work/bench.json"

failures=0
# $1: a label; $2: the bench option ("--demo" or "--bench FILE"); the rest: the actions.
compare() {
  local label=$1 bench=$2
  shift 2
  # shellcheck disable=SC2086  # the bench option is two words or one
  (cd "$work/linux" && "$linux" $bench window --program-dir . --json "$@" >state.json 2>err.txt)
  local linux_status=$?
  rm -f "$work/windows/state.json"
  # The actions as one script, a word with blanks in double quotes.
  local script="" word
  for word in "$@"; do
    case $word in *" "*) word="\"$word\"" ;; esac
    script="$script $word"
  done
  # shellcheck disable=SC2086
  (cd "$work/windows" && timeout 120 bash "$runner" "$wine_dir" "$windows" $bench \
    --script "$script" --dump state.json >out.txt 2>err.txt)
  local windows_status=$?
  [ "$windows_status" -eq 77 ] && exit 77
  if [ "$linux_status" -ne 0 ] || [ "$windows_status" -ne 0 ] || [ ! -s "$work/windows/state.json" ]; then
    echo "FAIL: $label: status $windows_status on Windows, $linux_status on Linux"
    cat "$work/windows/err.txt" "$work/linux/err.txt"
    failures=$((failures + 1))
  elif ! /usr/bin/python3 - "$work/linux/state.json" "$work/windows/state.json" <<'PY'; then
import json, sys
linux, windows = (json.load(open(name)) for name in sys.argv[1:3])
differences = []
def walk(a, b, path):
    if isinstance(a, dict) and isinstance(b, dict):
        for key in dict.fromkeys(list(a) + list(b)):
            if key not in a or key not in b:
                differences.append(f"{path}/{key}: only on {'Windows' if key in b else 'Linux'}")
            else:
                walk(a[key], b[key], f"{path}/{key}")
    elif isinstance(a, list) and isinstance(b, list) and len(a) == len(b):
        for i, (x, y) in enumerate(zip(a, b)):
            walk(x, y, f"{path}/{i}")
    elif a != b:
        differences.append(f"{path}: Linux {json.dumps(a)[:120]}, Windows {json.dumps(b)[:120]}")
walk(linux, windows, "")
for line in differences[:20]:
    print("  " + line)
sys.exit(1 if differences else 0)
PY
    echo "FAIL: $label: the window's state differs"
    failures=$((failures + 1))
  else
    echo "ok: $label"
  fi
}

# Each bus of the demo bench: SATA (rows 0 and 1, below), SCSI, the loader, USB.
for row in 2 3 4; do
  compare "demo row $row" --demo --select "$row"
done
compare "S.M.A.R.T. read" --demo --select 1 --click GetSmartInfoBn
compare "special mode and the debug tool" --demo --special --select 0 --type "DebugEdit=lba 1000" \
  --enter DebugEdit
compare "saved reports" --demo --select 0 --save-dir . --click DpdFTLSaveBn --click \
  SavebadblockinfoBn
compare "bench file, second drive" "--bench ../bench.json" --select 1

for file in DPDFTL.txt BadBlock.txt; do
  if ! cmp -s "$work/linux/$file" "$work/windows/$file"; then
    echo "FAIL: $file differs or is missing"
    failures=$((failures + 1))
  fi
done

[ "$failures" -eq 0 ] || exit 1
echo "The Windows window agrees with the headless window"
