#!/usr/bin/env bash
# vtutil.exe under Wine against the Linux vtutil, subcommand by subcommand on the demo bench: the
# same JSON document (line ends aside), the same exit status, and the same files written.
# Usage: vtutil_agrees_test.sh WINE_DIR VTUTIL_EXE LINUX_VTUTIL SOURCE_DIR.
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
printf 'boot\r\nerror 0x12 at 0x0\r\n' >"$work/linux/fw.log"
cp "$work/linux/fw.log" "$work/windows/fw.log"

failures=0
# The clock readings (the metrics' own, the capture's date) differ from run to run.
timeless() {
  [ -f "$1" ] && sed -i -E -e '/^vtutility_collection_(duration|timestamp)_seconds /d' \
    -e 's/ on [0-9-]+ [0-9:]+ UTC/ on (date) UTC/' "$1"
  return 0
}
# Runs one command line in both, each in a directory of its own; $1 is a label.
compare() {
  local label=$1
  shift
  (cd "$work/linux" && "$linux" --demo "$@" >out.json 2>err.txt)
  local linux_status=$?
  (cd "$work/windows" && bash "$runner" "$wine_dir" "$windows" --demo "$@" >out.raw 2>err.txt)
  local windows_status=$?
  [ "$windows_status" -eq 77 ] && exit 77
  tr -d '\r' <"$work/windows/out.raw" >"$work/windows/out.json"
  timeless "$work/linux/out.json"
  timeless "$work/windows/out.json"
  if [ "$linux_status" -ne "$windows_status" ]; then
    echo "FAIL: $label: exit status $windows_status on Windows, $linux_status on Linux"
    cat "$work/windows/err.txt"
    failures=$((failures + 1))
  elif ! diff -u "$work/linux/out.json" "$work/windows/out.json" >"$work/diff.txt"; then
    echo "FAIL: $label: the documents differ"
    head -40 "$work/diff.txt"
    failures=$((failures + 1))
  elif ! valid "$work/windows/out.json" "$windows_status" "$@"; then
    echo "FAIL: $label: the document does not follow docs/schema/$1.schema.json"
    failures=$((failures + 1))
  else
    echo "ok: $label (status $linux_status)"
  fi
}
# The JSON document (--json) of a subcommand that succeeded follows the subcommand's schema.
valid() {
  local document=$1 status=$2 subcommand=$3
  local schema="$source_dir/docs/schema/$subcommand.schema.json"
  [ "$status" -eq 0 ] && [ -f "$schema" ] || return 0
  case " ${*:4} " in *" --json "*) ;; *) return 0 ;; esac
  /usr/bin/python3 -m jsonschema --base-uri "file://$source_dir/docs/schema/" -i "$document" "$schema"
}

for page in info ssd-info erase-count bad-blocks smart uart-log config-dump; do
  compare "$page" "$page" 1 --json
done
compare list list --json
compare probe probe --json
compare window window --json
compare "smart --reset" smart 1 --reset --yes --json
compare "uart-log --gdp (missing image)" uart-log 1 --gdp missing-GDP.bin --json
compare decode-log decode-log fw.log --json
compare rwtest rwtest 1 --yes --json
compare dump-info dump-info 1 report --dir . --json
compare "capture to standard output" capture 1 -o - --redact
compare "metrics to standard output" metrics --output -
compare "metrics into a textfile directory" metrics --output node.prom
compare "a missing drive" info 9 --json
compare "an unknown option" list --no-such-option

# The files the subcommands wrote, byte for byte.
for file in fw.log.decode report.txt node.prom; do
  timeless "$work/linux/$file"
  timeless "$work/windows/$file"
  if ! cmp -s "$work/linux/$file" "$work/windows/$file"; then
    echo "FAIL: $file differs or is missing"
    failures=$((failures + 1))
  fi
done

# The heat map needs cairo, which the Windows build lacks: refused as a usage error, saying why.
(cd "$work/windows" && bash "$runner" "$wine_dir" "$windows" --demo erase-count 1 --heatmap map.png \
  >/dev/null 2>err.txt)
status=$?
if [ "$status" -ne 1 ] || ! grep -q cairo "$work/windows/err.txt"; then
  echo "FAIL: --heatmap gave status $status on Windows:"
  cat "$work/windows/err.txt"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || exit 1
echo "vtutil.exe agrees with the Linux vtutil"
