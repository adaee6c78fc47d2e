#!/usr/bin/env bash
# Photographs every page of vtutility.exe under Wine on the demo bench (special mode, first drive
# selected, S.M.A.R.T. read), at a given scaling, for looking at by eye. Not part of the suite.
# Usage: take_screenshots.sh VTUTILITY_EXE OUT_DIR [DPI]   (DPI 96 is 100 %, 144 is 150 %)
set -euo pipefail
program=$1 out=$2 dpi=${3:-96}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
work=$(mktemp -d)
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 2000x1300x24 -fbdir "$work" >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1 || true
for key in 'HKCU\Control Panel\Desktop' \
  'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
  wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
done
wineserver -w
(cd "$work" && wine "$program" --demo --script "--special --select 0 --click GetSmartInfoBn") \
  >/dev/null 2>&1 &
window=$(timeout 60 xdotool search --sync --onlyvisible --name "Utility" | head -1)
sleep 5
shoot() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  python3 "$here/xwd_to_png.py" "$work/Xvfb_screen0" "$out/$1.png" "$X" "$Y" "$WIDTH" "$HEIGHT"
}
# The first tab, then the arrow key along the tab row.
xdotool mousemove --window "$window" $((60 * dpi / 96)) $((210 * dpi / 96)) click 1
sleep 1
for page in 1 2 3 4 5 8; do
  shoot "page$page-${dpi}dpi"
  xdotool key --window "$window" Right
  sleep 1
done
xdotool key --window "$window" alt+F4 || true
