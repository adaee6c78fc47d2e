#!/usr/bin/env bash
# The source checks CI runs fail on what they are for and name the offence: an include of a
# higher layer, Qt or a system header in the wrong folder, a folder without a layer, a file that
# is not formatted; and they pass on a tree that breaks none of it.
set -uo pipefail
scripts=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Expects exit status 1 and every given text in the output.
expect_refusal() {
  local what=$1 output status
  shift
  output=$("${check[@]}" "$work" 2>&1)
  status=$?
  [ "$status" -eq 1 ] || fail "$what: exit $status, expected 1: $output"
  for text in "$@"; do
    grep -qF -- "$text" <<<"$output" || fail "$what: output lacks '$text': $output"
  done
}

cp "$scripts/../.clang-format" "$work/"
mkdir -p "$work"/{platform,access,views,cli,app}
printf '#pragma once\n#include <unistd.h>\n' >"$work/platform/system.h"
printf '#include <QWidget>\n#include "views/main_form.h"\n' >"$work/app/window.cpp"
printf '#include "access/ata.h"\n#include "platform/system.h"\n' >"$work/views/page.cpp"

check=(python3 "$scripts/check-layers.py")
"${check[@]}" "$work" >/dev/null || fail "layers: a sound tree was refused"
printf '#include "platform/system.h"\n\n#include "app/window.h"\n' >"$work/access/up.cpp"
printf '#include <QString>\n#include <sys/ioctl.h>\n' >"$work/cli/main.cpp"
mkdir -p "$work/extra" && printf 'int x;\n' >"$work/extra/x.cpp"
expect_refusal layers "access/up.cpp:3: access/ includes app/window.h" \
  "cli/main.cpp:1: cli/ includes the Qt header <QString>" \
  "cli/main.cpp:2: cli/ includes the system header <sys/ioctl.h>" "the folder extra/ has no place"
rm -r "$work/access/up.cpp" "$work/cli/main.cpp" "$work/extra"

check=(bash "$scripts/check-format.sh")
"${check[@]}" "$work" >/dev/null || fail "format: a formatted tree was refused"
printf 'int  f( ){return 0;}\n' >"$work/access/crooked.cpp"
expect_refusal format "./access/crooked.cpp: not formatted"
output=$("${check[@]}" "$work" 2>&1)
grep -q "page.cpp" <<<"$output" && fail "format: a formatted file was named: $output"

[ "$failures" -eq 0 ] && echo "source checks: all cases passed"
exit $((failures > 0))
